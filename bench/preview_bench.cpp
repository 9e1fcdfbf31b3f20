#include "bench.h"

#include "app/mainwindow.h"
#include "preview/paperfeed.h"
#include "preview/paperpreview.h"
#include "preview/paperview.h"
#include "ptypair.h"
#include "render/printer.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>

// Paper Preview rows: what following the line costs the Receipt handler and
// its bytes on the way out, the preview closed and open side by side; how long
// after the handler's last byte the paper is on the screen, beside the paper
// library drawing the same bytes with no window; and the window's longest
// stall while a 4.8 MB raster goes out, closed and open.

namespace {

QString openName(bool open)
{
    return open ? QStringLiteral("preview open") : QStringLiteral("preview closed");
}

PaperPreview *setOpen(MainWindow &window, bool open)
{
    window.findChild<QAction *>(QStringLiteral("actionPaperPreview"))->setChecked(open);
    QCoreApplication::processEvents();
    return window.findChild<PaperPreview *>(QStringLiteral("paperPreview"));
}

// Whether the paper view has painted since the preview's paper last changed.
struct PaintWatch : QObject
{
    explicit PaintWatch(PaperPreview *preview)
    {
        preview->view()->viewport()->installEventFilter(this);
        connect(preview->feed(), &PaperFeed::changed, this, [this] { painted = false; });
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
    bool painted = true;
};

// Until the preview has drawn every byte and painted the last of it, in ms.
double untilPainted(PaperPreview *preview, PaintWatch &watch, const QElapsedTimer &clock)
{
    while ((preview->feed()->busy() || !watch.painted) && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return clock.nsecsElapsed() / 1e6;
}

void receipt(MainWindow &window)
{
    QMetaObject::invokeMethod(&window, "on_pushButtonReceipt_released", Qt::DirectConnection);
}

TelvarBench::Row rasterRow(MainWindow &window, PtyPair &pty, bool open, qint64 bytes)
{
    PaperPreview *preview = setOpen(window, open);
    pty.readUntilQuiet(50);
    TelvarBench::Row row;
    row.name = QStringLiteral("print 384x100000 raster, ") + openName(open);
    row.bytes = bytes;
    QElapsedTimer clock;
    TelvarBench::StallWatch watch;
    clock.start();
    QMetaObject::invokeMethod(&window, "on_pushButton_58PrintH_released", Qt::DirectConnection);
    qint64 received = 0;
    while (received < bytes && clock.elapsed() < 60000)
        received += pty.read(bytes - received, 1000).size();
    row.wireMs = clock.nsecsElapsed() / 1e6;
    if (open) {
        PaintWatch paints(preview);
        row.note = QStringLiteral("handler = longest stall; paper drawn %1 ms after the click")
                       .arg(untilPainted(preview, paints, clock), 0, 'f', 0);
    } else {
        row.note = QStringLiteral("handler = longest stall (goal with the preview open: < 100 ms)");
    }
    row.handlerMs = watch.longest;
    return row;
}

} // namespace

TELVAR_BENCH_GROUP("Paper Preview", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    // Made and closed again before the first row: closed costs nothing even
    // once it exists.
    PaperPreview *preview = setOpen(window, true);
    if (!preview)
        return rows;
    setOpen(window, false);
    for (bool open : {false, true}) {
        setOpen(window, open);
        rows << TelvarBench::measure(QStringLiteral("Receipt, ") + openName(open), window, pty,
                                     [&] { receipt(window); });
    }

    // From the handler's return (its last byte written) to the paper painted.
    PaintWatch paints(preview);
    QList<double> drawn, alone;
    QByteArray wire;
    for (int i = 0; i < 7; ++i) {
        preview->feed()->clear();
        QCoreApplication::processEvents();
        receipt(window);
        QElapsedTimer clock;
        clock.start();
        drawn << untilPainted(preview, paints, clock);
        wire = pty.readUntilQuiet(30);
    }
    for (int i = 0; i < 7; ++i) {
        Paper::Printer printer;
        QElapsedTimer clock;
        clock.start();
        printer.feed(wire);
        printer.silence();
        alone << clock.nsecsElapsed() / 1e6;
    }
    TelvarBench::Row toPaper;
    toPaper.name = QStringLiteral("Receipt: last byte to paper on screen");
    toPaper.wireMs = TelvarBench::median(drawn);
    toPaper.bytes = wire.size();
    toPaper.note = QStringLiteral("beside: the paper library alone draws it in %1 ms")
                       .arg(TelvarBench::median(alone), 0, 'f', 2);
    rows << toPaper;

    QTemporaryDir dir;
    const qint64 rasterBytes = 2 + 8 + 48 * 100000;
    if (TelvarBench::loadPicture(window, TelvarBench::writeCheckerStrip(dir.path(), 100000))) {
        for (bool open : {false, true})
            rows << rasterRow(window, pty, open, rasterBytes);
    }
    preview->feed()->clear();
    setOpen(window, false);
    return rows;
});

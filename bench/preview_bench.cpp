#include "bench.h"

#include "app/mainwindow.h"
#include "preview/paperfeed.h"
#include "preview/paperpreview.h"
#include "preview/paperview.h"
#include "ptypair.h"
#include "render/printer.h"

#include "monitor/linemonitor.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

// Paper Preview rows: what following the line costs the Receipt handler and
// its bytes on the way out, the preview closed and open side by side; how long
// after the handler's last byte the paper is on the screen, beside the paper
// library drawing the same bytes with no window; and the window's longest
// stall, closed and open, while a 4.8 MB raster goes out and while 64 KiB of
// feeds to the 2 m limit and cuts (343 pages) typed on the monitor's send
// line do.

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

void receipt(MainWindow &window, const char *slot = "on_pushButtonReceipt_released")
{
    QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection);
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

// (ESC J 255) x 63 and a cut, to 64 KiB, sent in entries the line edit takes.
TelvarBench::Row costRow(MainWindow &window, PtyPair &pty, bool open)
{
    PaperPreview *preview = setOpen(window, open);
    LineMonitor *monitor = window.findChild<LineMonitor *>();
    monitor->toggleAction()->setChecked(true);
    monitor->findChild<QRadioButton *>(QStringLiteral("monitorHex"))->click();
    auto *entry = monitor->findChild<QLineEdit *>(QStringLiteral("monitorEntry"));
    const QByteArray stream =
        (QByteArray::fromHex("1b4aff").repeated(63) + QByteArray::fromHex("1b69")).repeated(344).left(65536);
    pty.readUntilQuiet(50);
    TelvarBench::Row row;
    row.name = QStringLiteral("64 KiB of 2 m pages, ") + openName(open);
    row.bytes = stream.size();
    QElapsedTimer clock;
    TelvarBench::StallWatch watch;
    clock.start();
    for (qsizetype at = 0; at < stream.size(); at += 10000) {
        entry->setText(QString::fromLatin1(stream.mid(at, 10000).toHex(' ')));
        QTest::keyClick(entry, Qt::Key_Return);
    }
    qint64 received = 0;
    while (received < stream.size() && clock.elapsed() < 60000)
        received += pty.read(stream.size() - received, 1000).size();
    row.wireMs = clock.nsecsElapsed() / 1e6;
    if (open) {
        PaintWatch paints(preview);
        const double drawn = untilPainted(preview, paints, clock);
        row.note = QStringLiteral("handler = longest stall; drawn %1 ms after the first entry, %2 pages kept")
                       .arg(drawn, 0, 'f', 0)
                       .arg(preview->feed()->jobCount());
    } else {
        row.note = QStringLiteral("handler = longest stall, the send line's own included");
    }
    row.handlerMs = watch.longest;
    monitor->toggleAction()->setChecked(false);
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

    // From the handler's return (its last byte written) to the paper painted,
    // each receipt a job of its own. The receipts so far are one job, longer
    // than the 2 m the paper is drawn to: the line falls silent first.
    QTest::qWait(PaperFeed::kSilenceMs + 200);
    PaintWatch paints(preview);
    QList<double> drawn, alone;
    QByteArray wire;
    for (int i = 0; i < 7; ++i) {
        preview->feed()->clear();
        QCoreApplication::processEvents();
        receipt(window, "on_pushButtonReceiptFullCut_released");
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
    toPaper.name = QStringLiteral("Receipt with cut: last byte to paper shown");
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
    for (bool open : {false, true}) {
        preview->feed()->clear();
        rows << costRow(window, pty, open);
    }
    preview->feed()->clear();
    setOpen(window, false);
    return rows;
});

#include "bench.h"

#include "app/mainwindow.h"
#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"
#include "ptypair.h"

#include <QAction>
#include <QPushButton>
#include <QTableView>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <thread>

// Line Monitor rows: what recording costs a script's handler, with the
// monitor window open and closed side by side, and how a 10 MB reply flood
// treats the event loop and the memory.

namespace {

LineMonitor *monitorOf(MainWindow &window)
{
    return window.findChild<LineMonitor *>(QStringLiteral("lineMonitor"));
}

void setOpen(LineMonitor *monitor, bool open)
{
    monitor->toggleAction()->setChecked(open);
    QCoreApplication::processEvents();
}

QString openName(bool open)
{
    return open ? QStringLiteral("monitor open") : QStringLiteral("monitor closed");
}

QByteArray floodBytes()
{
    QByteArray flood;
    const QByteArray line = "status 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQR\r\n";
    while (flood.size() < 10 * 1000 * 1000)
        flood += line;
    return flood;
}

TelvarBench::Row floodRow(MainWindow &window, PtyPair &pty, bool open)
{
    LineMonitor *monitor = monitorOf(window);
    monitor->model()->clear();
    setOpen(monitor, open);
    const QByteArray flood = floodBytes();
    const double before = TelvarBench::residentMiB();
    const quint64 start = monitor->model()->capture().receivedTotal();
    QElapsedTimer total;
    total.start();
    TelvarBench::StallWatch watch;
    std::thread writer([&] { pty.write(flood); });
    while (monitor->model()->capture().receivedTotal() - start < quint64(flood.size())
           && total.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    writer.join();
    while (monitor->model()->capture().hasPending())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    TelvarBench::Row row;
    row.name = QStringLiteral("10 MB reply flood, ") + openName(open);
    row.handlerMs = watch.longest;
    row.wireMs = total.nsecsElapsed() / 1e6;
    row.bytes = flood.size();
    row.note = QStringLiteral("handler = longest stall, incl. log pane; resident +%1 MiB")
                   .arg(TelvarBench::residentMiB() - before, 0, 'f', 0);
    return row;
}

// The monitor's own share of a flood, without the window's log pane: 4 KiB
// reads recorded, rows made after every 64 of them (the pty delivers about
// that much between two timer ticks here).
TelvarBench::Row floodModelRow()
{
    const QByteArray flood = floodBytes();
    const double before = TelvarBench::residentMiB();
    LineModel model;
    double longest = 0;
    QElapsedTimer total;
    total.start();
    int reads = 0;
    for (qsizetype at = 0; at < flood.size(); at += 4096) {
        model.recordReceived(flood.mid(at, 4096));
        if (++reads % 64 == 0 || at + 4096 >= flood.size()) {
            QElapsedTimer settle;
            settle.start();
            model.settle(true);
            longest = qMax(longest, settle.nsecsElapsed() / 1e6);
        }
    }
    TelvarBench::Row row;
    row.name = QStringLiteral("10 MB flood into the capture alone");
    row.handlerMs = longest;
    row.wireMs = total.nsecsElapsed() / 1e6;
    row.bytes = flood.size();
    row.note = QStringLiteral("handler = longest row update; %1 rows, resident +%2 MiB")
                   .arg(model.rowCount())
                   .arg(TelvarBench::residentMiB() - before, 0, 'f', 0);
    return row;
}

// The full hex of the last raster row, built when "Show all bytes" is pressed.
TelvarBench::Row showAllRow(LineMonitor *monitor)
{
    TelvarBench::Row row;
    row.name = QStringLiteral("show all bytes of the raster row");
    LineModel *model = monitor->model();
    model->settle(true);
    auto *table = monitor->findChild<QTableView *>(QStringLiteral("monitorTable"));
    auto *showAll = monitor->findChild<QPushButton *>(QStringLiteral("monitorShowAll"));
    for (int i = model->rowCount() - 1; i >= 0; --i) {
        if (!model->row(i).text.startsWith(QLatin1String("GS v 0")))
            continue;
        QList<double> times;
        for (int run = 0; run < 3; ++run) {
            table->clearSelection();
            table->selectRow(i);
            QElapsedTimer clock;
            clock.start();
            showAll->click();
            times << clock.nsecsElapsed() / 1e6;
        }
        row.handlerMs = TelvarBench::median(times);
        row.bytes = qint64(model->row(i).length);
        row.note = QStringLiteral("on demand only, in the detail pane");
        break;
    }
    return row;
}

} // namespace

TELVAR_BENCH_GROUP("Line Monitor", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    LineMonitor *monitor = monitorOf(window);
    if (!monitor)
        return rows;

    // The raster row of the image group, once with the monitor closed and
    // once open; the difference is what recording and listing cost.
    QTemporaryDir dir;
    if (TelvarBench::loadPicture(window, TelvarBench::writeCheckerStrip(dir.path()))) {
        for (bool open : {false, true}) {
            setOpen(monitor, open);
            rows << TelvarBench::measure(
                QStringLiteral("print 384x4000 raster, ") + openName(open), window, pty,
                [&] {
                    QMetaObject::invokeMethod(&window, "on_pushButton_58PrintH_released",
                                              Qt::DirectConnection);
                },
                7, 2 + 8 + 48 * 4000);
        }
        rows << showAllRow(monitor);
    }

    // Recording alone, and the row update that follows it in the event loop.
    const QByteArray raster = QByteArray::fromHex("1b40" "1d763000" "3000" "a00f")
        + QByteArray(48 * 4000, '\x5a');
    QList<double> record, settle;
    for (int i = 0; i < 7; ++i) {
        LineModel model;
        QElapsedTimer clock;
        clock.start();
        model.recordSent(raster.constData(), 2);
        model.recordSent(raster.constData() + 2, 8);
        model.recordSent(raster.constData() + 10, raster.size() - 10);
        record << clock.nsecsElapsed() / 1e6;
        clock.restart();
        model.settle(true);
        settle << clock.nsecsElapsed() / 1e6;
    }
    TelvarBench::Row recordRow;
    recordRow.name = QStringLiteral("record the raster's 192,010 bytes");
    recordRow.handlerMs = TelvarBench::median(record);
    recordRow.bytes = raster.size();
    recordRow.note = QStringLiteral("then decode + rows in the event loop: %1 ms")
                         .arg(TelvarBench::median(settle), 0, 'f', 2);
    rows << recordRow;

    rows << floodModelRow();
    for (bool open : {false, true})
        rows << floodRow(window, pty, open);
    setOpen(monitor, false);
    monitor->model()->clear();
    return rows;
});

#include "bench.h"
#include "drainedterminal.h"

#include "app/mainwindow.h"
#include "network/telnet.h"
#include "ptypair.h"
#include "ser2net.h"
#include "telvartest.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

// Network ports: the 4.8 MB roll pushed by the window through ser2net (Telnet
// with RFC 2217, and raw TCP) into a drained terminal, beside socat sending
// the very same bytes to the same ser2net, run by run; and a Version query's
// reply through ser2net beside the same query on a direct terminal.

namespace {

using TelvarBench::Clock;
using TelvarBench::DrainedTerminal;
using TelvarBench::msSince;
using TelvarBench::rate;

// Connects to `name` and waits, in the event loop, until it is connected or has failed.
bool connectAndWait(MainWindow &window, const QString &name)
{
    QMetaObject::invokeMethod(&window, "closeSerialPort", Qt::DirectConnection);
    TelvarTest::action(window, "actionConfigure")->trigger();
    TelvarTest::chooseCustomPort(name);
    TelvarTest::action(window, "actionConnect")->trigger();
    const QDeadlineTimer deadline(10000);
    while (TelvarTest::statusText(window).startsWith(QLatin1String("Connecting to ")) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return TelvarTest::statusText(window).startsWith(QLatin1String("Connected to "));
}

void disconnectAndSettle(MainWindow &window)
{
    QMetaObject::invokeMethod(&window, "closeSerialPort", Qt::DirectConnection);
    // ser2net serves one client at a time: let it see this one go.
    QDeadlineTimer settle(150);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

QList<TelvarBench::Row> pushRows(MainWindow &window, const QString &accepter, const QString &folder)
{
    QList<TelvarBench::Row> rows;
    DrainedTerminal device;
    Ser2Net server(accepter, device.slavePath);
    if (!device.isOpen() || !server.isListening() || !connectAndWait(window, server.url()))
        return rows;
    const auto print = [&] {
        QMetaObject::invokeMethod(&window, "on_pushButton_58PrintH_released", Qt::DirectConnection);
    };
    // One run learns the bytes; socat sends exactly those, in Telnet's form
    // where the server speaks Telnet.
    device.start(-1, true);
    print();
    device.finish();
    const QByteArray bytes = device.kept;
    const bool telnet = accepter.startsWith(QLatin1String("telnet"));
    const QString path = QDir(folder).filePath(QStringLiteral("roll-%1.bin").arg(telnet ? "telnet" : "raw"));
    QFile file(path);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly))
        return rows;
    file.write(telnet ? Network::Telnet::escape(bytes) : bytes);
    file.close();

    QList<double> programPush, programTotal, programHandler, socatPush, ratios;
    bool whole = true;
    // Pairs side by side, so that a change in the machine's load hits both
    // alike; the ratio is the median of the pairs'.
    for (int i = 0; i < 11; ++i) {
        if (i > 0 && !connectAndWait(window, server.url()))
            break;
        device.start(bytes.size());
        Clock::time_point start = Clock::now();
        print();
        programHandler << msSince(start, Clock::now());
        device.finish();
        programTotal << msSince(start, device.last);
        programPush << device.firstToLastMs();
        whole = whole && device.count == bytes.size();
        disconnectAndSettle(window);

        // socat reads what the server sends and keeps the connection until
        // the bytes are through: a Telnet server that finds its client gone
        // drops what it has not yet written.
        QProcess socat;
        device.start(bytes.size());
        socat.start(QStringLiteral("socat"),
                    {QStringLiteral("-t"), QStringLiteral("30"),
                     QStringLiteral("OPEN:%1,rdonly!!OPEN:/dev/null,wronly").arg(path),
                     QStringLiteral("TCP:127.0.0.1:%1,shut-none").arg(server.port())});
        device.finish();
        socat.kill();
        socat.waitForFinished();
        socatPush << device.firstToLastMs();
        whole = whole && device.count == bytes.size();
        ratios << socatPush.last() / programPush.last();
        disconnectAndSettle(window);
    }
    const QString kind = telnet ? QStringLiteral("rfc2217://") : QStringLiteral("socket://");
    TelvarBench::Row program;
    program.name = QStringLiteral("print 384x100000 raster, %1 ser2net").arg(kind);
    program.handlerMs = TelvarBench::median(programHandler);
    program.wireMs = TelvarBench::median(programTotal);
    program.bytes = bytes.size();
    program.note = QStringLiteral("push %1 (first to last byte), %2 of socat's rate, goal >= 0.90%3")
                       .arg(rate(bytes.size(), TelvarBench::median(programPush)))
                       .arg(TelvarBench::median(ratios), 0, 'f', 2)
                       .arg(whole ? QString() : QStringLiteral("; bytes missing"));
    TelvarBench::Row reference;
    reference.name = QStringLiteral("socat of the same bytes to the same ser2net");
    reference.bytes = bytes.size();
    reference.note = QStringLiteral("push %1 (first to last byte)").arg(rate(bytes.size(), TelvarBench::median(socatPush)));
    rows << program << reference;
    return rows;
}

// Median time from the Version click to its reply in the log pane.
double versionReplyMs(MainWindow &window, DrainedTerminal &device, const QByteArray &reply)
{
    auto *log = window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    const QString text = QString::fromLatin1(reply.trimmed());
    QList<double> times;
    for (int i = 0; i < 21; ++i) {
        device.start(2);
        QEventLoop loop;
        const auto arrived = QObject::connect(log, &QPlainTextEdit::textChanged, &loop, [&] {
            if (log->toPlainText().contains(text))
                loop.quit();
        });
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        const Clock::time_point start = Clock::now();
        QMetaObject::invokeMethod(&window, "on_pushButtonVersion_released", Qt::DirectConnection);
        loop.exec();
        if (log->toPlainText().contains(text))
            times << msSince(start, Clock::now());
        QObject::disconnect(arrived);
        device.finish();
    }
    return TelvarBench::median(times);
}

} // namespace

TELVAR_BENCH_GROUP("Network ports", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    QTemporaryDir dir;
    const QString picturePath = TelvarBench::writeRoll(dir.path());
    if (!dir.isValid() || picturePath.isEmpty() || !TelvarBench::loadPicture(window, picturePath))
        return rows;
    rows << pushRows(window, QStringLiteral("telnet(rfc2217)"), dir.path());
    rows << pushRows(window, QStringLiteral("tcp"), dir.path());

    const QByteArray reply = "RC30x firmware V2.10\r\n";
    DrainedTerminal direct;
    direct.answer(QByteArray::fromHex("1005"), reply);
    double directMs = -1;
    if (direct.isOpen() && TelvarTest::connectTo(window, direct.slavePath)) {
        directMs = versionReplyMs(window, direct, reply);
        TelvarBench::Row row;
        row.name = QStringLiteral("Version reply, direct terminal");
        row.wireMs = directMs;
        row.note = QStringLiteral("click to reply in the log pane");
        rows << row;
    }
    for (const QString accepter : {QStringLiteral("telnet(rfc2217)"), QStringLiteral("tcp")}) {
        DrainedTerminal device;
        device.answer(QByteArray::fromHex("1005"), reply);
        Ser2Net server(accepter, device.slavePath);
        if (!device.isOpen() || !server.isListening() || !connectAndWait(window, server.url()))
            continue;
        TelvarBench::Row row;
        row.name = QStringLiteral("Version reply, %1 ser2net").arg(server.url().section(QLatin1Char(':'), 0, 0) + "://");
        row.wireMs = versionReplyMs(window, device, reply);
        row.note = QStringLiteral("%1 ms over the direct terminal, goal within 5 ms")
                       .arg(row.wireMs - directMs, 0, 'f', 2);
        rows << row;
        disconnectAndSettle(window);
    }

    QMetaObject::invokeMethod(&window, "closeSerialPort", Qt::DirectConnection);
    TelvarTest::connectTo(window, pty.slavePath());
    return rows;
});

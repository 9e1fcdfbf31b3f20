// The virtual controller's line model on a clock of the test's own: line speed,
// the controller's UART settings, the receive buffer and XON/XOFF. Also the
// host's settings as read from a real pseudo-terminal.

#include "controller.h"
#include "line.h"
#include "ttysettings.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Virtual;

Q_DECLARE_METATYPE(Virtual::HostLine)

namespace {

constexpr qint64 kMs = 1000;

HostLine host(qint64 baud, int stopBits = 1, bool xonXoff = true)
{
    HostLine h;
    h.baud = baud;
    h.stopBits = stopBits;
    h.xonXoff = xonXoff;
    return h;
}

// Plays the host and the tty between it and the model, a millisecond a step:
// the host hands over everything at once and stops while XOFF is in force
// (if it honours it); the model takes what the line has carried.
struct Run
{
    explicit Run(LineModel &m)
        : model(m)
    {
    }
    LineModel &model;
    qint64 t = 0;
    QByteArray fromController; // XON, XOFF and answers, in order
    qint64 fillAtXoff = -1, fillAtXon = -1;

    // Returns the time the last byte was taken.
    qint64 send(const QByteArray &bytes, qint64 limit = 60000 * kMs)
    {
        qsizetype done = 0;
        model.lineStarts(t);
        qint64 last = t;
        while (done < bytes.size() && t < limit) {
            t += kMs;
            take(model.advance(t));
            const qint64 n = qMin<qint64>(model.due(t), bytes.size() - done);
            if (n > 0) {
                take(model.receive(bytes.mid(done, n), t));
                done += n;
                last = t;
            }
        }
        return last;
    }
    // The line is quiet; the head prints on, woken only when the model asks
    // to be, as the tty driver wakes it; until it has printed everything.
    void finish()
    {
        model.lineIdle(t);
        for (qint64 next; (next = model.nextEvent()) >= 0;) {
            t = qMax(t, next);
            take(model.advance(t));
        }
    }
    // The line is quiet; the head prints on.
    void idle(qint64 ms)
    {
        model.lineIdle(t);
        for (const qint64 end = t + ms * kMs; t < end;) {
            t += kMs;
            take(model.advance(t));
        }
    }
    void take(const QByteArray &out)
    {
        for (char c : out) {
            if (c == kXoff && fillAtXoff < 0)
                fillAtXoff = model.fill();
            if (c == kXon && fillAtXon < 0)
                fillAtXon = model.fill();
        }
        fromController += out;
    }
};

} // namespace

class tst_Line : public QObject
{
    Q_OBJECT

private slots:
    // 2,000 bytes take as long as the line needs to carry them: start bit, data
    // bits and stop bits a byte, at the speed both ends agree on.
    void pacing_data()
    {
        QTest::addColumn<QByteArray>("before"); // sent first, at 115200 8N1
        QTest::addColumn<HostLine>("line");     // the host's line for the 2,000 bytes
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("listed"); // a line the listing has, if any
        QTest::newRow("115200 8N1") << QByteArray() << host(115200) << 0.174 << QString();
        QTest::newRow("9600 8N1 after 1D 28 00 01") << QByteArray::fromHex("1d280001") << host(9600) << 2.08
                                                    << QString();
        QTest::newRow("115200 8N2: 11 bits a byte") << QByteArray() << host(115200, 2) << 0.191 << QString();
        QTest::newRow("19200 8N1 after 1D 28 01 00") << QByteArray::fromHex("1d280100") << host(19200, 1, false)
                                                     << 1.042 << QString();
        // A tty that reports no speed: the bytes come at the controller's speed, and the listing says so.
        QTest::newRow("no speed reported") << QByteArray() << host(0) << 0.174
            << "host line: speed 0 8N1, XON/XOFF flow control (bytes are taken at the controller's 115200 baud)";
    }
    void pacing()
    {
        QFETCH(QByteArray, before);
        QFETCH(HostLine, line);
        QFETCH(double, seconds);
        QTemporaryDir dir;
        Controller controller(dir.path());
        LineModel model;
        model.print = [&controller](const QByteArray &b) { return controller.receive(b); };
        model.rowsPrinted = [&controller] { return controller.rowsPrinted(); };
        controller.onUartSettings = [&model](int speed, int flow) { model.setUart(speed, flow); };
        QStringList listing;
        model.onListing = [&listing](const QString &line) { listing << line; };
        Run run(model);
        model.setHost(host(115200), run.t);
        run.send(before);
        run.idle(200);
        model.setHost(line, run.t);
        QVERIFY(!model.mismatch());
        const qint64 start = run.t;
        const double took = double(run.send(QByteArray(2000, '\0')) - start) / 1e6;
        QVERIFY2(qAbs(took - seconds) <= 0.05 * seconds, qPrintable(QString::number(took)));
        QFETCH(QString, listed);
        QVERIFY2(listed.isEmpty() || listing.contains(listed), qPrintable(listing.join('\n')));
    }

    // The buffer with a head that prints a 24-row text line for every line feed:
    // at 640 rows a second a 30-byte line takes 37.5 ms, far slower than the
    // line brings it.
    void buffer_data()
    {
        QTest::addColumn<bool>("hostHonoursXoff");
        QTest::addColumn<int>("flowCode"); // the controller's, set by 1D 28 04 n
        QTest::addColumn<bool>("lossless");
        QTest::newRow("XON/XOFF both sides") << true << 1 << true;
        QTest::newRow("host without flow control") << false << 1 << false;
        QTest::newRow("controller without flow control") << true << 0 << false;
        QTest::newRow("controller on hardware flow") << true << 2 << false;
    }
    void buffer()
    {
        QFETCH(bool, hostHonoursXoff);
        QFETCH(int, flowCode);
        QFETCH(bool, lossless);
        LineModel model; // 4096 bytes, 640 rows a second
        QByteArray printed;
        quint64 rows = 0;
        model.print = [&](const QByteArray &b) {
            printed += b;
            rows += 24 * quint64(b.count('\n'));
            return QByteArray();
        };
        model.rowsPrinted = [&rows] { return rows; };
        QStringList listing;
        model.onListing = [&listing](const QString &line) { listing << line; };
        model.setUart(4, flowCode);
        Run run(model);
        model.setHost(host(115200, 1, hostHonoursXoff), 0);
        QByteArray text;
        for (int i = 0; i < 400; ++i)
            text += QByteArray::number(100000 + i) + " ........................\n"; // 32 bytes
        run.send(text);
        run.finish();
        QVERIFY(model.drained(run.t));
        const QStringList overruns = listing.filter(QStringLiteral("buffer overrun"));
        if (lossless) {
            QCOMPARE(printed, text);
            QCOMPARE(overruns, QStringList());
            // XOFF at three quarters of 4096, XON at a quarter, each at most a slice late.
            QVERIFY2(run.fillAtXoff >= 3072 && run.fillAtXoff < 3072 + 64, qPrintable(QString::number(run.fillAtXoff)));
            QVERIFY2(run.fillAtXon <= 1024 && run.fillAtXon > 1024 - 64, qPrintable(QString::number(run.fillAtXon)));
            QCOMPARE(run.fromController.count(kXoff), run.fromController.count(kXon));
            QCOMPARE(listing.filter(QStringLiteral("buffer full")),
                     QStringList(QStringLiteral("buffer full: XOFF sent %1 times").arg(run.fromController.count(kXoff))));
            // The text is printed at print speed: 400 lines of 24 rows at 640 rows a second.
            QVERIFY(run.t > 15000 * kMs);
            return;
        }
        QVERIFY(printed.size() < text.size());
        QVERIFY(text.startsWith(printed.left(4096))); // what fitted first is intact
        QCOMPARE(overruns.size(), 1);
        const qint64 lost = text.size() - printed.size();
        QCOMPARE(overruns.first(), QStringLiteral("buffer overrun: %1 bytes lost").arg(QLocale(QLocale::English).toString(lost)));
        QCOMPARE(run.fromController.contains(kXoff), flowCode == 1);
        if (flowCode == 2)
            QCOMPARE(listing.filter(QStringLiteral("hardware flow control cannot be emulated")).size(), 1);
    }

    // While the two speeds differ every byte is garbage: nothing printed, one
    // listing line a burst; at the controller's speed it prints again.
    void speedMismatch()
    {
        LineModel model;
        QByteArray printed;
        model.print = [&printed](const QByteArray &b) {
            printed += b;
            return QByteArray();
        };
        QStringList listing;
        model.onListing = [&listing](const QString &line) { listing << line; };
        model.setHost(host(115200), 0);
        model.setUart(0, 1);
        QVERIFY(model.mismatch());
        Run run(model);
        run.send(QByteArray(212, 'x'));
        run.idle(150);
        run.send(QByteArray(1000, 'y'));
        run.idle(150);
        QCOMPARE(printed, QByteArray());
        QVERIFY(listing.contains("   the host sends at 115200 baud: reconnect it at 9600 baud"));
        QCOMPARE(listing.filter(QStringLiteral("mismatch")),
                 QStringList({"line speed mismatch: host 115200, controller 9600: 212 bytes unreadable",
                              "line speed mismatch: host 115200, controller 9600: 1,000 bytes unreadable"}));
        model.setHost(host(9600), run.t);
        run.send("prints again\n");
        run.idle(50);
        QCOMPARE(printed, QByteArray("prints again\n"));
        // An unknown code leaves the UART as it was.
        model.setUart(9, 1);
        QCOMPARE(model.uartBaud(), qint64(9600));
        QCOMPARE(listing.last(), QStringLiteral("   unknown code: the UART keeps 9600 baud, XON/XOFF flow control"));
    }

    // What the program sets on its port is what the virtual controller reads on
    // the master, custom speeds included; parity the kernel clears on a pty.
    void hostSettingsFromAPseudoTerminal_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("flow");
        QTest::addColumn<QString>("seen");
        QTest::newRow("program defaults") << 115200 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop)
                                          << int(QSerialPort::SoftwareControl)
                                          << "115200 baud 8N1, XON/XOFF flow control";
        QTest::newRow("9600 even parity, 2 stop bits")
            << 9600 << int(QSerialPort::EvenParity) << int(QSerialPort::TwoStop) << int(QSerialPort::NoFlowControl)
            << "9600 baud 8N2, no flow control";
        QTest::newRow("375000 custom, RTS/CTS") << 375000 << int(QSerialPort::NoParity) << int(QSerialPort::OneStop)
                                                << int(QSerialPort::HardwareControl)
                                                << "375000 baud 8N1, hardware flow control";
    }
    void hostSettingsFromAPseudoTerminal()
    {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, stop);
        QFETCH(int, flow);
        QFETCH(QString, seen);
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        QSerialPort port(QString::fromLocal8Bit(ptsname(master)));
        QVERIFY(port.open(QIODevice::ReadWrite));
        // A pty refuses parity (the kernel clears the bit), so that setting fails.
        QCOMPARE(port.setParity(QSerialPort::Parity(parity)), parity == QSerialPort::NoParity);
        QVERIFY(port.setBaudRate(baud) && port.setStopBits(QSerialPort::StopBits(stop))
                && port.setFlowControl(QSerialPort::FlowControl(flow)));
        HostLine line;
        QVERIFY(readHostLine(master, &line));
        QCOMPARE(line.describe(), seen);
        port.close();
        ::close(master);
        QVERIFY(!readHostLine(master, &line));
    }
};

QTEST_GUILESS_MAIN(tst_Line)
#include "tst_line.moc"

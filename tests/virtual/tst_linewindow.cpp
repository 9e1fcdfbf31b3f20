// telvar-virtual on a pseudo-terminal: on a link or a given tty, its answers, a page per job, the
// line speed it takes bytes at, its refusal of bad options; and the program's window on its paced
// line, where flow control keeps a large raster whole through the 4 KiB buffer after the Controller
// tab's Apply moved the controller's UART. (What is lost when the host does not listen to XOFF, and
// a speed mismatch, are the line model's tests.)

#include "controller.h"
#include "telvartest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;
using namespace Virtual;

namespace {

// telvar-virtual on a link in a folder of its own, writing its pages and listing there.
struct Virt
{
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("ttyTelvarLine"));
    QProcess process;

    void start(const QStringList &options)
    {
        process.start(QStringLiteral(TELVAR_VIRTUAL_EXE), QStringList{"--link", link, "--out", dir.path()} + options);
    }
    ~Virt()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    bool started() const { return QFileInfo(link).isSymLink(); }
    QString listing() const
    {
        QFile log(dir.filePath(QStringLiteral("listing.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    QString page(int n) const { return dir.filePath(QStringLiteral("job-%1.png").arg(n, 4, 10, QLatin1Char('0'))); }
};

// Opens the line as the program does: a serial port at 115200 8N1 with XON/XOFF.
bool openLine(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    return port.open(QIODevice::ReadWrite) && port.setBaudRate(115200)
        && port.setFlowControl(QSerialPort::SoftwareControl);
}

// Writes all of `bytes`; returns what comes back: `count` bytes, or what 5 s bring.
QByteArray send(QSerialPort &port, const QByteArray &bytes, qsizetype count = 0)
{
    port.write(bytes);
    QByteArray got;
    for (QDeadlineTimer deadline(5000); (port.bytesToWrite() > 0 || got.size() < count) && !deadline.hasExpired();) {
        port.waitForReadyRead(5);
        got += port.readAll();
    }
    return got;
}

QByteArray pattern(int widthBytes, int rows)
{
    QByteArray bits(widthBytes * rows, Qt::Uninitialized);
    for (int r = 0; r < rows; ++r)
        for (int b = 0; b < widthBytes; ++b)
            bits[r * widthBytes + b] = char((r * 7 + b * 29 + (r >> 4)) & 0xff);
    return bits;
}

} // namespace

class tst_LineWindow : public QObject
{
    Q_OBJECT

private slots:
    void servesALinkedPseudoTerminal()
    {
        Virt virt;
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-pty"), virt.link)); // left by an earlier run
        virt.start({"--silence", "300", "--instant"});
        QByteArray seen;
        const QByteArray announced = "\"Custom\" entry: " + virt.link.toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT((seen += virt.process.readAllStandardOutput()).contains(announced), 8000);
        QSerialPort port;
        QVERIFY(openLine(port, virt.link));
        QCOMPARE(send(port, QByteArray::fromHex("1005"), firmwareAnswer().size()), firmwareAnswer());
        send(port, QByteArray::fromHex("1b40 1d76300030000001") + QByteArray(48 * 256, '\x0f') + "THANK YOU\n"
                       + QByteArray::fromHex("1b69"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(virt.page(1)), 8000);
        port.close(); // the program disconnects and connects again to the same path
        QTest::qWait(400);
        QVERIFY(openLine(port, virt.link));
        QCOMPARE(send(port, QByteArray::fromHex("1004"), statusAnswer().size()), statusAnswer());
        send(port, "no cut here\n");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(virt.page(2)), 8000);
        port.close();
        virt.process.terminate();
        QVERIFY(virt.process.waitForFinished(5000));
        QVERIFY2(!virt.started(), "the link is removed at exit");
        QVERIFY(virt.listing().contains("GS v 0  raster 48x256 (12288 bytes)\ntext \"THANK YOU\"\n"));
    }

    // The virtual controller takes bytes no faster than the line settings the test set carry them:
    // 2,000 bytes at 115200 8N1 take 0.174 s. The answer to a query behind them tells when the last
    // one was taken. The exact figure is the line model's test; here the margin allows for a loaded
    // machine.
    void takesBytesAtTheLineSpeed()
    {
        Virt virt;
        virt.start({"--speed", "0", "--quiet"});
        QTRY_VERIFY_WITH_TIMEOUT(virt.started(), 8000);
        QSerialPort port;
        QVERIFY(openLine(port, virt.link));
        QTest::qWait(300); // the new settings are read
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(send(port, QByteArray(2000, '\0') + QByteArray::fromHex("1005"), firmwareAnswer().size()),
                 firmwareAnswer());
        const double seconds = timer.nsecsElapsed() / 1e9;
        QVERIFY2(seconds >= 0.165 && seconds < 0.5, qPrintable(QString::number(seconds)));
    }

    // A print speed or buffer size that is not a count ends the program at once with a message that
    // names the option; nothing is created.
    void refusesBadLineOptions_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("negative speed") << QStringList{"--speed", "-5"} << "--speed wants millimetres a second";
        QTest::newRow("speed not a number") << QStringList{"--speed", "fast"} << "--speed wants millimetres a second";
        QTest::newRow("buffer not a number") << QStringList{"--buffer", "4k"} << "--buffer wants a byte count";
        QTest::newRow("buffer too large") << QStringList{"--buffer", "99999999999"} << "--buffer wants a byte count";
    }

    void refusesBadLineOptions()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, message);
        Virt virt;
        virt.start(options);
        QVERIFY(virt.process.waitForFinished(8000));
        QCOMPARE(virt.process.exitCode(), 2);
        QVERIFY2(QString::fromLocal8Bit(virt.process.readAllStandardError()).contains(message), qPrintable(message));
        QVERIFY(!virt.started());
    }

    // A pty pair of the test's own stands in for a serial adapter: the virtual controller takes the
    // slave, the test plays the program on the master.
    void attachesToAGivenTty()
    {
        PtyPair pty;
        QTemporaryDir dir;
        QProcess virt;
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
                   {pty.slavePath(), "--out", dir.path(), "--silence", "200", "--instant"});
        QByteArray seen;
        const QByteArray announced = "Attached to " + pty.slavePath().toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT((seen += virt.readAllStandardOutput()).contains(announced), 8000);
        pty.write(QByteArray::fromHex("1004"));
        QCOMPARE(pty.read(statusAnswer().size()), statusAnswer());
        // The real-time status: one byte, online and paper present.
        pty.write(QByteArray::fromHex("100401"));
        QCOMPARE(pty.read(1), QByteArray("\x12"));
        virt.terminate();
        QVERIFY(virt.waitForFinished(5000));
    }

    // The raster goes at 375000 baud (Apply, then reconnect), so that its 192,010 bytes take 5 s of line
    // time instead of 17 s; at the default print speed of 80 mm/s the head still drains slower than that
    // line fills, so XOFF is used.
    void rasterThroughTheBufferWithXonXoff()
    {
        Virt virt;
        virt.start({"--silence", "500", "--quiet"});
        QTRY_VERIFY_WITH_TIMEOUT(virt.started(), 8000);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(connectAt(window, virt.link, "115200", "XON/XOFF"));
        applyUart(window, "radioButton375000");
        QTRY_VERIFY(virt.listing().contains("the controller's UART is now 375000 baud, XON/XOFF flow control"));
        QVERIFY(connectAt(window, virt.link, "375000", "XON/XOFF"));

        BoxCatcher catcher;
        QByteArray bits = pattern(48, 4000);
        const QByteArray picture = bits;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(invoke(window, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 48), Q_ARG(ushort, 4000),
                       Q_ARG(uchar *, reinterpret_cast<uchar *>(bits.data()))));
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(virt.page(1)) || !catcher.boxes.isEmpty(), 60000);
        QVERIFY2(catcher.boxes.isEmpty(), qPrintable(catcher.boxes.value(0).text));
        qInfo("384x4000 raster at 375000 baud, 80 mm/s: page after %.1f s", timer.elapsed() / 1000.0);

        const QString listing = virt.listing();
        QVERIFY(listing.contains("GS v 0  raster 48x4000 (192000 bytes)\n"));
        QVERIFY2(listing.contains(QRegularExpression("buffer full: XOFF sent \\d+ times")), "the buffer never filled");
        QVERIFY(!listing.contains("overrun") && !listing.contains("mismatch"));
        // The page is the picture: 40 dots of roll left of the print area, 16 rows above it.
        const QImage page(virt.page(1));
        QCOMPARE(page.height() - 16 - 16, 4000);
        int wrong = 0;
        for (int r = 0; r < 4000; ++r) {
            const uchar *row = page.constScanLine(16 + r);
            for (int x = 0; x < 384; ++x)
                wrong += bool(uchar(picture[r * 48 + x / 8]) & (0x80 >> (x % 8))) != (row[40 + x] < 128);
        }
        QCOMPARE(wrong, 0);
    }
};

QTEST_MAIN(tst_LineWindow)
#include "tst_linewindow.moc"

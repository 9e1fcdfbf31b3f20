// telvar-virtual on its pseudo-terminal: its link, its answers, a page per job.

#include "controller.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace Virtual;

// Opens the line the way the program's serial port does: raw, 115200 8N1 with XON/XOFF.
static int openLine(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t;
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_iflag |= IXON | IXOFF;
        cfsetspeed(&t, B115200);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// Writes all of `bytes`; returns what comes back: `count` bytes, or what 5 s bring.
static QByteArray send(int fd, const QByteArray &bytes, qsizetype count = 0)
{
    QByteArray got;
    char buffer[4096];
    QElapsedTimer timer;
    timer.start();
    for (qsizetype done = 0; (done < bytes.size() || got.size() < count) && timer.elapsed() < 5000;) {
        if (const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done)); n > 0)
            done += n;
        QTest::qWait(5);
        if (const ssize_t n = ::read(fd, buffer, sizeof buffer); n > 0)
            got.append(buffer, int(n));
    }
    return got;
}

class tst_Pty : public QObject
{
    Q_OBJECT

private slots:
    void servesALinkedPseudoTerminal()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyTest0"));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-pty"), link)); // left by an earlier run
        QProcess virt;
        const QStringList args{"--link", link, "--out", dir.path(), "--silence", "300", "--instant"};
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), args);
        QByteArray seen;
        const QByteArray announced = "\"Custom\" entry: " + link.toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT((seen += virt.readAllStandardOutput()).contains(announced), 8000);
        int fd;
        QVERIFY((fd = openLine(link)) >= 0);
        QCOMPARE(send(fd, QByteArray::fromHex("1005"), firmwareAnswer().size()), firmwareAnswer());
        send(fd, QByteArray::fromHex("1b40 1d76300030000001") + QByteArray(48 * 256, '\x0f') + "THANK YOU\n"
                 + QByteArray::fromHex("1b69"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath(QStringLiteral("job-0001.png"))), 8000);
        ::close(fd); // the program disconnects and connects again to the same path
        QTest::qWait(400);
        QVERIFY((fd = openLine(link)) >= 0);
        QCOMPARE(send(fd, QByteArray::fromHex("1004"), statusAnswer().size()), statusAnswer());
        send(fd, "no cut here\n");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath(QStringLiteral("job-0002.png"))), 8000);
        ::close(fd);
        virt.terminate();
        QVERIFY(virt.waitForFinished(5000));
        QVERIFY2(!QFileInfo(link).isSymLink(), "the link is removed at exit");
        QFile log(dir.filePath(QStringLiteral("listing.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("GS v 0  raster 48x256 (12288 bytes)\ntext \"THANK YOU\"\n"));
    }

    // On its own pseudo-terminal the virtual controller takes bytes no faster
    // than the line settings the test set carry them: 2,000 bytes at 115200
    // 8N1 take 0.174 s. The answer to a query behind them tells when the last
    // one was taken. The exact figure is the line model's test; here the
    // margin allows for a loaded machine.
    void takesBytesAtTheLineSpeed()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyTest1"));
        QProcess virt;
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), {"--link", link, "--out", dir.path(), "--speed", "0", "--quiet"});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 8000);
        const int fd = openLine(link);
        QVERIFY(fd >= 0);
        QTest::qWait(300); // the new settings are read
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(send(fd, QByteArray(2000, '\0') + QByteArray::fromHex("1005"), firmwareAnswer().size()),
                 firmwareAnswer());
        const double seconds = timer.nsecsElapsed() / 1e9;
        QVERIFY2(seconds >= 0.165 && seconds < 0.5, qPrintable(QString::number(seconds)));
        ::close(fd);
        virt.terminate();
        QVERIFY(virt.waitForFinished(5000));
    }

    // A print speed or buffer size that is not a count ends the program at
    // once with a message that names the option; nothing is created.
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
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyTest2"));
        QProcess virt;
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), QStringList{"--link", link, "--out", dir.path()} + options);
        QVERIFY(virt.waitForFinished(8000));
        QCOMPARE(virt.exitCode(), 2);
        QVERIFY2(QString::fromLocal8Bit(virt.readAllStandardError()).contains(message), qPrintable(message));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A pty pair of the test's own stands in for a serial adapter: the virtual
    // controller takes the slave, the test plays the program on the master.
    void attachesToAGivenTty()
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        const QString slave = QString::fromLocal8Bit(ptsname(master));
        QTemporaryDir dir;
        QProcess virt;
        virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), {slave, "--out", dir.path(), "--silence", "200", "--instant"});
        QByteArray seen;
        const QByteArray announced = "Attached to " + slave.toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT((seen += virt.readAllStandardOutput()).contains(announced), 8000);
        QCOMPARE(send(master, QByteArray::fromHex("1004"), statusAnswer().size()), statusAnswer());
        // The real-time status: one byte, online and paper present.
        QCOMPARE(send(master, QByteArray::fromHex("100401"), 1), QByteArray("\x12"));
        ::close(master);
        virt.terminate();
        QVERIFY(virt.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(tst_Pty)
#include "tst_pty.moc"

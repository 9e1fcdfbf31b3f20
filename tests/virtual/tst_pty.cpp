// The telvar-virtual program itself, on its pseudo-terminal: the link it
// announces, its answers, pages per job, a client that goes away and comes
// back, and attaching to a tty given on the command line.

#include "controller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Opens a tty the way the program's serial port does: raw, 115200 bps, with
// XON/XOFF flow control.
int openLine(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B115200);
    t.c_iflag |= IXON | IXOFF;
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes everything, waiting while the tty's buffer is full.
bool writeLine(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    QElapsedTimer timer;
    timer.start();
    while (done < bytes.size() && timer.elapsed() < 5000) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QTest::qWait(5);
    }
    return done == bytes.size();
}

QByteArray readFor(int fd, qsizetype count, int timeoutMs = 5000)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < count && timer.elapsed() < timeoutMs) {
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, int(n));
        else
            QTest::qWait(10);
    }
    return got;
}

bool waitForFile(const QString &path, int timeoutMs = 8000)
{
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo::exists(path) && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return QFileInfo::exists(path);
}

class VirtualProcess
{
public:
    explicit VirtualProcess(const QStringList &arguments)
    {
        process.setProgram(QStringLiteral(TELVAR_VIRTUAL_EXE));
        process.setArguments(arguments);
        process.start();
    }
    ~VirtualProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000))
                process.kill();
        }
    }
    // Waits for a line of standard output that contains `text`.
    QString waitForLine(const QString &text, int timeoutMs = 8000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                seen << line;
                if (line.contains(text))
                    return line;
            }
            process.waitForReadyRead(100);
        }
        return QString();
    }
    QProcess process;
    QStringList seen;
};

} // namespace

class tst_Pty : public QObject
{
    Q_OBJECT

private slots:
    void servesALinkedPseudoTerminal();
    void attachesToAGivenTty();
};

void tst_Pty::servesALinkedPseudoTerminal()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTest0"));
    const QString out = dir.filePath(QStringLiteral("out"));
    // A stale link from an earlier run is replaced.
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-pty"), link));

    VirtualProcess virt({QStringLiteral("--link"), link, QStringLiteral("--out"), out,
                         QStringLiteral("--silence"), QStringLiteral("300")});
    const QString announced = virt.waitForLine(QStringLiteral("\"Custom\" entry"));
    QVERIFY2(announced.endsWith(link), qPrintable(virt.seen.join('\n')));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));

    int fd = openLine(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeLine(fd, QByteArray::fromHex("1005")));
    QCOMPARE(readFor(fd, Virtual::firmwareAnswer().size()), Virtual::firmwareAnswer());

    // A receipt-sized job in one go, ended by a cut.
    QByteArray job = QByteArray::fromHex("1b40 1d76300030000001");
    job += QByteArray(48 * 256, '\x0f');
    job += "THANK YOU FOR YOUR VISIT\n" + QByteArray::fromHex("1b69");
    QVERIFY(writeLine(fd, job.left(4000)));
    QVERIFY(writeLine(fd, job.mid(4000)));
    QVERIFY(waitForFile(QDir(out).filePath(QStringLiteral("job-0001.png"))));

    // The program disconnects and connects again: the same path still works.
    ::close(fd);
    QTest::qWait(400);
    fd = openLine(link);
    QVERIFY(fd >= 0);
    QVERIFY(writeLine(fd, QByteArray::fromHex("1004")));
    QCOMPARE(readFor(fd, Virtual::statusAnswer().size()), Virtual::statusAnswer());

    // A job without a cut ends after the silence.
    QVERIFY(writeLine(fd, "no cut here\n"));
    QVERIFY(waitForFile(QDir(out).filePath(QStringLiteral("job-0002.png"))));
    ::close(fd);

    virt.process.terminate();
    QVERIFY(virt.process.waitForFinished(5000));
    QCOMPARE(virt.process.exitCode(), 0);
    QVERIFY2(!QFileInfo(link).isSymLink(), "the link is removed at exit");

    QFile log(QDir(out).filePath(QStringLiteral("listing.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString listing = QString::fromUtf8(log.readAll());
    QVERIFY(listing.contains(QStringLiteral("DLE ENQ  firmware query\n")));
    QVERIFY(listing.contains(QStringLiteral("GS v 0  raster 48x256 (12288 bytes)\n")));
    QVERIFY(listing.contains(QStringLiteral("text \"THANK YOU FOR YOUR VISIT\"\n")));
    QVERIFY(listing.contains(QStringLiteral("-- job ended by a full cut")));
    QVERIFY(listing.contains(QStringLiteral("-- job ended by silence on the line")));
}

void tst_Pty::attachesToAGivenTty()
{
    // Our own pty pair stands in for a serial adapter: the virtual controller
    // takes the slave, the test plays the program on the master.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    QTemporaryDir dir;
    VirtualProcess virt({slave, QStringLiteral("--out"), dir.path(), QStringLiteral("--silence"), QStringLiteral("200")});
    QVERIFY(!virt.waitForLine(QStringLiteral("Attached to ") + slave).isEmpty());

    QVERIFY(writeLine(master, QByteArray::fromHex("1004 1005")));
    QCOMPARE(readFor(master, Virtual::statusAnswer().size() + Virtual::firmwareAnswer().size()),
             Virtual::statusAnswer() + Virtual::firmwareAnswer());
    QVERIFY(writeLine(master, "label\n" + QByteArray::fromHex("1d06")));
    QVERIFY(waitForFile(dir.filePath(QStringLiteral("job-0001.png"))));
    ::close(master);
}

QTEST_GUILESS_MAIN(tst_Pty)
#include "tst_pty.moc"

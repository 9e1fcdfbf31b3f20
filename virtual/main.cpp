// telvar-virtual: a virtual RC30x controller on a pseudo-terminal (or on a tty
// given on the command line). It lists every command as it arrives, answers
// the firmware and status queries and writes each job as a PNG of the paper.

#include "controller.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &b, 1);
}

bool makeRaw(int fd)
{
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

// Writes all of `bytes`, waiting briefly when the tty's buffer is full.
void writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    for (int tries = 0; done < bytes.size() && tries < 200; ++tries) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else
            usleep(5000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // The paper is drawn off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvar-virtual"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual RC30x thermal printer controller. Without a tty it creates a pseudo-terminal and\n"
        "links it as --link; type that path into the settings dialog's \"Custom\" entry."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("tty"), QStringLiteral("Attach to this tty instead of creating a pseudo-terminal."), QStringLiteral("[tty]"));
    QCommandLineOption linkOption(QStringLiteral("link"), QStringLiteral("Stable link to the pseudo-terminal (default /tmp/ttyTelvar0)."), QStringLiteral("path"), QStringLiteral("/tmp/ttyTelvar0"));
    QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Folder for the PNG pages (default ./virtual-printout)."), QStringLiteral("dir"), QStringLiteral("virtual-printout"));
    QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Listing log file (default <out>/listing.log)."), QStringLiteral("file"));
    QCommandLineOption silenceOption(QStringLiteral("silence"), QStringLiteral("Milliseconds of silence that end a job (default 2000)."), QStringLiteral("ms"), QStringLiteral("2000"));
    QCommandLineOption replayOption(QStringLiteral("replay"), QStringLiteral("Decode and draw a file of captured bytes, then exit."), QStringLiteral("file"));
    QCommandLineOption quietOption(QStringLiteral("quiet"), QStringLiteral("Do not print the listing on standard output."));
    parser.addOptions({linkOption, outOption, logOption, silenceOption, replayOption, quietOption});
    parser.process(app);

    const QString outDir = parser.value(outOption);
    const QString logPath = parser.isSet(logOption) ? parser.value(logOption) : QDir(outDir).filePath(QStringLiteral("listing.log"));
    QDir().mkpath(outDir);
    Virtual::Controller controller(outDir, logPath);
    const bool quiet = parser.isSet(quietOption);
    controller.onListing = [quiet](const QString &line) {
        if (quiet)
            return;
        QTextStream out(stdout);
        out << line << Qt::endl;
    };

    if (parser.isSet(replayOption)) {
        QFile file(parser.value(replayOption));
        if (!file.open(QIODevice::ReadOnly)) {
            fprintf(stderr, "telvar-virtual: cannot read %s: %s\n", qPrintable(file.fileName()), qPrintable(file.errorString()));
            return 1;
        }
        controller.receive(file.readAll());
        controller.silence();
        return 0;
    }

    // The device end: the master of a new pseudo-terminal, or the given tty.
    int fd = -1;
    int slaveKeeper = -1;
    QString link;
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        fd = ::open(positional.first().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            fprintf(stderr, "telvar-virtual: cannot open %s: %s\n", qPrintable(positional.first()), strerror(errno));
            return 1;
        }
        // Raw, at whatever speed the line is set to.
        makeRaw(fd);
        printf("Attached to %s\n", qPrintable(positional.first()));
    } else {
        fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
            fprintf(stderr, "telvar-virtual: cannot create a pseudo-terminal: %s\n", strerror(errno));
            return 1;
        }
        const QString slave = QString::fromLocal8Bit(ptsname(fd));
        // Holding the slave open ourselves keeps the master readable when the
        // program closes its port: otherwise every read would fail with EIO
        // until someone opens the slave again.
        slaveKeeper = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slaveKeeper >= 0)
            makeRaw(slaveKeeper);
        link = parser.value(linkOption);
        if (!link.isEmpty()) {
            // A link left behind by an earlier run points at a pty that is
            // gone or someone else's: replace it. Anything else is not ours.
            const QFileInfo old(link);
            if (old.isSymLink())
                ::unlink(link.toLocal8Bit().constData());
            if (QFileInfo(link).exists() || QFileInfo(link).isSymLink()) {
                fprintf(stderr, "telvar-virtual: %s exists and is not a link; not replacing it\n", qPrintable(link));
                link.clear();
            } else if (symlink(slave.toLocal8Bit().constData(), link.toLocal8Bit().constData()) != 0) {
                fprintf(stderr, "telvar-virtual: cannot link %s: %s\n", qPrintable(link), strerror(errno));
                link.clear();
            }
        }
        printf("Virtual RC30x controller on %s\n", qPrintable(slave));
        printf("Type this path into the settings dialog's \"Custom\" entry: %s\n",
               qPrintable(link.isEmpty() ? slave : link));
        printf("Pages go to %s, the listing to %s\n", qPrintable(QDir(outDir).absolutePath()), qPrintable(logPath));
    }
    fflush(stdout);

    // Ctrl+C and kill end the event loop, so that the last job is written and
    // the link removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto *signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
    }

    QTimer silence;
    silence.setSingleShot(true);
    const int silenceMs = parser.value(silenceOption).toInt();
    silence.setInterval(silenceMs > 0 ? silenceMs : 2000);
    QObject::connect(&silence, &QTimer::timeout, &app, [&controller] { controller.silence(); });

    // A status or firmware query at the end of what arrived may still be the
    // head of a real-time query whose byte is on its way; a short pause decides.
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(50);
    QObject::connect(&settle, &QTimer::timeout, &app, [&controller, fd] { writeAll(fd, controller.settle()); });

    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QTimer retry; // after EIO: the other end went away; look again later
    retry.setSingleShot(true);
    retry.setInterval(250);
    QObject::connect(&retry, &QTimer::timeout, &app, [&notifier] { notifier.setEnabled(true); });
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                const QByteArray answer = controller.receive(QByteArray(buffer, int(n)));
                if (!answer.isEmpty())
                    writeAll(fd, answer);
                silence.start();
                if (controller.awaitsQueryByte())
                    settle.start();
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            // EIO (or end of file): the program closed its end of the line.
            notifier.setEnabled(false);
            retry.start();
            return;
        }
    });

    const int rc = app.exec();
    controller.silence();
    if (!link.isEmpty())
        QFile::remove(link);
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    ::close(fd);
    return rc;
}

// telvar-virtual: a virtual RC30x controller on a pseudo-terminal (or on a tty
// given on the command line). It lists every command as it arrives, answers
// the firmware and status queries and writes each job as a PNG of the paper.

#include "controller.h"
#include "line.h"
#include "netend.h"
#include "networkaddress.h"
#include "paperwindow.h"
#include "ttylink.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
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

} // namespace

int main(int argc, char *argv[])
{
    // The paper is drawn off screen; no display is needed, unless --show
    // asks for a window and there is a display to put it on.
    bool showAsked = false;
    for (int i = 1; i < argc; ++i)
        showAsked = showAsked || qstrcmp(argv[i], "--show") == 0;
    const bool haveDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !(showAsked && haveDisplay))
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
    QCommandLineOption speedOption(QStringLiteral("speed"), QStringLiteral("Print speed in mm/s at 8 dots/mm (default 80; 0: unlimited)."), QStringLiteral("mm_per_s"), QStringLiteral("80"));
    QCommandLineOption bufferOption(QStringLiteral("buffer"), QStringLiteral("Receive buffer in bytes (default 4096; 0: unbounded)."), QStringLiteral("bytes"), QStringLiteral("4096"));
    QCommandLineOption instantOption(QStringLiteral("instant"), QStringLiteral("Take every byte at once: no line speed, no buffer limit, no print speed."));
    QCommandLineOption showOption(QStringLiteral("show"), QStringLiteral("Show the paper in a window as it prints."));
    parser.addOptions({speedOption, bufferOption, instantOption, showOption});
    QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Serve raw TCP on [HOST:]PORT too, as a network receipt printer (HOST 127.0.0.1 unless given; no authentication)."), QStringLiteral("[host:]port"));
    QCommandLineOption rfc2217Option(QStringLiteral("rfc2217"), QStringLiteral("Serve Telnet with RFC 2217 on [HOST:]PORT too, as ser2net serves a serial port (HOST 127.0.0.1 unless given; no authentication)."), QStringLiteral("[host:]port"));
    QCommandLineOption noPtyOption(QStringLiteral("no-pty"), QStringLiteral("Serve the network only: no pseudo-terminal."));
    parser.addOptions({listenOption, rfc2217Option, noPtyOption});
    parser.process(app);

    Virtual::LineOptions lineOptions;
    bool speedOk = false, bufferOk = false;
    const double speed = parser.value(speedOption).toDouble(&speedOk);
    lineOptions.bufferBytes = parser.value(bufferOption).toLongLong(&bufferOk);
    if (!speedOk || speed < 0 || speed > 10000) {
        fprintf(stderr, "telvar-virtual: --speed wants millimetres a second from 0 (unlimited) to 10000, not \"%s\"\n", qPrintable(parser.value(speedOption)));
        return 2;
    }
    if (!bufferOk || lineOptions.bufferBytes < 0 || lineOptions.bufferBytes > (qint64(1) << 30)) {
        fprintf(stderr, "telvar-virtual: --buffer wants a byte count from 0 (unbounded) to 1073741824, not \"%s\"\n", qPrintable(parser.value(bufferOption)));
        return 2;
    }
    // The network ends, checked before anything is created.
    QList<std::pair<Virtual::NetworkEnd::Kind, QCommandLineOption *>> served;
    if (parser.isSet(listenOption))
        served.append({Virtual::NetworkEnd::Kind::Raw, &listenOption});
    if (parser.isSet(rfc2217Option))
        served.append({Virtual::NetworkEnd::Kind::Rfc2217, &rfc2217Option});
    QList<std::pair<QString, quint16>> listenAt;
    for (const auto &[kind, option] : served) {
        QString host, error;
        quint16 port = 0;
        if (!Network::parseListenAddress(parser.value(*option), &host, &port, &error)) {
            fprintf(stderr, "telvar-virtual: --%s wants [HOST:]PORT: %s\n", qPrintable(option->names().first()), qPrintable(error));
            return 2;
        }
        listenAt.append({host, port});
    }
    if (parser.isSet(noPtyOption) && (served.isEmpty() || !parser.positionalArguments().isEmpty())) {
        fprintf(stderr, "telvar-virtual: --no-pty serves the network only: it needs --listen or --rfc2217 and no tty\n");
        return 2;
    }
    lineOptions.rowsPerSecond = speed * 8;
    if (parser.isSet(instantOption)) {
        lineOptions.paced = false;
        lineOptions.bufferBytes = 0;
        lineOptions.rowsPerSecond = 0;
    }

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
        // Its own hardware carries the bytes at its speed.
        lineOptions.paced = false;
    } else if (!parser.isSet(noPtyOption)) {
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
    }
    std::vector<std::unique_ptr<Virtual::NetworkEnd>> networkEnds;
    for (qsizetype i = 0; i < served.size(); ++i) {
        auto end = std::make_unique<Virtual::NetworkEnd>(served.at(i).first);
        end->onListing = [&controller](const QString &text) { controller.addListing(text); };
        if (!end->listen(listenAt.at(i).first, listenAt.at(i).second)) {
            fprintf(stderr, "telvar-virtual: cannot listen on %s:%u: %s\n", qPrintable(listenAt.at(i).first),
                    unsigned(listenAt.at(i).second), qPrintable(end->errorString()));
            return 1;
        }
        printf("Virtual RC30x controller on %s\n", qPrintable(end->url()));
        printf("Type this name into the settings dialog's \"Custom\" entry: %s\n", qPrintable(end->url()));
        networkEnds.push_back(std::move(end));
    }
    if (!networkEnds.empty())
        printf("No authentication on the network: anyone who reaches the port can print; keep it to a trusted network or an SSH tunnel\n");
    printf("Pages go to %s, the listing to %s\n", qPrintable(QDir(outDir).absolutePath()), qPrintable(logPath));
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

    const int silenceMs = parser.value(silenceOption).toInt();
    Virtual::LineModel line(lineOptions);
    line.onListing = [&controller](const QString &text) { controller.addListing(text); };
    line.print = [&controller](const QByteArray &bytes) { return controller.receive(bytes); };
    line.rowsPrinted = [&controller] { return controller.rowsPrinted(); };
    controller.onUartSettings = [&line](int speedCode, int flowCode) { line.setUart(speedCode, flowCode); };
    std::unique_ptr<Virtual::TtyEnd> ttyEnd;
    QList<Virtual::LineEnd *> ends;
    if (fd >= 0) {
        ttyEnd = std::make_unique<Virtual::TtyEnd>(fd);
        ends << ttyEnd.get();
    }
    for (const auto &end : networkEnds)
        ends << end.get();
    Virtual::TtyLink ttyLink(ends, line, controller, silenceMs > 0 ? silenceMs : 2000);

    std::unique_ptr<Virtual::PaperWindow> window;
    if (parser.isSet(showOption) && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        window = std::make_unique<Virtual::PaperWindow>(controller, [&line] { return line.status(); });
        // Closing the window hides the paper; the controller goes on until Ctrl+C.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        window->show();
    } else if (parser.isSet(showOption)) {
        fprintf(stderr, "telvar-virtual: --show needs a display; the pages are written as PNGs only\n");
    }

    const int rc = app.exec();
    line.printAll();
    controller.silence();
    if (!link.isEmpty())
        QFile::remove(link);
    if (slaveKeeper >= 0)
        ::close(slaveKeeper);
    if (fd >= 0)
        ::close(fd);
    return rc;
}

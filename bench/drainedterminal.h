#ifndef TELVAR_BENCH_DRAINEDTERMINAL_H
#define TELVAR_BENCH_DRAINEDTERMINAL_H

// The far end of a fast link: a pseudo-terminal read as fast as possible by a
// thread of its own, for the rows that push megabytes (bench/linkrate_bench.cpp,
// bench/network_bench.cpp).

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace TelvarBench {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal whose far end a thread of its own drains, noting when the
// first and the last byte arrive.
class DrainedTerminal
{
public:
    DrainedTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return;
        slavePath = QString::fromLocal8Bit(::ptsname(master));
        // Raw, so that `cat` delivers its bytes unchanged; the program sets
        // its own line parameters when it opens the terminal.
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios attributes{};
        ::tcgetattr(slave, &attributes);
        ::cfmakeraw(&attributes);
        ::tcsetattr(slave, TCSANOW, &attributes);
    }
    ~DrainedTerminal()
    {
        if (reader.joinable())
            reader.join();
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    bool isOpen() const { return slave >= 0; }

    // Reads until `expected` bytes arrived or, when negative, until the line
    // has been quiet for half a second; keeps the bytes when asked to.
    void start(qint64 expected, bool keep = false)
    {
        count = 0;
        kept.clear();
        ended = false;
        reader = std::thread([=] {
            char buffer[65536];
            const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(60);
            while ((expected < 0 || count < expected) && Clock::now() < giveUp) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 500) == 0 && expected < 0 && count > 0)
                    break;
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                last = Clock::now();
                if (count == 0)
                    first = last;
                count += n;
                if (keep)
                    kept.append(buffer, n);
                // A controller's answer: written as soon as its query is in.
                if (!reply.isEmpty() && QByteArray::fromRawData(buffer, n).contains(query)) {
                    [[maybe_unused]] const ssize_t written = ::write(master, reply.constData(), size_t(reply.size()));
                }
            }
            ended = true;
            // Wake the event loop, which may be waiting for events.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        });
    }
    // Runs the event loop, from which the program sends, until the reader is
    // done; it sleeps while there is nothing to do, as the program's does.
    void finish()
    {
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        reader.join();
    }
    // Answers `query` with `reply` from the reader thread, as a controller
    // answers the Version query; set before start().
    void answer(const QByteArray &q, const QByteArray &r)
    {
        query = q;
        reply = r;
    }
    double firstToLastMs() const
    {
        return std::chrono::duration<double, std::milli>(last - first).count();
    }

    QString slavePath;
    qint64 count = 0; // written by the reader only while it runs
    QByteArray kept;
    QByteArray query, reply;
    Clock::time_point first, last;

private:
    int master = -1;
    int slave = -1;
    std::thread reader;
    std::atomic<bool> ended{true};
};

inline double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

inline QString rate(qint64 bytes, double ms)
{
    return QString::number(bytes / ms / 1000.0, 'f', 0) + QStringLiteral(" MB/s");
}

} // namespace TelvarBench

#endif

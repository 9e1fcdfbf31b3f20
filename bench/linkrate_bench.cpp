#include "bench.h"

#include "app/mainwindow.h"
#include "ptypair.h"
#include "telvartest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// Fast link: how quickly the program pushes a long raster into a terminal
// that is read as fast as possible, beside `cat` of the very same bytes into
// the same kind of terminal, alternating run by run. On a link without a baud
// limit (a USB virtual serial port) the program's own bookkeeping, such as
// repainting the transmit bar, is all that can slow it down.

namespace {

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
    double firstToLastMs() const
    {
        return std::chrono::duration<double, std::milli>(last - first).count();
    }

    QString slavePath;
    qint64 count = 0; // written by the reader only while it runs
    QByteArray kept;
    Clock::time_point first, last;

private:
    int master = -1;
    int slave = -1;
    std::thread reader;
    std::atomic<bool> ended{true};
};

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

QString rate(qint64 bytes, double ms)
{
    return QString::number(bytes / ms / 1000.0, 'f', 0) + QStringLiteral(" MB/s");
}

} // namespace

TELVAR_BENCH_GROUP("Fast link", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    QTemporaryDir dir;
    // One terminal for the program, one just like it for cat: the program's
    // port keeps its terminal to itself while open.
    DrainedTerminal line, catLine;
    if (!line.isOpen() || !catLine.isOpen() || !dir.isValid())
        return rows;

    // 384 dots by 100,000 rows, 4.8 MB: a receipt roll's worth of picture.
    QImage picture(384, 100000, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    QRandomGenerator random(17);
    for (int y = 0; y < picture.height(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(picture.scanLine(y));
        for (int word = 0; word < picture.bytesPerLine() / 4; ++word)
            row[word] = random.generate();
    }
    const QString picturePath = dir.filePath(QStringLiteral("roll.bmp"));
    if (!picture.save(picturePath) || !TelvarBench::loadPicture(window, picturePath))
        return rows;

    const auto print = [&] {
        QMetaObject::invokeMethod(&window, "on_pushButton_58PrintH_released", Qt::DirectConnection);
    };
    QMetaObject::invokeMethod(&window, "closeSerialPort", Qt::DirectConnection);
    if (!TelvarTest::connectTo(window, line.slavePath))
        return rows;

    // One run learns the bytes; cat sends exactly those.
    line.start(-1, true);
    print();
    line.finish();
    const QByteArray bytes = line.kept;
    const QString bytesPath = dir.filePath(QStringLiteral("roll.bin"));
    QFile file(bytesPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return rows;
    file.close();

    // Many short runs, each pair side by side, so that a change in the
    // machine's load hits both alike; the ratio is the median of the pairs'.
    QList<double> programHandler, programPush, programTotal, catPush, catTotal, ratios;
    bool whole = true;
    for (int i = 0; i < 21; ++i) {
        line.start(bytes.size());
        Clock::time_point start = Clock::now();
        print();
        programHandler << msSince(start, Clock::now());
        line.finish();
        programTotal << msSince(start, line.last);
        programPush << line.firstToLastMs();
        whole = whole && line.count == bytes.size();

        QProcess cat;
        cat.setStandardOutputFile(catLine.slavePath, QIODevice::Append);
        catLine.start(bytes.size());
        start = Clock::now();
        cat.start(QStringLiteral("cat"), {bytesPath});
        catLine.finish();
        cat.waitForFinished();
        catTotal << msSince(start, catLine.last);
        catPush << catLine.firstToLastMs();
        whole = whole && catLine.count == bytes.size();
        ratios << catPush.last() / programPush.last();
    }

    const double program = TelvarBench::median(programPush);
    const double reference = TelvarBench::median(catPush);
    TelvarBench::Row printRow;
    printRow.name = QStringLiteral("print 384x100000 raster, drained terminal");
    printRow.handlerMs = TelvarBench::median(programHandler);
    printRow.wireMs = TelvarBench::median(programTotal);
    printRow.bytes = bytes.size();
    printRow.note = QStringLiteral("push %1 (first to last byte), %2 of cat's rate, goal >= 0.90%3")
                        .arg(rate(bytes.size(), program))
                        .arg(TelvarBench::median(ratios), 0, 'f', 2)
                        .arg(whole ? QString() : QStringLiteral("; bytes missing"));
    TelvarBench::Row catRow;
    catRow.name = QStringLiteral("cat of the same bytes, same kind of terminal");
    catRow.wireMs = TelvarBench::median(catTotal);
    catRow.bytes = bytes.size();
    catRow.note = QStringLiteral("push %1 (first to last byte)").arg(rate(bytes.size(), reference));
    rows << printRow << catRow;

    QMetaObject::invokeMethod(&window, "closeSerialPort", Qt::DirectConnection);
    TelvarTest::connectTo(window, pty.slavePath());
    return rows;
});

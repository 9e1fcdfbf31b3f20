#include "bench.h"
#include "drainedterminal.h"

#include "app/mainwindow.h"
#include "ptypair.h"
#include "telvartest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
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

using TelvarBench::Clock;
using TelvarBench::DrainedTerminal;
using TelvarBench::msSince;
using TelvarBench::rate;

TELVAR_BENCH_GROUP("Fast link", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    QTemporaryDir dir;
    // One terminal for the program, one just like it for cat: the program's
    // port keeps its terminal to itself while open.
    DrainedTerminal line, catLine;
    if (!line.isOpen() || !catLine.isOpen() || !dir.isValid())
        return rows;

    const QString picturePath = TelvarBench::writeRoll(dir.path());
    if (picturePath.isEmpty() || !TelvarBench::loadPicture(window, picturePath))
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

#ifndef TELVAR_BENCH_H
#define TELVAR_BENCH_H

// Shared pieces of the benchmark. Every button script is measured
// automatically; a file in bench/ can add rows of its own with
// TELVAR_BENCH_GROUP, for measurements that need a set-up (a loaded image,
// a big file).

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>
#include <QTimer>

#include <functional>

class MainWindow;
class PtyPair;

namespace TelvarBench {

struct Row
{
    QString name;
    double handlerMs = -1;   // median time until the handler returned
    double wireMs = -1;      // median time until the far end had the last byte
    qint64 bytes = -1;       // bytes that reached the far end in one run
    QString note;            // anything else worth printing (memory, size)
};

// Runs `trigger` `runs` times on a connected window and measures each run:
// how long `trigger` takes to return, and how long until `expectedBytes`
// (or, when negative, everything until the line goes quiet) reached `pty`.
Row measure(const QString &name, MainWindow &window, PtyPair &pty,
            const std::function<void()> &trigger, int runs = 7, qint64 expectedBytes = -1);

double median(QList<double> values);
// The window program's start-up to its window mapped, and a bare Qt
// window's beside it, in `pairs` alternating runs.
QList<Row> startupRows(int pairs);
// Peak resident memory of this process so far, in MiB.
double peakResidentMiB();
double residentMiB();

// Loads a picture through the window's own loadFile, as the file dialog does.
bool loadPicture(MainWindow &window, const QString &path);
// Writes a 384 by 4000 checkerboard, the raster of a full-width 58 mm image
// (192,010 bytes on the line), as strip.png into `folder`; returns its path.
// Longer strips get the number of their rows in the name.
QString writeCheckerStrip(const QString &folder, int rows = 4000);
// Writes a 384 by 100,000 picture of random dots, a receipt roll's worth
// (4.8 MB on the line), as roll.bmp into `folder`; returns its path, or an
// empty string when it cannot be written.
QString writeRoll(const QString &folder);

// The longest time the event loop went without running a 1 ms timer while
// it lives, in ms.
struct StallWatch
{
    StallWatch();
    QTimer timer;
    QElapsedTimer clock;
    double longest = 0;
};

using Group = std::function<QList<Row>(MainWindow &window, PtyPair &pty)>;
struct GroupRegistrar
{
    GroupRegistrar(const char *title, Group group);
};
QList<QPair<QString, Group>> &registeredGroups();

} // namespace TelvarBench

#define TELVAR_BENCH_CONCAT2(a, b) a##b
#define TELVAR_BENCH_CONCAT(a, b) TELVAR_BENCH_CONCAT2(a, b)
// TELVAR_BENCH_GROUP("Images", [](MainWindow &w, PtyPair &pty) { ... return rows; });
#define TELVAR_BENCH_GROUP(title, ...)                                              \
    static TelvarBench::GroupRegistrar TELVAR_BENCH_CONCAT(benchGroup_, __LINE__)( \
        title, __VA_ARGS__)

#endif // TELVAR_BENCH_H

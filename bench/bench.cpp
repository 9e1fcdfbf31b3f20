#include "bench.h"

#include "app/mainwindow.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>

namespace TelvarBench {

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values.at(mid) : (values.at(mid - 1) + values.at(mid)) / 2;
}

static double statusFieldMiB(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArrayList lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

double peakResidentMiB() { return statusFieldMiB("VmHWM:"); }
double residentMiB() { return statusFieldMiB("VmRSS:"); }

bool loadPicture(MainWindow &window, const QString &path)
{
    bool loaded = false;
    QMetaObject::invokeMethod(&window, "loadFile", Qt::DirectConnection,
                              Q_RETURN_ARG(bool, loaded), Q_ARG(QString, path));
    return loaded;
}

QString writeCheckerStrip(const QString &folder, int rows)
{
    QImage strip(384, rows, QImage::Format_Mono);
    strip.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            strip.setPixel(x, y, (x / 8 + y / 8) % 2);
    const QString path = QDir(folder).filePath(
        rows == 4000 ? QStringLiteral("strip.png") : QStringLiteral("strip-%1.png").arg(rows));
    strip.save(path);
    return path;
}

QString writeRoll(const QString &folder)
{
    // 384 dots by 100,000 rows, 4.8 MB: a receipt roll's worth of picture.
    QImage picture(384, 100000, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    QRandomGenerator random(17);
    for (int y = 0; y < picture.height(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(picture.scanLine(y));
        for (int word = 0; word < picture.bytesPerLine() / 4; ++word)
            row[word] = random.generate();
    }
    const QString path = QDir(folder).filePath(QStringLiteral("roll.bmp"));
    return picture.save(path) ? path : QString();
}

Row measure(const QString &name, MainWindow &window, PtyPair &pty,
            const std::function<void()> &trigger, int runs, qint64 expectedBytes)
{
    Q_UNUSED(window);
    Row row;
    row.name = name;
    pty.readUntilQuiet(50);
    if (expectedBytes < 0) {
        // One untimed run learns how many bytes the script sends.
        trigger();
        expectedBytes = pty.readUntilQuiet(100).size();
    }
    row.bytes = expectedBytes;

    QList<double> handler, wire;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        trigger();
        handler << clock.nsecsElapsed() / 1e6;
        qint64 received = 0;
        while (received < expectedBytes && clock.elapsed() < 20000)
            received += pty.read(expectedBytes - received, 20000 - int(clock.elapsed())).size();
        wire << clock.nsecsElapsed() / 1e6;
        if (received != expectedBytes)
            row.note = QStringLiteral("only %1 bytes arrived").arg(received);
        pty.readUntilQuiet(30);
    }
    row.handlerMs = median(handler);
    row.wireMs = median(wire);
    return row;
}

StallWatch::StallWatch()
{
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [this] {
        longest = qMax(longest, clock.nsecsElapsed() / 1e6);
        clock.restart();
    });
    clock.start();
    timer.start();
}

GroupRegistrar::GroupRegistrar(const char *title, Group group)
{
    registeredGroups().append({QString::fromUtf8(title), std::move(group)});
}

QList<QPair<QString, Group>> &registeredGroups()
{
    static QList<QPair<QString, Group>> groups;
    return groups;
}

} // namespace TelvarBench

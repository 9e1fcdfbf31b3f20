#include "bench.h"

#include "app/mainwindow.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>

// Image rows: reading and reducing a camera-sized photograph, and printing a
// picture as long as a receipt.

namespace {

// Starts a fresh peak-memory measurement from the current resident size.
void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Smooth shading with grain, so the encoder and the dithering work as hard as
// on a real photograph.
QImage photographLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(4711);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(48)) - 24;
            const int r = qBound(0, (x * 255 / width + grain), 255);
            const int g = qBound(0, (y * 255 / height + grain), 255);
            const int b = qBound(0, ((x + y) % 512 / 2 + grain), 255);
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

bool loadFile(MainWindow &window, const QString &path)
{
    bool loaded = false;
    QMetaObject::invokeMethod(&window, "loadFile", Qt::DirectConnection,
                              Q_RETURN_ARG(bool, loaded), Q_ARG(QString, path));
    return loaded;
}

} // namespace

TELVAR_BENCH_GROUP("Images", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
    {
        QImageWriter writer(photo, "jpeg");
        writer.setQuality(90);
        writer.write(photographLike(4000, 3000));
    }

    TelvarBench::Row load;
    load.name = QStringLiteral("load + reduce 4000x3000 JPEG");
    QList<double> times;
    double peak = 0;
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        resetPeakResident();
        QElapsedTimer clock;
        clock.start();
        ok = loadFile(window, photo) && ok;
        times << clock.nsecsElapsed() / 1e6;
        peak = qMax(peak, TelvarBench::peakResidentMiB());
    }
    load.handlerMs = TelvarBench::median(times);
    load.bytes = QFile(photo).size();
    load.note = ok ? QStringLiteral("peak resident %1 MiB").arg(peak, 0, 'f', 0)
                   : QStringLiteral("did not load");
    rows << load;

    // 384 dots wide, 4000 rows: 48 bytes a row, one command.
    QImage strip(384, 4000, QImage::Format_Mono);
    strip.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            strip.setPixel(x, y, (x / 8 + y / 8) % 2);
    const QString stripPath = dir.filePath(QStringLiteral("strip.png"));
    strip.save(stripPath);
    if (loadFile(window, stripPath)) {
        rows << TelvarBench::measure(
            QStringLiteral("print 384x4000 raster"), window, pty,
            [&] {
                QMetaObject::invokeMethod(&window, "on_pushButton_58PrintH_released",
                                          Qt::DirectConnection);
            },
            7, 2 + 8 + 48 * 4000);
    }
    return rows;
});

#include "bench.h"

#include "app/mainwindow.h"
#include "imaging/dithering.h"
#include "ptypair.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

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
        ok = TelvarBench::loadPicture(window, photo) && ok;
        times << clock.nsecsElapsed() / 1e6;
        peak = qMax(peak, TelvarBench::peakResidentMiB());
    }
    load.handlerMs = TelvarBench::median(times);
    load.bytes = QFile(photo).size();
    load.note = ok ? QStringLiteral("peak resident %1 MiB").arg(peak, 0, 'f', 0)
                   : QStringLiteral("did not load");
    rows << load;

    // 384 dots wide, 4000 rows: 48 bytes a row, one command.
    if (TelvarBench::loadPicture(window, TelvarBench::writeCheckerStrip(dir.path()))) {
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

// Loading pictures the way a user does, each measurement in a process of its
// own so that its peak resident memory is its own: a bare Qt read with Qt's
// reduction as the floor, then the tab's loading with and without "Fit to
// print width", and a change of dithering on a loaded picture.

namespace {

void setFit(MainWindow &window, bool on)
{
    window.findChild<QCheckBox *>(QStringLiteral("checkBoxFitWidth"))->setChecked(on);
}

// One row, run in this process: prints "<peak MiB> <before MiB> <ms of each run>".
int pictureProbe(const QString &what, const QString &path)
{
    MainWindow window;
    const int runs = what == QLatin1String("dithering") ? 9 : 3;
    QList<double> times;
    double peak = 0;
    const double before = TelvarBench::residentMiB();
    auto *dithering = window.findChild<QComboBox *>(QStringLiteral("comboBoxDithering"));
    if (what == QLatin1String("dithering")) {
        setFit(window, true);
        if (!TelvarBench::loadPicture(window, path))
            return 1;
    }
    for (int i = 0; i < runs; ++i) {
        resetPeakResident();
        QElapsedTimer clock;
        clock.start();
        bool ok = true;
        if (what == QLatin1String("floor")) {
            QImageReader::setAllocationLimit(1024); // Qt's 128 MB refuses the 8000x6000
            QImageReader reader(path);
            ok = !reader.read().convertToFormat(QImage::Format_Mono).isNull();
        } else if (what == QLatin1String("decoder")) {
            // What the JPEG decoder alone takes to hand out the fitted size.
            QImageReader reader(path);
            reader.setScaledSize(fittedSize(reader.size(), printHeadDots));
            ok = !reader.read().isNull();
        } else if (what == QLatin1String("dithering")) {
            dithering->setCurrentIndex(i % 2 ? 3 : 4); // Atkinson, Floyd-Steinberg
        } else {
            setFit(window, what == QLatin1String("fitted"));
            ok = TelvarBench::loadPicture(window, path);
        }
        times << clock.nsecsElapsed() / 1e6;
        peak = qMax(peak, TelvarBench::peakResidentMiB());
        if (!ok)
            return 1;
    }
    std::printf("%.1f %.1f", peak, before);
    for (double ms : times)
        std::printf(" %.2f", ms);
    std::printf("\n");
    return 0;
}

} // namespace

int picturesProbe(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    QApplication app(argc, argv);
    return pictureProbe(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
}

TELVAR_BENCH_GROUP("Pictures: fit, dithering, large files", [](MainWindow &, PtyPair &) {
    QList<TelvarBench::Row> rows;
    QTemporaryDir dir;
    const auto photo = [&](const char *name, int width, int height) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        writer.write(photographLike(width, height));
        return path;
    };
    const QString photo12 = photo("photo12.jpg", 4000, 3000);
    const QString photo48 = photo("photo48.jpg", 8000, 6000);

    // The rows take turns, three rounds of three runs each, so that a busy
    // moment of the machine falls on all of them alike.
    struct Probe
    {
        QString name;
        const char *what;
        QString path;
        QString target;
    };
    struct Measured
    {
        QList<double> times;
        double peak = -1, before = -1;
    };
    QList<Probe> probes{
        {QStringLiteral("4000x3000 JPEG: bare Qt read + Format_Mono"), "floor", photo12,
         QStringLiteral("the reference")},
        {QStringLiteral("4000x3000 JPEG: Qt's scaled read alone"), "decoder", photo12,
         QStringLiteral("what the decoder needs, for comparison")},
        {QStringLiteral("4000x3000 JPEG: load, fitted"), "fitted", photo12,
         QStringLiteral("<= 0.3x floor, <= 40 MB peak")},
        {QStringLiteral("4000x3000 JPEG: load, not fitted"), "full", photo12,
         QStringLiteral("<= 1.1x floor")},
        {QStringLiteral("8000x6000 JPEG: bare Qt read + Format_Mono"), "floor", photo48,
         QStringLiteral("the reference, read with Qt's limit raised")},
        {QStringLiteral("8000x6000 JPEG: Qt's scaled read alone"), "decoder", photo48,
         QStringLiteral("what the decoder needs, for comparison")},
        {QStringLiteral("8000x6000 JPEG: load, fitted"), "fitted", photo48,
         QStringLiteral("< 150 ms")},
        {QStringLiteral("change of dithering, 384x288 fitted photo"), "dithering", photo12,
         QStringLiteral("< 100 ms")},
    };
    QList<Measured> measured(probes.size());
    for (int round = 0; round < 3; ++round) {
        for (qsizetype p = 0; p < probes.size(); ++p) {
            const Probe &probe = probes[p];
            Measured &result = measured[p];
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--pictures-probe"), QString::fromLatin1(probe.what),
                         probe.path});
            const QList<QByteArray> fields = child.waitForFinished(120000) && child.exitCode() == 0
                ? child.readAllStandardOutput().trimmed().split(' ')
                : QList<QByteArray>();
            if (fields.size() < 3)
                continue;
            for (qsizetype i = 2; i < fields.size(); ++i)
                result.times << fields[i].toDouble();
            result.peak = qMax(result.peak, fields[0].toDouble());
            result.before = fields[1].toDouble();
        }
    }
    double floorMs = -1;
    for (qsizetype p = 0; p < probes.size(); ++p) {
        const Probe &probe = probes[p];
        const Measured &result = measured[p];
        TelvarBench::Row row;
        row.name = probe.name;
        row.bytes = QFile(probe.path).size();
        if (result.times.isEmpty()) {
            row.note = QStringLiteral("did not run");
            rows << row;
            continue;
        }
        row.handlerMs = TelvarBench::median(result.times);
        const bool isFloor = qstrcmp(probe.what, "floor") == 0;
        if (isFloor)
            floorMs = row.handlerMs;
        const QString ratio = !isFloor && floorMs > 0 && qstrcmp(probe.what, "dithering") != 0
            ? QStringLiteral("%1x floor, ").arg(row.handlerMs / floorMs, 0, 'f', 2)
            : QString();
        row.note = QStringLiteral("%1peak %2 MiB (%3 before); target %4")
                       .arg(ratio)
                       .arg(result.peak, 0, 'f', 1)
                       .arg(result.before, 0, 'f', 1)
                       .arg(probe.target);
        rows << row;
    }
    return rows;
});

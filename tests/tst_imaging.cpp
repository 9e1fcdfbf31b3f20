// The Bitmaps tab: the load dialog, pictures of any format and size, files that are not pictures,
// the conversion options, drag and drop and paste. What is printed is read back from the far end of
// the line and compared with the picture each file was drawn from, or with the preview.

#include "imaging/dithering.h"
#include "telvartest.h"

#include <QTest>
#include <QtWidgets>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace TelvarTest;

namespace {

// Asymmetric within bytes (a mirrored or inverted byte shows), edge columns dark (fill bits, last dot).
bool dark(int x, int y, int width) { return x == 0 || x == width - 1 || (x * 3 + y * 5) % 7 < 2; }

// What the controller must receive for a picture: a reset, then rows of whole 32-bit words, MSB the
// leftmost dot, a dark pixel a 1, fill bits 0, at most 65535 rows per raster command.
QByteArray printed(const QImage &picture)
{
    const int bpr = (picture.width() + 31) / 32 * 4;
    QByteArray out = QByteArray::fromHex("1b40");
    for (int top = 0; top < picture.height(); top += 65535) {
        const int band = qMin(65535, picture.height() - top);
        out += QByteArray::fromHex("1d763000") + char(bpr) + char(bpr >> 8) + char(band) + char(band >> 8);
        for (int y = top; y < top + band; ++y) {
            QByteArray row(bpr, '\0');
            for (int x = 0; x < picture.width(); ++x)
                row[x / 8] = char(row[x / 8] | (qGray(picture.pixel(x, y)) < 128 ? 0x80 >> (x % 8) : 0));
            out += row;
        }
    }
    return out;
}

// The pattern drawn. For Format_Mono paper and ink are palette indexes (paper 1: black first), and all
// fill bits are set.
QImage drawn(QSize size, QImage::Format format, uint paper = qRgb(255, 255, 255), uint ink = qRgb(0, 0, 0))
{
    QImage image(size, format);
    if (format == QImage::Format_Mono) // index `paper` white
        image.setColorTable({paper ? 0xff000000 : 0xffffffff, paper ? 0xffffffff : 0xff000000});
    image.fill(~0u);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, dark(x, y, size.width()) ? ink : paper);
    return image;
}

QImage mono(int w, int h, bool blackAt0) { return drawn({w, h}, QImage::Format_Mono, blackAt0, !blackAt0); }

// Shading in both directions with a transparent corner: every dithering has something to do.
QImage shaded(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgba(x * 255 / size.width(), y * 255 / size.height(), 90,
                                       x < 20 && y < 20 ? 0 : 255));
    return image;
}

QImage flatGrey(QSize size, int grey)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(grey, grey, grey));
    return image;
}

// Grey rising by one per column from 0, the same in every row.
QImage ramp()
{
    QImage image(256, 8, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 256; ++x)
            image.scanLine(y)[x] = uchar(x);
    return image;
}

// Bayer's matrix built the recursive way, M(2n) = [4M, 4M+2; 4M+3, 4M+1], not copied from a table.
int bayerRank(int x, int y, int size = 8)
{
    if (size == 1)
        return 0;
    const int half = size / 2, quadrant[2][2] = {{0, 2}, {3, 1}};
    return 4 * bayerRank(x % half, y % half, half) + quadrant[y / half][x / half];
}

// The dots of a printable image as '1' (printed) and '0', row after row; or those of its fill bits.
QByteArray dotsOf(const QImage &dots, bool fill = false)
{
    QByteArray out;
    for (int y = 0; y < dots.height(); ++y)
        for (int x = fill ? dots.width() : 0; x < (fill ? dots.bytesPerLine() * 8 : dots.width()); ++x)
            out += dots.constScanLine(y)[x / 8] & (0x80 >> (x % 8)) ? '1' : '0';
    return out;
}

QImage preview(MainWindow &window)
{
    const auto *label = qobject_cast<QLabel *>(window.findChild<QScrollArea *>("scrollArea")->widget());
    return label->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

// Prints the loaded picture: exactly what the preview shows must arrive. Empty when it does, else where not.
QString printsPreview(ConnectedWindow &cw)
{
    const QByteArray expected = printed(preview(cw.window));
    click(cw.window, "pushButton_58PrintH");
    const QByteArray got = cw.pty.read(expected.size(), 20000);
    return firstDifference(got + cw.pty.readUntilQuiet(50), expected);
}

// Mostly dots around (x, y): a flat colour dithered shows as its share of dots.
bool darkAround(const QImage &shown, int x, int y)
{
    int dark = 0;
    for (int dy = -8; dy < 8; ++dy)
        for (int dx = -8; dx < 8; ++dx)
            dark += qGray(shown.pixel(qBound(0, x + dx, shown.width() - 1), qBound(0, y + dy, shown.height() - 1)))
                < 128;
    return dark > 128;
}

QByteArray be32(quint32 v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray chunk = QByteArray(type) + data;
    quint32 crc = 0xFFFFFFFF;
    for (char c : chunk) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
    }
    return be32(quint32(data.size())) + chunk + be32(~crc);
}

// A well-formed PNG whose header claims `size`; its data is a few bytes.
QByteArray lyingPng(QSize size)
{
    return QByteArray::fromHex("89504e470d0a1a0a")
        + pngChunk("IHDR", be32(size.width()) + be32(size.height()) + QByteArray::fromHex("0802000000"))
        + pngChunk("IDAT", qCompress(QByteArray(64, '\0')).mid(4)) + pngChunk("IEND", {});
}

struct Options
{
    bool fit = false;
    QString dithering = QStringLiteral("Error diffusion (default)");
    int level = 128;
    bool invert = false;
};

} // namespace
Q_DECLARE_METATYPE(Options)
namespace {

// Sets the options as a user would, each change converting the loaded picture again.
void choose(MainWindow &window, const Options &options)
{
    window.findChild<QCheckBox *>("checkBoxFitWidth")->setChecked(options.fit);
    auto *dithering = window.findChild<QComboBox *>("comboBoxDithering");
    dithering->setCurrentIndex(dithering->findText(options.dithering));
    window.findChild<QSpinBox *>("spinBoxLevel")->setValue(options.level);
    window.findChild<QCheckBox *>("checkBoxInvert")->setChecked(options.invert);
}

bool load(MainWindow &window, const QString &path)
{
    bool loaded = false;
    QMetaObject::invokeMethod(&window, "loadFile", Qt::DirectConnection, Q_RETURN_ARG(bool, loaded),
                              Q_ARG(QString, path));
    return loaded;
}

// Clicks Load and answers each dialog (empty: cancel). Returns each one's folder, filter, then all filters.
QList<QStringList> clickLoad(MainWindow &window, QStringList answers)
{
    QList<QStringList> seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            seen.append(QStringList{dialog->directory().absolutePath(), dialog->selectedMimeTypeFilter()}
                        + dialog->mimeTypeFilters());
            const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
            // Chosen (clearing an earlier choice) and typed (with the name field focused only that counts).
            dialog->selectFile(answer);
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(answer);
            answer.isEmpty() ? dialog->reject() : static_cast<QDialog *>(dialog)->accept();
        }
    });
    timer.start(5);
    click(window, "pushButton_Load");
    return seen;
}

// The log of a picture loaded: what it is called, its printed size, and whether it was converted.
QString opened(const QString &name, QSize s, bool converted)
{
    return QString("Loading image:\n%1Opened \"%2\"\nWidth: %3 pixel\nHeight: %4 pixel\nColor depth: 1\n"
                   "Bytes: %5\n")
        .arg(converted ? "Bitmap is not 1bpp (mono) trying to convert...\n" : "", name)
        .arg(s.width()).arg(s.height()).arg((s.width() + 31) / 32 * 4 * s.height());
}

} // namespace

class tst_Imaging : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_jpeg48, m_png64, m_strip; // made once per run: 8000x6000, 8000x8000, 384x100000

    QString save(const char *name, const QImage &image, int quality = -1)
    {
        QImageWriter writer(m_dir.filePath(name));
        writer.setQuality(quality);
        return writer.write(image) ? writer.fileName() : QString();
    }

    QString write(const char *name, const QByteArray &bytes)
    {
        QFile out(m_dir.filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() ? out.fileName() : QString();
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression("No matching signal")); }
    // Qt converts and scales large pictures on its thread pool, whose idle
    // threads end on their own after a while: end them before the program
    // does, so that none is halfway gone when the leak checker stops them all.
    void cleanupTestCase() { QThreadPool::globalInstance()->waitForDone(); }

    // Must run first: only the first dialog of a run opens in the user's pictures folder.
    void loadDialog()
    {
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        const QString pics = m_dir.filePath("Pictures"), path = save("first.png", mono(40, 10, false));
        QVERIFY(QDir().mkpath(pics));
        const QStringList bad{write("notes.png", "a shopping list\n"), write("empty.bmp", QByteArray()),
                              save("cut.png", drawn({64, 64}, QImage::Format_RGB32)),
                              write("giant.xbm", "#define g_width 100000\n#define g_height 100000\n"
                                                 "static char g_bits[] = { 0x00 };\n")};
        QVERIFY(QFile::resize(bad[2], QFileInfo(bad[2]).size() / 2));
        ConnectedWindow cw;
        BoxCatcher catcher;
        setLog(cw.window, "cleared");
        const QStringList types = QString(QImageReader::supportedMimeTypes().join(' ')).split(' ');
        QCOMPARE(clickLoad(cw.window, {path}), QList<QStringList>{QStringList({pics, "image/bmp"}) + types});
        QCOMPARE(logText(cw.window), opened(path, {40, 10}, false));

        // Later dialogs open where the last was left; a bad file: its box, the dialog again; cancel keeps it.
        const QList<QStringList> again = clickLoad(cw.window, bad + QStringList{QString()});
        QCOMPARE(again.size(), bad.size() + 1);
        QVERIFY(again.first().first() != pics);
        QCOMPARE(catcher.boxes.size(), bad.size());
        for (int i = 0; i < bad.size(); ++i) {
            QImageReader reference(bad[i]);
            reference.read();
            QCOMPARE(catcher.boxes[i].title, QGuiApplication::applicationDisplayName());
            QCOMPARE(catcher.boxes[i].text, "Cannot load " + bad[i] + ": " + reference.errorString());
            QCOMPARE(catcher.boxes[i].icon, int(QMessageBox::Information));
        }
        QCOMPARE(logText(cw.window), QString("Loading image:").repeated(bad.size()));
        QCOMPARE(preview(cw.window), drawn({40, 10}, QImage::Format_RGB32));
        QCOMPARE(cw.window.windowFilePath(), path);
        click(cw.window, "pushButton_58PrintH");
        QCOMPARE(cw.pty.readUntilQuiet().toHex(), printed(drawn({40, 10}, QImage::Format_RGB32)).toHex());
    }

    // Each format and palette order, printed as drawn; and the print's refusals.
    void printButtons_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("seen"); // the log pane after the click, then the box
        const QByteArray print("pushButton_58PrintH"), none;
        const QString why = QStringLiteral("Validating if Bitmap can be printed\n");
        const auto row = [&](const char *name, const QImage &image) {
            QTest::newRow(name) << save(name, image) << print << printed(drawn(image.size(), QImage::Format_RGB32))
                                << why + "Validating bitmap...|";
        };
        row("rgb.png", drawn({200, 100}, QImage::Format_RGB32));
        row("white.png", mono(100, 50, false));
        row("black.png", mono(100, 50, true));
        row("white.bmp", mono(100, 50, false));
        row("black.bmp", mono(100, 50, true));
        row("lsb.xbm", mono(100, 50, false));
        row("transparent.png", drawn({100, 50}, QImage::Format_ARGB32, qRgba(0, 0, 0, 0)));
        row("grey.png", drawn({384, 94}, QImage::Format_Grayscale8));
        row("tall.png", mono(8, 70000, true)); // 65535 rows, then a second command
        QTest::newRow("nothing loaded") << QString() << print << none
                                        << why + "No Bitmap loaded|Print Bitmap: No Bitmap loaded!";
        QTest::newRow("385 wide") << save("wide.png", mono(385, 10, false)) << print << none
                                  << why + "Bitmap too wide. Max 384 pixels|Print Bitmap: This tool allows "
                                           "printing only for bitmaps of up to 384 pixel wide!";
        QTest::newRow("Line Feed") << QString() << QByteArray("pushButton_LineFeed") << QByteArray("\n")
                                   << QString("kept|");
    }

    void printButtons()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, wire);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        if (!path.isEmpty()) {
            const QImage source(path);
            QCOMPARE(clickLoad(cw.window, {path}).size(), 1);
            QCOMPARE(logText(cw.window), opened(path, source.size(), source.depth() > 1));
            QCOMPARE(preview(cw.window), drawn(source.size(), QImage::Format_RGB32));
        }
        setLog(cw.window, "kept");
        BoxCatcher catcher;
        click(cw.window, button.constData());
        const QByteArray got = cw.pty.read(wire.size());
        QVERIFY2(firstDifference(got, wire).isEmpty(), qPrintable(firstDifference(got, wire)));
        QCOMPARE(cw.pty.readUntilQuiet(200), QByteArray());
        QString seen = logText(cw.window) + '|';
        for (const SeenBox &box : catcher.boxes)
            seen += box.title + ": " + box.text;
        QTEST(seen, "seen");
    }

    // Each dithering against a rule worked out here: the dots it must print, or the share of dots.
    void ditherings_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<int>("dithering");
        QTest::addColumn<int>("level");
        QTest::addColumn<QImage>("expected"); // exact dots, or null to check the share only
        QTest::addColumn<double>("share");    // of all dots printed, within 2 %
        const auto rule = [](QSize size, const std::function<bool(int, int)> &dark) {
            QImage dots(size, QImage::Format_Mono);
            dots.fill(0);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    dots.scanLine(y)[x / 8] |= dark(x, y) ? 0x80 >> (x % 8) : 0;
            return dots;
        };
        const auto bayer = rule({64, 64}, [](int x, int y) { return bayerRank(x % 8, y % 8) >= 32; });
        for (int level : {0, 1, 100, 128, 255}) {
            QTest::addRow("threshold %d on a ramp", level) << ramp() << int(Dithering::Threshold) << level
                << rule({256, 8}, [=](int x, int) { return x < level; }) << level / 256.0;
        }
        const int ordered = int(Dithering::Ordered);
        QTest::newRow("ordered on 50 % grey") << flatGrey({64, 64}, 128) << ordered << 128 << bayer << 0.5;
        QTest::newRow("ordered on white") << flatGrey({64, 8}, 255) << ordered << 128
                                         << rule({64, 8}, [](int, int) { return false; }) << 0.0;
        QTest::newRow("ordered on black") << flatGrey({64, 8}, 0) << ordered << 128
                                         << rule({64, 8}, [](int, int) { return true; }) << 1.0;
        QTest::newRow("ordered ignores the level") << flatGrey({64, 64}, 128) << ordered << 10 << bayer << 0.5;
        for (int grey : {191, 128, 64}) {
            QTest::addRow("floyd-steinberg on grey %d", grey) << flatGrey({384, 256}, grey)
                << int(Dithering::FloydSteinberg) << 128 << QImage() << 1 - grey / 255.0;
        }
        // Atkinson keeps only six eighths of the error: true to the tone in the middle only (see below).
        QTest::newRow("atkinson on grey 128") << flatGrey({384, 256}, 128) << int(Dithering::Atkinson) << 128
                                              << QImage() << 0.5;
        QImage clear(200, 50, QImage::Format_ARGB32);
        clear.fill(qRgba(0, 0, 0, 0));
        QTest::newRow("transparent black is paper") << clear << int(Dithering::Atkinson) << 128
                                                    << rule({200, 50}, [](int, int) { return false; }) << 0.0;
    }

    void ditherings()
    {
        QFETCH(QImage, picture);
        QFETCH(int, dithering);
        QFETCH(int, level);
        QFETCH(QImage, expected);
        QFETCH(double, share);
        ConversionOptions options;
        options.dithering = Dithering(dithering);
        options.level = level;
        const QImage dots = printableImage(picture, options);
        QCOMPARE(dots.size(), picture.size());
        QVERIFY(!dotsOf(dots, true).contains('1'));
        const QByteArray got = dotsOf(dots);
        const double ink = double(got.count('1')) / got.size();
        QVERIFY2(qAbs(ink - share) <= 0.02, qPrintable(QString::number(ink)));
        if (!expected.isNull())
            QCOMPARE(got, dotsOf(expected));
        // Invert swaps every dot of the same conversion and leaves the fill blank.
        options.invert = true;
        const QImage inverted = printableImage(picture, options);
        QVERIFY(!dotsOf(inverted, true).contains('1'));
        QByteArray swapped = got;
        for (char &dot : swapped)
            dot ^= 1;
        QCOMPARE(dotsOf(inverted), swapped);
    }

    // Atkinson's lost error leaves light greys lighter and dark greys darker than they are, the same
    // amount both ways: at 25 % ink it prints clearly fewer dots, at 75 % as many more.
    void atkinsonTone()
    {
        ConversionOptions options;
        options.dithering = Dithering::Atkinson;
        const auto share = [&](int grey) {
            return double(dotsOf(printableImage(flatGrey({384, 256}, grey), options)).count('1')) / (384 * 256);
        };
        const double light = share(191), dark = share(64);
        QVERIFY2(light > 0.125 && light < 0.23, qPrintable(QString::number(light)));
        QVERIFY2(qAbs(dark - (1 - light)) < 0.005, qPrintable(QString::number(dark)));
    }

    // On the real window: the options as a user sets them, then Print; the preview is what arrives.
    void previewIsWhatPrints_data()
    {
        QTest::addColumn<Options>("options");
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QString>("line"); // the log line the last change wrote
        const QStringList names{"Error diffusion (default)", "Threshold", "Ordered 8x8", "Atkinson", "Floyd-Steinberg"};
        const QStringList logged{"Error diffusion", "Threshold at 100", "Ordered 8x8", "Atkinson", "Floyd-Steinberg"};
        for (int i = 0; i < names.size(); ++i) {
            for (bool fit : {false, true}) {
                Options options{fit, names[i], 100, i % 2 == 1};
                QTest::addRow("%s%s%s", qPrintable(names[i]), fit ? ", fitted" : "", options.invert ? ", inverted" : "")
                    << options << (fit ? QSize(480, 300) : QSize(300, 200))
                    << QString("Converted: %1%2, %3").arg(logged[i], options.invert ? ", inverted" : "",
                                                          fit ? "fitted to 384 x 240" : "300 x 200");
            }
        }
    }

    void previewIsWhatPrints()
    {
        QFETCH(Options, options);
        QFETCH(QSize, source);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        QVERIFY(load(cw.window, save("shaded.png", shaded(source))));
        const QImage first = preview(cw.window);
        QCOMPARE(first.size(), source);
        choose(cw.window, options);
        QTEST(logText(cw.window).split('\n').last(), "line");
        const QImage shown = preview(cw.window);
        QCOMPARE(shown.size(), options.fit ? QSize(384, 240) : source);
        if (options.fit || options.invert || options.dithering != Options().dithering)
            QVERIFY(shown != first);
        const QString difference = printsPreview(cw);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        // Back to the defaults: converted again from the picture, not from the dots shown before.
        choose(cw.window, Options());
        QCOMPARE(preview(cw.window), first);
    }

    // A picture wider than the head is not held unfitted: each change reads its file again.
    void widePictureReadAgain()
    {
        const QString path = save("wide.png", shaded({480, 300}));
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        QVERIFY(load(cw.window, path));
        choose(cw.window, Options{false, "Atkinson"});
        ConversionOptions atkinson;
        atkinson.dithering = Dithering::Atkinson;
        QCOMPARE(preview(cw.window), printableImage(QImage(path), atkinson).convertToFormat(QImage::Format_RGB32));
        choose(cw.window, Options{true, "Atkinson"});
        QCOMPARE(preview(cw.window).size(), QSize(384, 240));
        QVERIFY(QFile::remove(path));
        BoxCatcher catcher;
        choose(cw.window, Options{false, "Atkinson"});
        QCOMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes[0].text, "Cannot load " + path + ": File not found");
        QCOMPARE(preview(cw.window).size(), QSize(384, 240));
    }

    // Pictures of any size, fitted to the head or not: wider ones scaled keeping their proportions,
    // narrower ones left alone, those past Qt's 128 MB default loaded all the same. The picture shows
    // in the preview the right way up, and what fits the head prints, the long strip in two commands.
    void pictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("shade"); // dark (D) or light (L) above, then below; empty: either
        if (m_strip.isEmpty()) {
            // Flat areas and straight edges: cheap to encode and decode, still past Qt's default limit.
            QImage photo(8000, 6000, QImage::Format_RGB32);
            photo.fill(qRgb(230, 200, 170));
            QPainter(&photo).fillRect(0, 3000, 8000, 3000, QColor(20, 40, 60));
            m_jpeg48 = save("camera.jpg", photo, 80);
            QVERIFY(!save("photo.jpg", photo.copy(0, 1500, 4000, 3000), 80).isEmpty());
            QImage square(8000, 8000, QImage::Format_RGB32);
            square.fill(qRgb(250, 250, 250));
            QPainter(&square).fillRect(0, 0, 8000, 2000, Qt::black);
            m_png64 = save("square.png", square, 80); // zlib level 1
            QImage strip(384, 100000, QImage::Format_Mono);
            strip.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            strip.fill(0);
            for (int y = 0; y < strip.height(); y += 1000)
                memset(strip.scanLine(y), 0xFF, 48);
            m_strip = save("strip.png", strip);
            QImageWriter turned(m_dir.filePath("turned.jpg"));
            turned.setTransformation(QImageIOHandler::TransformationRotate90);
            QVERIFY(turned.write(shaded({1200, 800}).convertToFormat(QImage::Format_RGB32)));
            QVERIFY(!m_jpeg48.isEmpty() && !m_png64.isEmpty() && !m_strip.isEmpty());
        }
        QTest::newRow("4000x3000 JPEG") << m_dir.filePath("photo.jpg") << true << QSize(384, 288) << "LD";
        QTest::newRow("200x100 stays") << save("small.png", shaded({200, 100})) << true << QSize(200, 100) << "DL";
        QTest::newRow("1000x10") << save("band.png", shaded({1000, 10})) << true << QSize(384, 4) << "";
        // Stored 1200x800 with the camera's "turn right" mark: upright it is 800x1200, its left edge on top.
        QTest::newRow("turned JPEG") << m_dir.filePath("turned.jpg") << true << QSize(384, 576) << "DL";
        QTest::newRow("8000x6000 JPEG") << m_jpeg48 << false << QSize(8000, 6000) << "LD";
        QTest::newRow("8000x6000 JPEG fitted") << m_jpeg48 << true << QSize(384, 288) << "LD";
        QTest::newRow("8000x8000 PNG") << m_png64 << false << QSize(8000, 8000) << "DL";
        QTest::newRow("8000x8000 PNG fitted") << m_png64 << true << QSize(384, 384) << "DL";
        QTest::newRow("384x100000 one-bit PNG") << m_strip << false << QSize(384, 100000) << "LL";
    }

    void pictures()
    {
        QFETCH(QString, path);
        QFETCH(bool, fit);
        QFETCH(QSize, size);
        QFETCH(QString, shade);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        choose(cw.window, Options{fit});
        setLog(cw.window, QString());
        BoxCatcher catcher;
        QVERIFY(load(cw.window, path));
        QCOMPARE(catcher.boxes.size(), 0);
        const QSize stored = QImageReader(path).size();
        const bool converted = QImage::toPixelFormat(QImageReader(path).imageFormat()).bitsPerPixel() > 1;
        QCOMPARE(logText(cw.window), opened(path, size, converted) + (fit ? "\nConverted: Error diffusion, " : "")
                     + (fit && stored.width() > 384 ? "fitted to " : "")
                     + (fit ? QString("%1 x %2").arg(size.width()).arg(size.height()) : ""));
        const QImage shown = preview(cw.window);
        QCOMPARE(shown.size(), size);
        if (!shade.isEmpty()) {
            QCOMPARE(QString(darkAround(shown, size.width() / 2, size.height() / 8) ? "D" : "L")
                         + (darkAround(shown, size.width() / 2, size.height() * 7 / 8) ? "D" : "L"),
                     shade);
        }
        const QString difference = size.width() <= 384 ? printsPreview(cw) : QString();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // Refused at once, with the reason as the box's second part; nothing kept changes.
    void refusals_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QString>("reason");
        const QString huge = write("huge.png", lyingPng({100000, 100000}));
        QTest::newRow("PNG claiming 100000x100000") << huge << false
            << "the picture is 100000 x 100000 pixels; it needs 37.3 GB to decode, more than 1 GiB";
        QTest::newRow("the same, fitted") << huge << true
            << "the picture is 100000 x 100000 pixels; it needs 37.3 GB to decode, more than 1 GiB";
        QTest::newRow("PNG claiming 30000x30000") << write("big.png", lyingPng({30000, 30000})) << false
            << "the picture is 30000 x 30000 pixels; it needs 3.4 GB to decode, more than 1 GiB";
        // Within the limit by its header, but the data is missing: the decoder's own words.
        QTest::newRow("PNG claiming 9000x9000") << write("short.png", lyingPng({9000, 9000})) << false
                                                << "Unable to read image data";
        const QString fifo = m_dir.filePath("pipe.png");
        QTest::newRow("named pipe") << (mkfifo(QFile::encodeName(fifo), 0600) == 0 ? fifo : QString()) << false
                                    << "it is a named pipe, not a picture file";
        QTest::newRow("device") << QString("/dev/zero") << false << "it is a device, not a picture file";
        // A socket file, as a local server leaves it.
        const QString socket = m_dir.filePath("socket.png");
        QProcess::execute("/usr/bin/python3",
                          {"-c", "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])", socket});
        QTest::newRow("socket") << (QFileInfo(socket).exists() ? socket : QString()) << false
                                << "it is a socket, not a picture file";
        QTest::newRow("folder") << m_dir.path() << false << "it is a folder, not a picture file";
        QTest::newRow("missing") << m_dir.filePath("missing.png") << true << "File not found";
        // As root this row runs in a child of this program as the user nobody.
        const QString secret = save("secret.png", shaded({40, 10}));
        QVERIFY(QFile::setPermissions(secret, QFileDevice::WriteOwner));
        QTest::newRow("unreadable") << secret << false << "Permission denied";
    }

    void refusals()
    {
        QFETCH(QString, path);
        QFETCH(bool, fit);
        QFETCH(QString, reason);
        QVERIFY(!path.isEmpty());
        if (QTest::currentDataTag() == QLatin1String("unreadable") && ::geteuid() == 0)
            return asNobody("refusals:unreadable");
        // Were the pipe opened for reading, this writer would let the open return after three seconds.
        std::atomic<bool> done{false};
        std::thread writer([&] {
            for (int i = 0; i < 300 && !done; ++i)
                QThread::msleep(10);
            const int fd = ::open(QFile::encodeName(path), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        choose(cw.window, Options{fit});
        setLog(cw.window, "kept");
        BoxCatcher catcher;
        QElapsedTimer clock;
        clock.start();
        const bool loaded = load(cw.window, path);
        const qint64 took = clock.elapsed();
        done = true;
        writer.join();
        QVERIFY(!loaded);
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        QCOMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes[0].text, "Cannot load " + path + ": " + reason);
        QCOMPARE(logText(cw.window), "Loading image:kept"); // inserted where the cursor stood
        QVERIFY(preview(cw.window).isNull());
    }

    // Dropped on the window or on the log pane, or pasted on the Bitmaps tab: loaded as from the dialog.
    void dropAndPaste_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("asFile");
        QTest::addColumn<QString>("name"); // what the log calls it; empty: the file's path
        QTest::newRow("file dropped on the window") << "drop" << true << QString();
        QTest::newRow("file dropped on the log pane") << "drop on log" << true << QString();
        QTest::newRow("picture dropped") << "drop" << false << "Dropped image";
        QTest::newRow("file pasted") << "paste" << true << QString();
        QTest::newRow("picture pasted") << "paste" << false << "Pasted image";
    }

    void dropAndPaste()
    {
        QFETCH(QString, how);
        QFETCH(bool, asFile);
        QFETCH(QString, name);
        const QImage picture = shaded({120, 60});
        const QString path = save("dropped.png", picture);
        auto *data = new QMimeData;
        asFile ? data->setUrls({QUrl::fromLocalFile(path)}) : data->setImageData(picture);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        setLog(cw.window, "earlier text");
        if (how == "paste") {
            QApplication::clipboard()->setMimeData(data);
            cw.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&cw.window));
            // On another tab Ctrl+V does nothing to the picture.
            auto *tabs = cw.window.findChild<QTabWidget *>("mainTabsTelvar");
            tabs->setCurrentIndex(0);
            tabs->setFocus();
            QTest::keyClick(tabs, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(logText(cw.window), "earlier text");
            tabs->setCurrentWidget(cw.window.findChild<QWidget *>("tab_3"));
            // The log pane with the focus pastes into itself, as any text field.
            auto *log = cw.window.findChild<QPlainTextEdit *>("editTelvar");
            log->setFocus();
            QTest::keyClick(log, Qt::Key_V, Qt::ControlModifier);
            QVERIFY(preview(cw.window).isNull());
            QVERIFY(!logText(cw.window).contains("Loading image:"));
            QTest::keyClick(tabs, Qt::Key_V, Qt::ControlModifier);
        } else {
            QWidget *target = how == "drop" ? static_cast<QWidget *>(&cw.window)
                                            : cw.window.findChild<QPlainTextEdit *>("editTelvar")->viewport();
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QApplication::postEvent(target, new QDropEvent(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton,
                                                           Qt::NoModifier));
            QApplication::processEvents();
        }
        QCOMPARE(logText(cw.window), opened(name.isEmpty() ? path : name, picture.size(), true));
        QCOMPARE(cw.window.findChild<QTabWidget *>("mainTabsTelvar")->currentWidget()->objectName(), "tab_3");
        QCOMPARE(preview(cw.window).size(), picture.size());
        const QString difference = printsPreview(cw);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        if (how != "paste")
            delete data;
    }

private:
    // Runs one test of this program again as the user nobody, for whom file permissions count.
    void asNobody(const QString &test)
    {
        QProcess child;
        child.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(77);
        });
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {test});
        if (!child.waitForStarted(10000))
            QSKIP(qPrintable("the test program cannot start as the user nobody: " + child.errorString()));
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        if (child.exitCode() == 77)
            QSKIP("this process cannot change to the user nobody");
        QVERIFY2(child.exitCode() == 0, output.constData());
        const QByteArray passed = "PASS   : tst_Imaging::" + test.toLatin1().replace(':', '(') + ")";
        QVERIFY2(output.contains(passed), output.constData());
    }
};

QTEST_MAIN(tst_Imaging)
#include "tst_imaging.moc"

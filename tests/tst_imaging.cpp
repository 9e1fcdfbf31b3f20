#include "telvartest.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

// The Bitmaps tab: image files written here in every layout the readers hand
// out, loaded through the real file dialog, and printed over a pseudo-terminal.
// What arrives is compared with the picture the file was drawn from, dot by
// dot, never with what the loader happens to produce.

using namespace TelvarTest;

namespace {

// The picture every file shows: asymmetric within each byte (so a mirrored or
// inverted byte shows), with both edge columns dark (so a stray fill bit or a
// cut-off last dot shows).
bool dark(int x, int y, int width)
{
    return x == 0 || x == width - 1 || (x * 3 + y * 5) % 7 < 2;
}

bool looksDark(QRgb pixel)
{
    return qAlpha(pixel) > 127 && qGray(pixel) < 128;
}

// The raster the controller must receive for a width x height picture: rows of
// whole 32-bit words, MSB the leftmost dot, 1 a dark dot, fill 0, at most 65535
// rows per command.
QByteArray expectedStream(int width, int height)
{
    const int rowBytes = (width + 31) / 32 * 4;
    QByteArray out = QByteArray::fromHex("1b40");
    for (int top = 0; top < height; top += 65535) {
        const int band = qMin(65535, height - top);
        out += QByteArray::fromHex("1d763000");
        out += char(rowBytes & 0xff);
        out += char(rowBytes >> 8);
        out += char(band & 0xff);
        out += char(band >> 8);
        for (int y = top; y < top + band; ++y) {
            QByteArray row(rowBytes, '\0');
            for (int x = 0; x < width; ++x) {
                if (dark(x, y, width))
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
            out += row;
        }
    }
    return out;
}

QImage drawn(int width, int height, QImage::Format format, QRgb paper, QRgb ink)
{
    QImage image(width, height, format);
    image.fill(paper);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (dark(x, y, width))
                image.setPixel(x, y, ink);
    return image;
}

// One bit per pixel with the palette in the order asked for: index 0 black
// means a raw 1 bit is white paper.
QImage drawnMono(int width, int height, bool blackFirst)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable(blackFirst ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                   : QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const uint ink = blackFirst ? 0 : 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, dark(x, y, width) ? ink : 1 - ink);
    return image;
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

// Qt's writer always stores white first; this writes the palette as given,
// and sets every fill bit of the file's rows to 1.
QByteArray monoBmp(int width, int height, bool blackFirst)
{
    const int rowBytes = (width + 31) / 32 * 4;
    QByteArray out("BM");
    put32(out, quint32(62 + rowBytes * height));
    put32(out, 0);
    put32(out, 62);
    for (quint32 v : {40u, quint32(width), quint32(height)})
        put32(out, v);
    put16(out, 1);
    put16(out, 1);
    for (quint32 v : {0u, quint32(rowBytes * height), 2835u, 2835u, 2u, 0u})
        put32(out, v);
    out += blackFirst ? QByteArray::fromHex("00000000ffffff00")
                      : QByteArray::fromHex("ffffff0000000000");
    const bool ink = !blackFirst;
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(rowBytes, char(0xff));
        for (int x = 0; x < width; ++x) {
            if ((dark(x, y, width) ? ink : !ink) == false)
                row[x / 8] = char(row[x / 8] & ~(0x80 >> (x % 8)));
        }
        out += row;
    }
    return out;
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffff;
    for (char c : data) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A small real PNG whose header then claims 100000 x 100000 pixels.
QByteArray giantPng()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    drawn(16, 16, QImage::Format_RGB32, 0xffffffff, 0xff000000).save(&buffer, "PNG");
    qToBigEndian(quint32(100000), png.data() + 16);
    qToBigEndian(quint32(100000), png.data() + 20);
    qToBigEndian(crc32(png.mid(12, 17)), png.data() + 29);
    return png;
}

QByteArray giantBmp()
{
    QByteArray bmp = monoBmp(16, 16, false);
    qToLittleEndian(quint32(100000), bmp.data() + 18);
    qToLittleEndian(quint32(100000), bmp.data() + 22);
    return bmp;
}

double peakResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArrayList lines = status.readAll().split('\n');
    for (const QByteArray &line : lines)
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Answers the file dialog each time it comes up: a path to accept, or an empty
// string to cancel. Records where each run started and what it offered.
class DialogDriver
{
public:
    explicit DialogDriver(QStringList answers)
        : m_answers(std::move(answers))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto widgets = QApplication::topLevelWidgets();
            for (QWidget *widget : widgets) {
                auto *dialog = qobject_cast<QFileDialog *>(widget);
                if (!dialog || !dialog->isVisible())
                    continue;
                directories.append(dialog->directory().absolutePath());
                filters = dialog->mimeTypeFilters();
                selectedFilter = dialog->selectedMimeTypeFilter();
                const QString answer = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
                if (answer.isEmpty()) {
                    dialog->reject();
                } else {
                    // Browsed to and typed, as a user would: on a second
                    // run the name field has the focus and ignores
                    // selectFile().
                    dialog->setDirectory(QFileInfo(answer).absolutePath());
                    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                    if (name)
                        name->setText(answer);
                    else
                        dialog->selectFile(answer);
                    static_cast<QDialog *>(dialog)->accept();
                }
            }
        });
        m_timer.start();
    }
    QStringList directories;
    QStringList filters;
    QString selectedFilter;

private:
    QStringList m_answers;
    QTimer m_timer;
};

QPlainTextEdit *logPane(MainWindow &window)
{
    return window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
}

QImage preview(MainWindow &window)
{
    auto *area = window.findChild<QScrollArea *>(QStringLiteral("scrollArea"));
    auto *label = area ? qobject_cast<QLabel *>(area->widget()) : nullptr;
    return label ? label->pixmap().toImage() : QImage();
}

// Every pixel as the file's own colour table says, against the picture.
bool showsPicture(const QImage &image, int width, int height)
{
    if (image.width() != width || image.height() != height)
        return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (looksDark(image.pixel(x, y)) != dark(x, y, width))
                return false;
    return true;
}

QString information(const QString &path, int width, int height, qint64 bytes)
{
    return QStringLiteral("Opened \"%1\"\nWidth: %2 pixel\nHeight: %3 pixel\nColor depth: 1\n"
                          "Bytes: %4\n")
        .arg(QDir::toNativeSeparators(path), QString::number(width), QString::number(height),
             QString::number(bytes));
}

} // namespace

class tst_Imaging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void firstDialog();
    void printsThePicture_data();
    void printsThePicture();
    void badFile_data();
    void badFile();
    void dialogAgainAfterFailure();
    void refusals_data();
    void refusals();
    void lineFeed();

private:
    QString file(const QString &name, const QByteArray &bytes);
    QString file(const QString &name, const QImage &image, const char *format);
    bool load(MainWindow &window, const QString &path);

    QTemporaryDir m_home;
    QString m_dir;
};

void tst_Imaging::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The first dialog of a run opens in the pictures folder of the user.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Pictures")));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("files")));
    m_dir = m_home.filePath(QStringLiteral("files"));
}

void tst_Imaging::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

QString tst_Imaging::file(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir + QLatin1Char('/') + name;
    QFile out(path);
    if (out.open(QIODevice::WriteOnly))
        out.write(bytes);
    return path;
}

QString tst_Imaging::file(const QString &name, const QImage &image, const char *format)
{
    const QString path = m_dir + QLatin1Char('/') + name;
    QImageWriter writer(path, format);
    writer.write(image);
    return path;
}

bool tst_Imaging::load(MainWindow &window, const QString &path)
{
    DialogDriver driver({path});
    click(window, "pushButton_Load");
    return driver.directories.size() == 1 && window.windowFilePath() == path;
}

// Must run first: the pictures folder is chosen only by the first dialog.
void tst_Imaging::firstDialog()
{
    const QString path = file(QStringLiteral("first.png"), drawnMono(40, 10, false), "png");
    MainWindow window; // no port: loading needs none
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    BoxCatcher catcher;
    logPane(window)->setPlainText(QStringLiteral("cleared by Load"));
    {
        DialogDriver driver({path});
        click(window, "pushButton_Load");
        QCOMPARE(driver.directories, QStringList{m_home.filePath(QStringLiteral("Pictures"))});
        QStringList supported;
        for (const QByteArray &type : QImageReader::supportedMimeTypes())
            supported.append(QString::fromLatin1(type));
        supported.sort();
        QCOMPARE(driver.filters, supported);
        QVERIFY(supported.contains(QStringLiteral("image/tiff")));
        QVERIFY(supported.contains(QStringLiteral("image/webp")));
        QCOMPARE(driver.selectedFilter, QStringLiteral("image/bmp"));
    }
    QCOMPARE(logText(window), QStringLiteral("Loading image:\n") + information(path, 40, 10, 80));
    QVERIFY(catcher.boxes.isEmpty());

    // Later dialogs start wherever the dialog itself puts them; a cancel keeps
    // the image and leaves only the cleared log pane.
    DialogDriver cancel({QString()});
    click(window, "pushButton_Load");
    QCOMPARE(cancel.directories.size(), 1);
    QVERIFY(cancel.directories.first() != m_home.filePath(QStringLiteral("Pictures")));
    QCOMPARE(logText(window), QString());
    QVERIFY(showsPicture(preview(window), 40, 10));
    QCOMPARE(window.windowFilePath(), path);
}

void tst_Imaging::printsThePicture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QByteArray>("header");
    // What the reader hands out for the file, "" for more than one bit.
    QTest::addColumn<QByteArray>("readsAs");

    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    QTest::newRow("24-bit PNG 200x100")
        << file(QStringLiteral("rgb.png"), drawn(200, 100, QImage::Format_RGB32, white, black),
                "png")
        << 200 << 100 << true << qint64(2800) << QByteArray("1d7630001c006400") << QByteArray();
    QTest::newRow("1-bit PNG white first 100x50")
        << file(QStringLiteral("white-first.png"), drawnMono(100, 50, false), "png") << 100 << 50
        << false << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray("Mono 0=white");
    QTest::newRow("1-bit PNG black first 100x50")
        << file(QStringLiteral("black-first.png"), drawnMono(100, 50, true), "png") << 100 << 50
        << false << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray("Mono 0=black");
    QTest::newRow("1-bit BMP white first 100x50")
        << file(QStringLiteral("white-first.bmp"), monoBmp(100, 50, false)) << 100 << 50 << false
        << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray("Mono 0=white");
    // Qt's BMP reader turns a black-first palette round itself; the row keeps
    // that file working whichever reader does the job.
    QTest::newRow("1-bit BMP black first 100x50")
        << file(QStringLiteral("black-first.bmp"), monoBmp(100, 50, true)) << 100 << 50 << false
        << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray("Mono 0=white");
    QTest::newRow("XBM 100x50")
        << file(QStringLiteral("lsb.xbm"), drawnMono(100, 50, false), "xbm") << 100 << 50 << false
        << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray("MonoLSB");
    QTest::newRow("transparent PNG 100x50")
        << file(QStringLiteral("logo.png"),
                drawn(100, 50, QImage::Format_ARGB32, qRgba(0, 0, 0, 0), black), "png")
        << 100 << 50 << true << qint64(800) << QByteArray("1d76300010003200")
        << QByteArray();
    QTest::newRow("grey PNG 384x94")
        << file(QStringLiteral("grey.png"), drawn(384, 94, QImage::Format_Grayscale8, white, black),
                "png")
        << 384 << 94 << true << qint64(4512) << QByteArray("1d76300030005e00") << QByteArray();
    // Taller than one command can count: two commands, 65535 rows and the rest.
    QTest::newRow("1-bit PNG 8x70000")
        << file(QStringLiteral("tall.png"), drawnMono(8, 70000, true), "png") << 8 << 70000
        << false << qint64(280000) << QByteArray("1d7630000400ffff") << QByteArray("Mono 0=black");
}

void tst_Imaging::printsThePicture()
{
    QFETCH(QString, path);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, converted);
    QFETCH(qint64, bytes);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, readsAs);

    // The file itself, read with its colour table, shows the picture, in the
    // layout this row is about.
    const QImage source(path);
    QVERIFY(showsPicture(source, width, height));
    if (readsAs.isEmpty()) {
        QVERIFY(source.depth() > 1);
    } else {
        QCOMPARE(source.format() == QImage::Format_MonoLSB, readsAs == "MonoLSB");
        if (readsAs != "MonoLSB")
            QCOMPARE(source.color(0) == qRgb(0, 0, 0), readsAs == "Mono 0=black");
    }

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QVERIFY(load(cw.window, path));
    const QString conversion =
        converted ? QStringLiteral("Bitmap is not 1bpp (mono) trying to convert...\n") : QString();
    QCOMPARE(logText(cw.window),
             QStringLiteral("Loading image:\n") + conversion
                 + information(path, width, height, bytes));
    QVERIFY(showsPicture(preview(cw.window), width, height));

    click(cw.window, "pushButton_58PrintH");
    const QByteArray expected = expectedStream(width, height);
    QCOMPARE(expected.mid(2, 8).toHex(), header);
    const QByteArray wire = cw.pty.read(expected.size());
    QCOMPARE(wire.size(), expected.size());
    if (wire != expected) {
        const qsizetype at = std::mismatch(wire.begin(), wire.end(), expected.begin()).first
            - wire.begin();
        QFAIL(qPrintable(QStringLiteral("first difference at byte %1: %2 instead of %3")
                             .arg(at)
                             .arg(QString::fromLatin1(wire.mid(at, 8).toHex(' ')),
                                  QString::fromLatin1(expected.mid(at, 8).toHex(' ')))));
    }
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
    QCOMPARE(logText(cw.window),
             QStringLiteral("Validating if Bitmap can be printed\nValidating bitmap..."));
}

void tst_Imaging::badFile_data()
{
    QTest::addColumn<QString>("path");

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    drawn(64, 64, QImage::Format_RGB32, 0xffffffff, 0xff000000).save(&buffer, "PNG");

    QTest::newRow("not an image")
        << file(QStringLiteral("notes.png"), QByteArray("a shopping list, not a picture\n"));
    QTest::newRow("truncated PNG") << file(QStringLiteral("cut.png"), png.left(png.size() / 2));
    QTest::newRow("empty file") << file(QStringLiteral("empty.bmp"), QByteArray());
    QTest::newRow("directory") << m_dir;
    QTest::newRow("PNG claiming 100000x100000") << file(QStringLiteral("giant.png"), giantPng());
    QTest::newRow("BMP claiming 100000x100000") << file(QStringLiteral("giant.bmp"), giantBmp());
}

// A file that does not load changes nothing: the earlier image still prints.
void tst_Imaging::badFile()
{
    QFETCH(QString, path);

    const QString good = file(QStringLiteral("good.png"), drawnMono(100, 50, true), "png");
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QVERIFY(load(cw.window, good));

    QImageReader reference(path);
    QVERIFY(reference.read().isNull());
    const QString reason = reference.errorString();
    QVERIFY(!reason.isEmpty());

    const double peakBefore = peakResidentMiB();
    BoxCatcher catcher;
    bool loaded = true;
    QVERIFY(invoke(cw.window, "loadFile", Q_RETURN_ARG(bool, loaded), Q_ARG(QString, path)));
    QVERIFY(!loaded);
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QGuiApplication::applicationDisplayName());
    QCOMPARE(catcher.boxes.first().text, QStringLiteral("Cannot load %1: %2").arg(path, reason));
    QCOMPARE(catcher.boxes.first().icon, int(QMessageBox::Information));
    // The reader gives up on the header's claim instead of allocating it.
    QVERIFY(peakResidentMiB() - peakBefore < 64);

    QCOMPARE(cw.window.windowFilePath(), good);
    QVERIFY(showsPicture(preview(cw.window), 100, 50));
    click(cw.window, "pushButton_58PrintH");
    QCOMPARE(cw.pty.readUntilQuiet().toHex(), expectedStream(100, 50).toHex());
}

// After the box the dialog comes back; the next try writes its "Loading image:"
// on the same line.
void tst_Imaging::dialogAgainAfterFailure()
{
    const QString bad = file(QStringLiteral("bad.bmp"), QByteArray("BM not really"));
    const QString good = file(QStringLiteral("again.png"), drawnMono(100, 50, false), "png");
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    BoxCatcher catcher;
    DialogDriver driver({bad, good});
    click(cw.window, "pushButton_Load");
    QCOMPARE(driver.directories.size(), 2);
    QCOMPARE(catcher.boxes.size(), 1);
    QVERIFY(catcher.boxes.first().text.startsWith(QStringLiteral("Cannot load ") + bad + ": "));
    QCOMPARE(logText(cw.window), QStringLiteral("Loading image:Loading image:\n")
                                     + information(good, 100, 50, 800));
}

void tst_Imaging::refusals_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing loaded") << QString() << QStringLiteral("No Bitmap loaded")
                                    << QStringLiteral("No Bitmap loaded!");
    QTest::newRow("385 wide")
        << file(QStringLiteral("wide.png"), drawnMono(385, 10, false), "png")
        << QStringLiteral("Bitmap too wide. Max 384 pixels")
        << QStringLiteral("This tool allows printing only for bitmaps of up to 384 pixel wide!");
}

void tst_Imaging::refusals()
{
    QFETCH(QString, path);
    QFETCH(QString, log);
    QFETCH(QString, text);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    if (!path.isEmpty())
        QVERIFY(load(cw.window, path));
    BoxCatcher catcher;
    click(cw.window, "pushButton_58PrintH");
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Print Bitmap"));
    QCOMPARE(catcher.boxes.first().text, text);
    QCOMPARE(logText(cw.window), QStringLiteral("Validating if Bitmap can be printed\n") + log);
    QCOMPARE(cw.pty.readUntilQuiet(200), QByteArray());
}

void tst_Imaging::lineFeed()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    logPane(cw.window)->setPlainText(QStringLiteral("kept as it was"));
    click(cw.window, "pushButton_LineFeed");
    QCOMPARE(cw.pty.readUntilQuiet().toHex(), QByteArray("0a"));
    QCOMPARE(logText(cw.window), QStringLiteral("kept as it was"));
}

QTEST_MAIN(tst_Imaging)
#include "tst_imaging.moc"

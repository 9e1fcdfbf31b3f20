#include "telvartest.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>

// The Bitmaps tab: image files written here in the layouts the readers hand
// out, loaded through the real file dialog, and printed over a pseudo-terminal.
// What arrives is compared with the picture the file was drawn from, dot by
// dot, never with what the loader happens to produce.

using namespace TelvarTest;

namespace {

// Asymmetric within each byte (a mirrored or inverted byte shows), both edge
// columns dark (a stray fill bit or a cut-off last dot shows).
bool dark(int x, int y, int width)
{
    return x == 0 || x == width - 1 || (x * 3 + y * 5) % 7 < 2;
}

// Rows of whole 32-bit words, MSB the leftmost dot, 1 a dark dot, fill 0, at
// most 65535 rows per command.
QByteArray expectedStream(int width, int height)
{
    const int rowBytes = (width + 31) / 32 * 4;
    QByteArray out = QByteArray::fromHex("1b40");
    for (int top = 0; top < height; top += 65535) {
        const int band = qMin(65535, height - top);
        out += QByteArray::fromHex("1d763000");
        for (int v : {rowBytes, band})
            out += char(v & 0xff) + QByteArray(1, char(v >> 8));
        for (int y = top; y < top + band; ++y) {
            QByteArray row(rowBytes, '\0');
            for (int x = 0; x < width; ++x)
                if (dark(x, y, width))
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            out += row;
        }
    }
    return out;
}

// For the 1-bit format, paper and ink are palette indexes: paper 1 puts black
// first. Every fill bit of a 1-bit row's last byte is set.
QImage drawn(int width, int height, QImage::Format format, uint paper = qRgb(255, 255, 255), uint ink = qRgb(0, 0, 0))
{
    QImage image(width, height, format);
    if (format == QImage::Format_Mono)
        image.setColorTable(paper ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                  : QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(~0u);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, dark(x, y, width) ? ink : paper);
    return image;
}

QImage drawnMono(int width, int height, bool blackFirst)
{
    return drawn(width, height, QImage::Format_Mono, blackFirst, !blackFirst);
}

// Clicks Load and answers each file dialog that comes up: a path to accept, an
// empty string to cancel. Returns what each one showed: its folder, its
// selected filter, then all its filters.
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
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(answer);
            if (answer.isEmpty())
                dialog->reject();
            else
                static_cast<QDialog *>(dialog)->accept();
        }
    });
    timer.start(5);
    click(window, "pushButton_Load");
    return seen;
}

// The preview shows every dot of the picture.
bool previewShows(MainWindow &window, int width, int height)
{
    const QPixmap shown = qobject_cast<QLabel *>(window.findChild<QScrollArea *>()->widget())->pixmap();
    return shown.toImage().convertToFormat(QImage::Format_RGB32) == drawn(width, height, QImage::Format_RGB32);
}

QString information(const QString &path, int width, int height)
{
    return QStringLiteral("Opened \"%1\"\nWidth: %2 pixel\nHeight: %3 pixel\nColor depth: 1\nBytes: %4\n")
        .arg(path, QString::number(width), QString::number(height), QString::number((width + 31) / 32 * 4 * height));
}

} // namespace

class tst_Imaging : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    // A QByteArray is written as it is, a QImage in the format its name ends in.
    template <typename T> QString file(const char *name, const T &content)
    {
        QFile out(m_home.filePath(QString::fromLatin1(name)));
        if constexpr (std::is_same_v<T, QImage>)
            content.save(out.fileName());
        else if (out.open(QIODevice::WriteOnly))
            out.write(content);
        return out.fileName();
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }

    // Must run first: only the first dialog of a run opens in the user's pictures folder.
    void loadDialog()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Pictures")));
        const QString path = file("first.png", drawnMono(40, 10, false));
        QStringList bad{file("notes.png", QByteArray("a shopping list\n")),
                        file("cut.png", drawn(64, 64, QImage::Format_RGB32)), file("empty.bmp", QByteArray()),
                        file("giant.xbm", QByteArray("#define g_width 100000\n#define g_height 100000\n"
                                                     "static char g_bits[] = { 0x00 };\n"))};
        QVERIFY(QFile::resize(bad[1], QFileInfo(bad[1]).size() / 2));
        MainWindow window; // loading needs no port
        BoxCatcher catcher;
        window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))->setPlainText(QStringLiteral("cleared"));
        QStringList offered;
        for (const QByteArray &type : QImageReader::supportedMimeTypes())
            offered.append(QString::fromLatin1(type));
        offered.sort();
        QCOMPARE(clickLoad(window, {path}),
                 QList<QStringList>{QStringList({m_home.filePath(QStringLiteral("Pictures")), "image/bmp"}) + offered});
        QCOMPARE(logText(window), QStringLiteral("Loading image:\n") + information(path, 40, 10));

        // Later dialogs start where the last one was left. Each file that does not load:
        // its box and the dialog again. A cancel, or a directory, keeps the image.
        const QList<QStringList> again = clickLoad(window, bad + QStringList{QString()});
        QCOMPARE(again.size(), bad.size() + 1);
        QVERIFY(again.first().first() != m_home.filePath(QStringLiteral("Pictures")));
        bad.append(m_home.path());
        QVERIFY(invoke(window, "loadFile", Q_ARG(QString, bad.last())));
        QCOMPARE(catcher.boxes.size(), bad.size());
        for (int i = 0; i < bad.size(); ++i) {
            QImageReader reference(bad[i]);
            reference.read();
            QCOMPARE(catcher.boxes[i].title, QGuiApplication::applicationDisplayName());
            QCOMPARE(catcher.boxes[i].text, QStringLiteral("Cannot load %1: %2").arg(bad[i], reference.errorString()));
            QCOMPARE(catcher.boxes[i].icon, int(QMessageBox::Information));
        }
        QCOMPARE(logText(window), QStringLiteral("Loading image:").repeated(bad.size()));
        QVERIFY(previewShows(window, 40, 10));
        QCOMPARE(window.windowFilePath(), path);
        PtyPair pty;
        QVERIFY(connectTo(window, pty.slavePath()));
        click(window, "pushButton_58PrintH");
        QCOMPARE(pty.readUntilQuiet().toHex(), expectedStream(40, 10).toHex());
    }

    void printsThePicture_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("converted");
        QTest::addColumn<QByteArray>("header");

        const auto row = [this](const char *name, const char *fileName, const QImage &image, bool converted = false,
                                QSize size = {100, 50}, const char *header = "1d76300010003200") {
            QTest::newRow(name) << file(fileName, image) << size << converted << QByteArray(header);
        };
        row("24-bit PNG 200x100", "rgb.png", drawn(200, 100, QImage::Format_RGB32), true, {200, 100},
            "1d7630001c006400");
        row("1-bit PNG white first", "white.png", drawnMono(100, 50, false));
        row("1-bit PNG black first", "black.png", drawnMono(100, 50, true));
        row("1-bit BMP white first", "white.bmp", drawnMono(100, 50, false));
        row("1-bit BMP black first", "black.bmp", drawnMono(100, 50, true));
        row("XBM", "lsb.xbm", drawnMono(100, 50, false));
        row("transparent PNG", "logo.png", drawn(100, 50, QImage::Format_ARGB32, qRgba(0, 0, 0, 0)), true);
        row("grey PNG 384x94", "grey.png", drawn(384, 94, QImage::Format_Grayscale8), true, {384, 94},
            "1d76300030005e00");
        // Taller than one command can count: 65535 rows, then the rest.
        row("1-bit PNG 8x70000", "tall.png", drawnMono(8, 70000, true), false, {8, 70000}, "1d7630000400ffff");
    }

    void printsThePicture()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(bool, converted);

        ConnectedWindow cw;
        QVERIFY(cw.connected);
        QCOMPARE(clickLoad(cw.window, {path}).size(), 1);
        QCOMPARE(logText(cw.window),
                 QStringLiteral("Loading image:\n")
                     + (converted ? QStringLiteral("Bitmap is not 1bpp (mono) trying to convert...\n") : QString())
                     + information(path, size.width(), size.height()));
        QVERIFY(previewShows(cw.window, size.width(), size.height()));

        click(cw.window, "pushButton_58PrintH");
        const QByteArray expected = expectedStream(size.width(), size.height());
        QTEST(expected.mid(2, 8).toHex(), "header");
        const QByteArray wire = cw.pty.read(expected.size());
        QCOMPARE(wire.size(), expected.size());
        const qsizetype at = std::mismatch(wire.begin(), wire.end(), expected.begin()).first - wire.begin();
        QCOMPARE(wire.mid(at, 8).toHex(' '), expected.mid(at, 8).toHex(' '));
        QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
        QCOMPARE(logText(cw.window), QStringLiteral("Validating if Bitmap can be printed\nValidating bitmap..."));
    }

    void otherPrintButtons_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("wire");
        const QString validating = QStringLiteral("Validating if Bitmap can be printed\n");
        QTest::newRow("nothing loaded") << QString() << QByteArray("pushButton_58PrintH")
                                        << validating + "No Bitmap loaded"
                                        << QStringList{"Print Bitmap: No Bitmap loaded!"} << QByteArray();
        QTest::newRow("385 wide")
            << file("wide.png", drawnMono(385, 10, false)) << QByteArray("pushButton_58PrintH")
            << validating + "Bitmap too wide. Max 384 pixels"
            << QStringList{"Print Bitmap: This tool allows printing only for bitmaps of up to 384 pixel wide!"}
            << QByteArray();
        QTest::newRow("Line Feed") << QString() << QByteArray("pushButton_LineFeed") << QStringLiteral("kept")
                                   << QStringList() << QByteArray("0a");
    }

    void otherPrintButtons()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, button);
        QFETCH(QStringList, boxes);

        ConnectedWindow cw;
        QVERIFY(cw.connected);
        if (!path.isEmpty())
            QCOMPARE(clickLoad(cw.window, {path}).size(), 1);
        cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))->setPlainText(QStringLiteral("kept"));
        BoxCatcher catcher;
        click(cw.window, button.constData());
        QTEST(cw.pty.readUntilQuiet(200).toHex(), "wire");
        QTEST(logText(cw.window), "log");
        QStringList shown;
        for (const SeenBox &box : catcher.boxes)
            shown.append(box.title + ": " + box.text);
        QCOMPARE(shown, boxes);
    }
};

QTEST_MAIN(tst_Imaging)
#include "tst_imaging.moc"

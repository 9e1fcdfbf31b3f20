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
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// What is printed is compared with the picture each file was drawn from, never with what the loader made.

using namespace TelvarTest;

namespace {

// Asymmetric within bytes (a mirrored or inverted byte shows), edge columns dark (fill bits, last dot).
bool dark(int x, int y, int width) { return x == 0 || x == width - 1 || (x * 3 + y * 5) % 7 < 2; }

// Rows of whole 32-bit words, MSB the leftmost dot, 1 dark, fill 0, at most 65535 rows per command.
QByteArray expectedStream(QSize size)
{
    const int bpr = (size.width() + 31) / 32 * 4;
    QByteArray out = QByteArray::fromHex("1b40");
    for (int top = 0; top < size.height(); top += 65535) {
        const int band = qMin(65535, size.height() - top);
        out += QByteArray::fromHex("1d763000") + char(bpr) + char(bpr >> 8) + char(band) + char(band >> 8);
        for (int y = top; y < top + band; ++y) {
            QByteArray row(bpr, '\0');
            for (int x = 0; x < size.width(); ++x)
                row[x / 8] = char(row[x / 8] | (dark(x, y, size.width()) ? 0x80 >> (x % 8) : 0));
            out += row;
        }
    }
    return out;
}

// For Format_Mono paper and ink are palette indexes (paper 1: black first), and all fill bits are set.
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

bool previewShows(MainWindow &window, QSize size)
{
    const QPixmap shown = qobject_cast<QLabel *>(window.findChild<QScrollArea *>()->widget())->pixmap();
    return shown.toImage().convertToFormat(QImage::Format_RGB32) == drawn(size, QImage::Format_RGB32);
}

QString loaded(const QString &path, QSize s, bool converted = false)
{
    return QString("Loading image:\n%1Opened \"%2\"\nWidth: %3 pixel\nHeight: %4 pixel\nColor depth: 1\n"
                   "Bytes: %5\n")
        .arg(converted ? "Bitmap is not 1bpp (mono) trying to convert...\n" : "", path)
        .arg(s.width()).arg(s.height()).arg((s.width() + 31) / 32 * 4 * s.height());
}


} // namespace

class tst_Imaging : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    template <typename T> QString file(const char *name, const T &content)
    {
        QFile out(m_home.filePath(name));
        if constexpr (std::is_same_v<T, QImage>)
            content.save(out.fileName());
        else if (out.open(QIODevice::WriteOnly))
            out.write(content);
        return out.fileName();
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression("No matching signal")); }

    // Must run first: only the first dialog of a run opens in the user's pictures folder.
    void loadDialog()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        const QString pics = m_home.filePath("Pictures"), path = file("first.png", mono(40, 10, false));
        QVERIFY(QDir().mkpath(pics));
        QStringList bad{file("notes.png", QByteArray("a shopping list\n")), file("empty.bmp", QByteArray()),
                        file("cut.png", drawn({64, 64}, QImage::Format_RGB32)),
                        file("giant.xbm", QByteArray("#define g_width 100000\n#define g_height 100000\n"
                                                     "static char g_bits[] = { 0x00 };\n"))};
        QVERIFY(QFile::resize(bad[2], QFileInfo(bad[2]).size() / 2));
        ConnectedWindow cw;
        BoxCatcher catcher;
        setLog(cw.window, "cleared");
        const QStringList types = QString(QImageReader::supportedMimeTypes().join(' ')).split(' ');
        QCOMPARE(clickLoad(cw.window, {path}), QList<QStringList>{QStringList({pics, "image/bmp"}) + types});
        QCOMPARE(logText(cw.window), loaded(path, {40, 10}));

        // Later dialogs open where the last was left; a bad file: its box, the dialog again; cancel keeps it.
        const QList<QStringList> again = clickLoad(cw.window, bad + QStringList{QString()});
        QCOMPARE(again.size(), bad.size() + 1);
        QVERIFY(again.first().first() != pics);
        bad.append(m_home.path());
        QVERIFY(invoke(cw.window, "loadFile", Q_ARG(QString, bad.last())));
        QCOMPARE(catcher.boxes.size(), bad.size());
        for (int i = 0; i < bad.size(); ++i) {
            QImageReader reference(bad[i]);
            reference.read();
            const QString reason = QFileInfo(bad[i]).isDir() ? QString("it is a folder, not a picture file")
                                                             : reference.errorString();
            QCOMPARE(catcher.boxes[i].title, QGuiApplication::applicationDisplayName());
            QCOMPARE(catcher.boxes[i].text, "Cannot load " + bad[i] + ": " + reason);
            QCOMPARE(catcher.boxes[i].icon, int(QMessageBox::Information));
        }
        QCOMPARE(logText(cw.window), QString("Loading image:").repeated(bad.size()));
        QVERIFY(previewShows(cw.window, {40, 10}));
        QCOMPARE(cw.window.windowFilePath(), path);
        click(cw.window, "pushButton_58PrintH");
        QCOMPARE(cw.pty.readUntilQuiet().toHex(), expectedStream({40, 10}).toHex());
    }

    void printButtons_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("seen"); // the log pane after the click, then the box
        const QByteArray print("pushButton_58PrintH"), none;
        const QString why = QStringLiteral("Validating if Bitmap can be printed\n");
        const auto row = [&](const char *name, const QImage &image, const char *header = "1d76300010003200") {
            QTest::newRow(name) << file(name, image) << print << QByteArray(header)
                                << expectedStream(image.size()) << why + "Validating bitmap...|";
        };
        row("rgb.png", drawn({200, 100}, QImage::Format_RGB32), "1d7630001c006400");
        row("white.png", mono(100, 50, false));
        row("black.png", mono(100, 50, true));
        row("white.bmp", mono(100, 50, false));
        row("black.bmp", mono(100, 50, true));
        row("lsb.xbm", mono(100, 50, false));
        row("transparent.png", drawn({100, 50}, QImage::Format_ARGB32, qRgba(0, 0, 0, 0)));
        row("grey.png", drawn({384, 94}, QImage::Format_Grayscale8), "1d76300030005e00");
        row("tall.png", mono(8, 70000, true), "1d7630000400ffff"); // 65535 rows, then a second command
        QTest::newRow("nothing loaded") << QString() << print << none << none
                                        << why + "No Bitmap loaded|Print Bitmap: No Bitmap loaded!";
        QTest::newRow("385 wide") << file("wide.png", mono(385, 10, false)) << print << none << none
                                  << why + "Bitmap too wide. Max 384 pixels|Print Bitmap: This tool allows "
                                           "printing only for bitmaps of up to 384 pixel wide!";
        QTest::newRow("Line Feed") << QString() << QByteArray("pushButton_LineFeed") << none
                                   << QByteArray("\n") << QString("kept|");
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
            QCOMPARE(logText(cw.window), loaded(path, source.size(), source.depth() > 1));
            QVERIFY(previewShows(cw.window, source.size()));
        }
        setLog(cw.window, "kept");
        BoxCatcher catcher;
        click(cw.window, button.constData());
        QTEST(wire.mid(2, 8).toHex(), "header");
        const QByteArray got = cw.pty.read(wire.size());
        const auto at = std::mismatch(got.begin(), got.end(), wire.begin(), wire.end()).first - got.begin();
        QCOMPARE(got.mid(at, 8).toHex(' '), wire.mid(at, 8).toHex(' '));
        QCOMPARE(cw.pty.readUntilQuiet(200), QByteArray());
        QString seen = logText(cw.window) + '|';
        for (const SeenBox &box : catcher.boxes)
            seen += box.title + ": " + box.text;
        QTEST(seen, "seen");
    }
};

QTEST_MAIN(tst_Imaging)
#include "tst_imaging.moc"

// The program's own scripts, captured from the real window over a
// pseudo-terminal and read back by the virtual controller's decoder, which
// shares no code with the program's encoder: each side checks the other.

#include "controller.h"
#include "decoder.h"
#include "demos/data/bitmaps.h"
#include "telvartest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;
using namespace Virtual;

namespace {

QStringList listingOf(const QByteArray &wire)
{
    QStringList lines;
    for (const Command &c : decodeAll(wire))
        lines << describe(c);
    return lines;
}

QByteArray capture(const char *button)
{
    ConnectedWindow cw;
    if (!cw.connected)
        return QByteArray();
    click(cw.window, button);
    return cw.pty.readUntilQuiet(300);
}

QStringList fontLine(const char *attributes, const QString &text)
{
    return {QStringLiteral("ESC ! %1  font %2").arg(QLatin1String(attributes).left(2), QLatin1String(attributes).mid(3)),
            QStringLiteral("text \"%1\"").arg(text), QStringLiteral("LF  print and feed one line")};
}

// The sample receipt as the decoder lists it, step by step.
QList<QStringList> receiptSteps(const char *paymentFont)
{
    const QString separator(33, QLatin1Char('.'));
    return {
        {"ESC a 00  align left"},
        {"ESC @  reset"},
        {"ESC m 04  darkness 4"},
        {"GS v 0  raster 48x256 (12288 bytes)"},
        {"LF  print and feed one line"},
        {"ESC a 01  align center"},
        fontLine("00 normal", "Customer Receipt"),
        {"ESC d 02  print and feed 2 lines"},
        {"ESC a 00  align left"},
        fontLine("00 normal", "Date: DD/MM/YYYY"),
        fontLine("00 normal", "PID: 034/344/00288394"),
        {"ESC d 02  print and feed 2 lines"},
        {"text \"  Qty      Item      Price\""},
        {"ESC J 18  print and feed 24 dots"},
        fontLine("00 normal", separator),
        fontLine("00 normal", "2x  1L 1.5% Milk     $3.98"),
        fontLine("00 normal", "6x  1L 3.5% Milk     $16.75"),
        fontLine("00 normal", "10x 100g Yogurt Cup  $8.50"),
        fontLine("00 normal", separator),
        fontLine("08 bold", "Total:              $29.23"),
        {"ESC d 01  print and feed 1 lines"},
        fontLine("00 normal", "Incl. 19% VAT $5.55 (Net $23.68)"),
        fontLine("00 normal", separator),
        fontLine(paymentFont, "Credit Card         $29.23"),
        {"ESC d 02  print and feed 2 lines"},
        {"ESC a 01  align center"},
        fontLine("00 normal", "THANK YOU FOR YOUR VISIT"),
        {"ESC d 02  print and feed 2 lines"},
    };
}

class Printout
{
public:
    explicit Printout(const QByteArray &wire)
        : controller(dir.path())
    {
        controller.onListing = [this](const QString &line) { listing << line; };
        controller.receive(wire);
        controller.silence();
        // TELVAR_VIRTUAL_KEEP=dir keeps the pages for a look by eye.
        const QString keep = qEnvironmentVariable("TELVAR_VIRTUAL_KEEP");
        if (!keep.isEmpty()) {
            QDir().mkpath(keep);
            const QString name = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-')
                + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
            for (const QString &path : controller.pagesWritten())
                QFile::copy(path, QDir(keep).filePath(name + QLatin1Char('-') + QFileInfo(path).fileName()));
        }
    }
    QImage page(int index = 0) const
    {
        return QImage(controller.pagesWritten().value(index)).convertToFormat(QImage::Format_Grayscale8);
    }
    QTemporaryDir dir;
    Controller controller;
    QStringList listing;
};

int inkInRows(const QImage &page, int from, int to)
{
    int dots = 0;
    for (int y = qMax(0, from); y < qMin(to, page.height()); ++y)
        for (int x = 0; x < page.width(); ++x)
            dots += page.constScanLine(y)[x] < 200;
    return dots;
}

QString zbar(const QString &png, const QStringList &options = {})
{
    QProcess p;
    p.start(QStringLiteral("zbarimg"), QStringList{QStringLiteral("-q")} + options + QStringList{png});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool haveZbar()
{
    return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty();
}

// Rows of the page that a raster command drew, found by matching its data.
bool rasterDrawnAt(const QImage &page, const Command &raster, int top, int left = 40)
{
    const int widthBytes = raster.param[1], rows = raster.param[2];
    for (int y = 0; y < rows; ++y) {
        const uchar *line = page.constScanLine(top + y);
        for (int x = 0; x < qMin(widthBytes * 8, 384); ++x) {
            const bool bit = uchar(raster.data.at(y * widthBytes + x / 8)) & (0x80 >> (x % 8));
            if (bit != (line[left + x] < 200))
                return false;
        }
    }
    return true;
}

} // namespace

class tst_Crosscheck : public QObject
{
    Q_OBJECT

private slots:
    void everyScriptDecodesCleanly_data();
    void everyScriptDecodesCleanly();
    void receipt_data();
    void receipt();
    void quickTest();
    void barcodes_data();
    void barcodes();
    void qrBitmap();
    void language();
    void theProgramTalksToTheVirtualController();
};

void tst_Crosscheck::everyScriptDecodesCleanly_data()
{
    QTest::addColumn<QByteArray>("button");
    for (const char *name :
         {"pushButtonReset", "pushButtonClear", "pushButtonVersion", "pushButtonStatus",
          "pushButtonPowerManagment", "pushButtonTestLabel", "pushButtonFont", "pushButtonAttributes",
          "pushButtonDensity", "pushButtonFormatting", "pushButtonTabs", "pushButtonReceipt",
          "pushButtonLanguage", "pushButtonBitmap", "pushButtonBarcodeUPCA", "pushButtonBarcodeUPCE",
          "pushButtonBarcodeEAN13", "pushButtonBarcodeEAN8", "pushButtonBarcodeCODE39",
          "pushButtonBarcodeITF25", "pushButtonBarcodeCODABAR", "pushButtonBarcodeCODE93",
          "pushButtonBarcodeCODE128A", "pushButtonYesText", "pushButtonNoText", "pushButtonFullCut",
          "pushButtonPartialCut", "pushButtonReceiptFullCut", "pushButtonReceiptPartialCut",
          "pushButtonFTP638", "pushButtonJX2R39BQ"})
        QTest::newRow(name) << QByteArray(name);
}

// No script of the program sends a byte that the decoder cannot place, and
// none leaves a command unfinished.
void tst_Crosscheck::everyScriptDecodesCleanly()
{
    QFETCH(QByteArray, button);
    const QByteArray wire = capture(button.constData());
    QVERIFY2(!wire.isEmpty(), "this button's script sends nothing");
    const QStringList lines = listingOf(wire);
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^(unknown|truncated)"))), QStringList());
    QCOMPARE(lines.filter(QStringLiteral("cut short")), QStringList());
    Printout out(wire);
    QCOMPARE(out.listing.filter(QStringLiteral("not printed")), QStringList());
}

void tst_Crosscheck::receipt_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("paymentFont");
    QTest::addColumn<QString>("cut");
    QTest::newRow("Receipt") << QByteArray("pushButtonReceipt") << "90 double height, underline" << QString();
    QTest::newRow("Receipt with Full Cut") << QByteArray("pushButtonReceiptFullCut") << "10 double height"
                                           << "ESC i  full cut";
    QTest::newRow("Receipt with Partial Cut") << QByteArray("pushButtonReceiptPartialCut") << "10 double height"
                                              << "ESC n  partial cut";
}

void tst_Crosscheck::receipt()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, paymentFont);
    QFETCH(QString, cut);
    const QByteArray wire = capture(button.constData());
    QVERIFY2(!wire.isEmpty(), "the receipt script sends nothing");

    QStringList expected;
    const QList<QStringList> steps = receiptSteps(paymentFont.toLatin1().constData());
    QCOMPARE(steps.size(), 28);
    for (const QStringList &step : steps)
        expected += step;
    if (!cut.isEmpty())
        expected << cut;
    QCOMPARE(listingOf(wire), expected);

    Printout out(wire);
    QCOMPARE(out.controller.pagesWritten().size(), 1);
    const QImage page = out.page();
    // The shop header fills the first 256 rows; the text lines follow.
    const Command header = decodeAll(wire).at(3);
    QVERIFY(rasterDrawnAt(page, header, 16));
    QVERIFY(inkInRows(page, 16 + 256 + 10, page.height()) > 3000);
    QVERIFY(out.listing.last().contains(cut.isEmpty() ? QStringLiteral("silence") : cut.mid(7)));

    const QString save = qEnvironmentVariable("TELVAR_VIRTUAL_RECEIPT_PNG");
    if (!save.isEmpty() && cut.isEmpty())
        QVERIFY(page.save(save));
}

void tst_Crosscheck::quickTest()
{
    const QByteArray wire = capture("pushButtonFont");
    QVERIFY2(!wire.isEmpty(), "Quick Test sends nothing");
    const QList<Command> commands = decodeAll(wire);
    QStringList rasters, texts;
    for (const Command &c : commands) {
        if (c.op == Op::Raster)
            rasters << describe(c);
        if (c.op == Op::Text)
            texts << c.text;
    }
    QCOMPARE(rasters, (QStringList{"GS v 0  raster 48x94 (4512 bytes)", "GS v 0  raster 32x20 (640 bytes)",
                                   "GS v 0  raster 9x20 (180 bytes)", "GS v 0  raster 32x256 (8192 bytes)"}));
    QCOMPARE(texts, (QStringList{"======== S A M P L E ========", "Normal 0123456 ABCD abcd",
                                 "Bold 0123456 ABCD abcd", "Double Width", "Double Height",
                                 "Reverse 0123456 ABCD abcd", "Underlined 0123456 ABCD abcd",
                                 "Italic 0123456 ABCD abcd", "Italic 0123456 ABCD abcd"}));
    const QStringList lines = listingOf(wire);
    QVERIFY(lines.contains(QStringLiteral("GS k A  bar code UPC-A \"01234567890\"")));
    QCOMPARE(lines.first(), QStringLiteral("ESC @  reset"));

    Printout out(wire);
    const QImage page = out.page();
    // The logo comes first, straight below the top of the page.
    QVERIFY(rasterDrawnAt(page, commands.at(3), 16));
    // Text lines between the logo and the small pictures.
    QVERIFY(inkInRows(page, 16 + 94 + 33, 16 + 94 + 33 + 200) > 2000);
    if (haveZbar())
        QCOMPARE(zbar(out.controller.pagesWritten().first(), {QStringLiteral("-Supca.enable")}),
                 QStringLiteral("UPC-A:012345678905"));
}

void tst_Crosscheck::barcodes_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("scanned");
    auto row = [](const char *button, const char *command, const QStringList &options, const char *scanned) {
        QTest::newRow(button) << QByteArray(button) << QString::fromLatin1(command) << options << QString::fromLatin1(scanned);
    };
    row("pushButtonBarcodeUPCA", "GS k A  bar code UPC-A \"01234567890\"", {"-Supca.enable"}, "UPC-A:012345678905");
    row("pushButtonBarcodeUPCE", "GS k B  bar code UPC-E \"012345\"", {"-Supce.enable"}, "UPC-E:00123457");
    row("pushButtonBarcodeEAN13", "GS k C  bar code EAN-13 \"012345678901\"", {}, "EAN-13:0123456789012");
    row("pushButtonBarcodeEAN8", "GS k D  bar code EAN-8 \"0123456\"", {}, "EAN-8:01234565");
    row("pushButtonBarcodeCODE39", "GS k E  bar code Code 39 \"123456RC302\"", {}, "CODE-39:123456RC302");
    row("pushButtonBarcodeITF25", "GS k F  bar code ITF \"12345678\"", {}, "I2/5:12345678");
    row("pushButtonBarcodeCODABAR", "GS k G  bar code Codabar \"a123456a\"", {}, "Codabar:A123456A");
    row("pushButtonBarcodeCODE93", "GS k H  bar code Code 93 \"12345678\"", {}, "CODE-93:12345678");
    row("pushButtonBarcodeCODE128A", "GS k I  bar code Code 128 \"12345678\"", {}, "CODE-128:12345678");
}

void tst_Crosscheck::barcodes()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, command);
    QFETCH(QStringList, options);
    QFETCH(QString, scanned);
    const QByteArray wire = capture(button.constData());
    QVERIFY2(!wire.isEmpty(), "this bar code script sends nothing");
    const QStringList lines = listingOf(wire);
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines.at(0), QStringLiteral("ESC @  reset"));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("text \"")));
    QCOMPARE(lines.at(4), QStringLiteral("ESC d 02  print and feed 2 lines"));
    QCOMPARE(lines.at(6), QStringLiteral("GS h 40  bar code height 64 dots"));
    QCOMPARE(lines.at(7), command);
    QCOMPARE(lines.at(9), QStringLiteral("ESC l 00  left margin 0 mm"));

    Printout out(wire);
    if (haveZbar())
        QCOMPARE(zbar(out.controller.pagesWritten().first(), options), scanned);
}

void tst_Crosscheck::qrBitmap()
{
    const QByteArray wire = capture("pushButtonBitmap");
    QVERIFY2(!wire.isEmpty(), "QR Bitmap sends nothing");
    QCOMPARE(listingOf(wire), (QStringList{"ESC @  reset", "GS v 0  raster 29x232 (6728 bytes)"}));
    Printout out(wire);
    QVERIFY(rasterDrawnAt(out.page(), decodeAll(wire).at(1), 16));
    if (haveZbar())
        QCOMPARE(zbar(out.controller.pagesWritten().first()),
                 QStringLiteral("QR-Code:") + QString::fromLatin1(qrSampleText));
}

void tst_Crosscheck::language()
{
    const QByteArray wire = capture("pushButtonLanguage");
    QVERIFY2(!wire.isEmpty(), "Language sends nothing");
    const QList<Command> commands = decodeAll(wire);
    QStringList doubleByte;
    QString unicode;
    int on = 0, off = 0;
    for (const Command &c : commands) {
        if (c.op == Op::DoubleByte)
            doubleByte << c.text;
        if (c.op == Op::Text)
            unicode += c.text;
        on += c.op == Op::DoubleByteOn;
        off += c.op == Op::DoubleByteOff;
    }
    QCOMPARE(on, 4);
    QCOMPARE(off, 4);
    QCOMPARE(doubleByte.first(), QString::fromUtf8("飞流直下三千尺，疑是银河落九天"));
    QCOMPARE(doubleByte.last(), QString::fromUtf8("大原や蝶の出て舞う朧月"));
    for (ushort u : {0x012B, 0x0108, 0x01A0, 0x1EA1, 0x1EF9, 0x0374, 0x03CE, 0x060C, 0x061B, 0x06FF})
        QVERIFY2(unicode.contains(QChar(u)), qPrintable(QString::number(u, 16)));
    Printout out(wire);
    QVERIFY(inkInRows(out.page(), 0, out.page().height()) > 10000);
}

// End to end, as the README runs it: telvar-virtual on its link, the window
// connected to that path through the settings dialog's "Custom" entry.
void tst_Crosscheck::theProgramTalksToTheVirtualController()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTelvarTest"));
    const QString out = dir.filePath(QStringLiteral("printout"));
    QProcess virt;
    virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
               {QStringLiteral("--link"), link, QStringLiteral("--out"), out, QStringLiteral("--silence"),
                QStringLiteral("300"), QStringLiteral("--quiet")});
    QElapsedTimer timer;
    timer.start();
    while (!QFileInfo(link).isSymLink() && timer.elapsed() < 8000)
        QTest::qWait(20);
    QVERIFY(QFileInfo(link).isSymLink());

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(connectTo(window, link));

    click(window, "pushButtonVersion");
    QTRY_VERIFY_WITH_TIMEOUT(logText(window).contains(QStringLiteral("Telvar virtual RC30x controller")), 5000);
    click(window, "pushButtonStatus");
    QTRY_VERIFY_WITH_TIMEOUT(logText(window).startsWith(QStringLiteral("Status 00: online")), 5000);

    click(window, "pushButtonTestLabel");
    const QString page = QDir(out).filePath(QStringLiteral("job-0001.png"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(page), 8000);
    QTest::qWait(100);
    QVERIFY(inkInRows(QImage(page).convertToFormat(QImage::Format_Grayscale8), 0, 200) > 500);

    virt.terminate();
    QVERIFY(virt.waitForFinished(5000));
    QFile log(QDir(out).filePath(QStringLiteral("listing.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString listing = QString::fromUtf8(log.readAll());
    QVERIFY(listing.contains(QStringLiteral("text \"Label text Bold\"\nLF  print and feed one line\nGS ACK  next label\n"
                                            "-- job ended by a label feed")));
}

QTEST_MAIN(tst_Crosscheck)
#include "tst_crosscheck.moc"

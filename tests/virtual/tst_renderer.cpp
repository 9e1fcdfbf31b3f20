// The paper that the virtual controller draws: where the ink lands.

#include "controller.h"
#include "render/pagefile.h"
#include "telvartest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Virtual;

static constexpr auto hex = &QByteArray::fromHex; // skips the spaces
static constexpr int kSide = 40, kTop = 16;       // the print area's corner on a 58 mm page

struct Ink { QRect box; int dots = 0, darkest = 255; }; // the box in print-area dots

static Ink inkIn(const QImage &page)
{
    Ink ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (const int v = page.constScanLine(y)[x]; v < 230) {
                ++ink.dots;
                ink.darkest = qMin(ink.darkest, v);
                ink.box |= QRect(x - kSide, y - kTop, 1, 1);
            }
    return ink;
}

struct Printout
{
    explicit Printout(const QByteArray &wire) : controller(dir.path())
    {
        controller.onListing = [this](const QString &line) { listing << line; };
        controller.receive(wire);
        controller.silence();
    }
    QImage page() const { return controller.lastPage().convertToFormat(QImage::Format_Grayscale8); }
    QTemporaryDir dir;
    Controller controller;
    QStringList listing;
};

static Ink inkOf(const QByteArray &wire) { return inkIn(Printout(wire).page()); }

static QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + char(v >> 8); }

// A receipt as point-of-sale software sends it, in the wider command language:
// a stored logo printed centred, styled lines in code table 1252, a rule of
// 24-dot columns, three bar codes in three forms, a QR code and a feed and cut.
static QByteArray posReceipt()
{
    QByteArray logo; // 64 x 24 dots: a frame with a diagonal
    for (int y = 0; y < 24; ++y)
        for (int byte = 0; byte < 8; ++byte) {
            uchar bits = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = byte * 8 + bit;
                if (y == 0 || y == 23 || x == 0 || x == 63 || qAbs(x - y * 64 / 24) < 2)
                    bits |= 0x80 >> bit;
            }
            logo += char(bits);
        }
    const QByteArray graphics = hex("3070 300101 31") + le16(64) + le16(24) + logo;
    const QByteArray url = "https://example.com/r/1234";
    return hex("1b40 1b7410 1b6101") + hex("1d284c") + le16(graphics.size()) + graphics + hex("1d284c02003032")
        + hex("1d2111 1b4501") + "Corner Caf\xe9\n" + hex("1d2100 1b4500") + "12 Market Street\n" + hex("1b6100")
        + hex("1b2d01") + "Item              Qty   Price\n" + hex("1b2d00")
        + "Coffee             2     5.00\nCroissant          1     2.50\n"
        + hex("1b4501 1d4201") + "TOTAL                    7.50\n" + hex("1d4200 1b4500")
        + hex("1b3318 1b2a21") + le16(128) + QByteArray::fromHex("001800").repeated(128) + hex("0a 1b32")
        + hex("1b6101 1d4802 1d6850 1d7702 1d6b490b") + "{BAbc-12345" + hex("1b4a18")
        + hex("1d4803 1d6b00") + "01234567890" + hex("00 1b4a18")
        + hex("1d4800 1d6b4a12") + "(01)09501101530003" + hex("1b4a18")
        + hex("1d286b0300314304 1d286b0300314531 1d286b") + le16(url.size() + 3) + hex("315030") + url
        + hex("1d286b0300315130 1b4a18 1b7b01") + "Thank you\n" + hex("1b7b00 1b6100 1b6403 1d564110");
}

// Every page that `telvar-virtual --replay` draws from `wire`, as its size and
// a checksum of its pixels (not of the PNG file's bytes), in the order written.
static QStringList replayedPages(const QByteArray &wire)
{
    QTemporaryDir dir;
    QFile capture(dir.filePath(QStringLiteral("capture.bin")));
    if (!capture.open(QIODevice::WriteOnly) || capture.write(wire) != wire.size())
        return {QStringLiteral("cannot write the capture")};
    capture.close();
    QProcess virt;
    virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
               {"--replay", capture.fileName(), "--out", dir.filePath("pages"), "--quiet"});
    if (!virt.waitForFinished(60000) || virt.exitStatus() != QProcess::NormalExit || virt.exitCode() != 0)
        return {QStringLiteral("telvar-virtual failed: ") + QString::fromLocal8Bit(virt.readAllStandardError())};
    QStringList pages;
    for (const QString &name : QDir(dir.filePath("pages")).entryList({"job-*.png"}, QDir::Files, QDir::Name)) {
        const QImage page = QImage(dir.filePath("pages/" + name)).convertToFormat(QImage::Format_Grayscale8);
        QCryptographicHash sum(QCryptographicHash::Sha256);
        for (int y = 0; y < page.height(); ++y) // the row's dots, not its padding
            sum.addData(QByteArrayView(page.constScanLine(y), page.width()));
        pages << QStringLiteral("%1x%2:%3").arg(page.width()).arg(page.height())
                     .arg(QString::fromLatin1(sum.result().toHex().left(16)));
    }
    return pages;
}

class tst_Renderer : public QObject
{
    Q_OBJECT

    QHash<QByteArray, QByteArray> m_scripts; // the program's scripts as they reach the line

private slots:
    void initTestCase()
    {
        TelvarTest::ConnectedWindow cw;
        QVERIFY(cw.connected);
        for (const char *button :
             {"Receipt", "ReceiptFullCut", "ReceiptPartialCut", "Font", "Attributes", "Density", "Formatting",
              "Tabs", "YesText", "NoText", "Language", "Bitmap", "TestLabel", "NextLabel", "FTP638", "FTP628",
              "BarcodeUPCA", "BarcodeUPCE", "BarcodeEAN13", "BarcodeEAN8", "BarcodeITF25", "BarcodeCODE39",
              "BarcodeCODABAR", "BarcodeCODE93", "BarcodeCODE128A"}) {
            TelvarTest::click(cw.window, QByteArray("pushButton") + button);
            m_scripts.insert(button, cw.pty.readUntilQuiet());
            QVERIFY2(!m_scripts.value(button).isEmpty(), button);
        }
    }

    // Pages replayed from captures keep their pixels, whatever changes inside the renderer.
    void replayKeepsThePixels_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("pages");
        auto scripts = [this](std::initializer_list<const char *> buttons) {
            QByteArray wire;
            for (const char *button : buttons)
                wire += m_scripts.value(button);
            return wire;
        };
        QTest::newRow("receipt") << scripts({"Receipt"}) << "464x1090:736cbdeb80ae7d26";
        QTest::newRow("receipts with cuts") << scripts({"ReceiptFullCut", "ReceiptPartialCut"})
            << "464x1122:4357ad26b72d3b24 464x1122:27ea8029597e0033";
        QTest::newRow("text") << scripts({"Font", "Attributes", "Density"}) << "464x2708:26a5a5aa45d167cd";
        QTest::newRow("layout") << scripts({"Formatting", "Tabs", "YesText", "NoText"})
            << "464x1768:bce8af47c80b29ef";
        QTest::newRow("language") << scripts({"Language"}) << "464x2804:d5747284666706f3";
        QTest::newRow("QR bitmap and labels") << scripts({"Bitmap", "TestLabel", "NextLabel"})
            << "464x395:c051d964a634f15b 464x64:a21094f6a47b164d";
        QTest::newRow("80 mm receipt") << scripts({"FTP638", "Receipt", "FTP628"}) << "640x1090:3fd2d53c8162d5c7";
        QTest::newRow("bar codes")
            << scripts({"BarcodeUPCA", "BarcodeUPCE", "BarcodeEAN13", "BarcodeEAN8", "BarcodeITF25",
                        "BarcodeCODE39", "BarcodeCODABAR", "BarcodeCODE93", "BarcodeCODE128A"})
            << "464x2293:c35e19fb2b6ddf80";
        QTest::newRow("receipt software") << posReceipt() << "464x965:f63ea382099247da";
        QTest::newRow("styles and graphics")
            << hex("1b7b01") + "Upside down\n" + hex("1b7b00 1d4201") + "Reverse" + hex("1d4200 1b2d02") + "under\n"
                   + hex("1b2d00 1b3401 1b2005") + "italic spaced\n" + hex("1b3400 1b2000 1d2112") + "Big\n"
                   + hex("1d2100 1b6d01") + "light" + hex("1b6d08") + "dark\n" + hex("1b6d00 1d4c3000 1d57c800")
                   + "Narrow area of two hundred dots wraps\n" + hex("1b40 1b6102")
                   + hex("1d284c0e00 3070 300202 31 1000 0200 8001 0180 1d284c02003032")
                   + hex("1d71050101000200 ff00 1c700503 1b6101 1d76300302000200 f00f 0ff0")
                   + hex("1b2a00 0300 ff81ff 1b2a21 0200 ffffff 000000 0a 1b24 6400") + "at 100\n"
                   + hex("1d564120") + "after the cut" + hex("1d5601")
            << "464x479:6eb09ba6589c447e 464x97:b5d8193d78e1e9e1";
        QTest::newRow("paper capped at 2 m") << hex("1d76300001 00ff ff") + QByteArray(65535, '\x5a')
            << "464x16032:1de22a3d6987d0ec";
    }

    void replayKeepsThePixels()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, pages);
        QCOMPARE(replayedPages(wire).join(' '), pages);
    }

    // Where the text line's ink starts and ends, in print-area dots (min, max, min, max).
    void textPlacement_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QList<int>>("b");
        QTest::newRow("left, after a reset") << hex("1b6c08 1b40") << QList<int>{0, 3, 30, 44};
        QTest::newRow("center") << hex("1b6101") << QList<int>{160, 175, 200, 230};
        QTest::newRow("right") << hex("1b6102") << QList<int>{330, 345, 375, 384};
        QTest::newRow("left margin 8 mm") << hex("1b6c08") << QList<int>{64, 67, 90, 110};
        QTest::newRow("area ends at 38 mm") << hex("1b5126 1b6102") << QList<int>{255, 265, 295, 304};
        QTest::newRow("absolute position 50") << hex("1b243200") << QList<int>{50, 53, 80, 95};
        QTest::newRow("tab to 24 mm") << hex("1b4408182600 0909") << QList<int>{192, 195, 220, 236};
        QTest::newRow("double width") << hex("1b2120") << QList<int>{0, 4, 70, 88};
        QTest::newRow("small font") << hex("1b4d01") << QList<int>{0, 3, 22, 32};
        QTest::newRow("GS L 64 dots") << hex("1d4c4000") << QList<int>{64, 67, 90, 110};
        QTest::newRow("GS W 200 dots, right") << hex("1d57c800 1b6102") << QList<int>{156, 160, 190, 200};
        QTest::newRow("GS W after ESC Q") << hex("1b5126 1d57c800 1b6102") << QList<int>{156, 160, 190, 200};
        QTest::newRow("relative +50") << hex("1b5c3200") << QList<int>{50, 53, 80, 95};
        QTest::newRow("GS ! 10: double width") << hex("1d2110") << QList<int>{0, 4, 70, 88};
        QTest::newRow("character spacing 5") << hex("1b2005") << QList<int>{0, 3, 45, 64};
    }

    void textPlacement()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QList<int>, b);
        const Ink ink = inkOf(wire + "abcd\n");
        const int l = ink.box.left(), r = ink.box.right();
        QVERIFY2(ink.dots > 50 && b[0] <= l && l <= b[1] && b[2] <= r && r <= b[3],
                 qPrintable(QStringLiteral("%1 dots from %2 to %3").arg(ink.dots).arg(l).arg(r)));
    }

    void settingsChangeTheInk()
    {
        auto ink = [](const char *setting) { return inkOf(hex(setting) + "ABCDEFGH\n"); };
        const Ink normal = ink("1b2100"), bold = ink("1b2108"), reverse = ink("1b2140"),
                  underline = ink("1b2180"), tall = ink("1b2110");
        QVERIFY(bold.dots > normal.dots * 1.2);
        QVERIFY(reverse.dots > normal.dots * 3);
        QVERIFY(underline.dots > normal.dots && underline.box.bottom() > normal.box.bottom());
        QVERIFY(tall.box.height() > normal.box.height() * 1.7);
        QCOMPARE(tall.box.width(), normal.box.width());
        QVERIFY(ink("1b6d01").darkest > ink("1b6d08").darkest + 100); // darkness 1 and 8
        const Ink wrapped = inkOf(QByteArray(40, 'W') + "\n"); // longer than the print area: two lines
        QVERIFY(wrapped.box.height() > 40 && wrapped.box.right() < 384);
        // GS h sets the bars' height, GS H the text below them, GS w the module width.
        auto code = [](const char *set) { return inkOf(hex(set) + hex("1d6840 1d6b4908") + "12345678"); };
        const Ink withText = code("1d4801 1d7703"), without = code("1d4800 1d7703"),
                  narrow = code("1d4800 1d7701");
        QCOMPARE(without.box.height(), 64);
        QVERIFY(withText.box.height() > 64 + 8);
        QVERIFY(qAbs(without.box.width() - 3 * narrow.box.width()) < 6);
    }

    // The wider language's styles against plain text of the same line.
    void styles()
    {
        auto ink = [](const char *setting) { return inkOf(hex(setting) + "ABCDEFGH\n"); };
        const Ink plain = ink(""), bold = ink("1b4501"), strike = ink("1b4701"), reverse = ink("1d4201"),
                  one = ink("1b2d01"), two = ink("1b2d02"), big = ink("1d2111"), italic = ink("1b3401");
        QVERIFY(bold.dots > plain.dots * 1.2);
        QCOMPARE(strike.dots, bold.dots);
        QVERIFY(reverse.dots > plain.dots * 3);
        // The underline runs under the whole line: 88 dots a row, one or two rows.
        QCOMPARE(one.dots - plain.dots, 88);
        QCOMPARE(two.dots - plain.dots, 2 * 88);
        QVERIFY(qAbs(big.box.width() - 2 * plain.box.width()) <= 2);
        QVERIFY(qAbs(big.box.height() - 2 * plain.box.height()) <= 2);
        QVERIFY(italic.dots != plain.dots || italic.box != plain.box);
        QCOMPARE(ink("1b4501 1b4500").dots, plain.dots);
        QCOMPARE(ink("1b4501 1b40").dots, plain.dots); // a reset ends every style
        // Upside down: the line turned by 180 degrees within the paper.
        const QImage up = Printout("Ab\n").page(), down = Printout(hex("1b7b01") + "Ab\n").page();
        const QRect line(kSide, kTop, 384, 24);
        QCOMPARE(down.copy(line), up.copy(line).mirrored(true, true));
    }

    // 24-dot columns: the first byte's top bit is the top dot; single density
    // draws each column two dots wide, 8-dot columns are three dots tall.
    void columnImages()
    {
        const QImage page = Printout(hex("1b2a21 0300 800001 000000 ffffff 0a")).page();
        const Ink ink = inkIn(page);
        QCOMPARE(ink.dots, 2 + 24);
        QCOMPARE(ink.box, QRect(0, 0, 3, 24));
        for (const QPoint &p : {QPoint(0, 0), QPoint(0, 23), QPoint(2, 11)})
            QVERIFY(page.pixelColor(kSide + p.x(), kTop + p.y()).lightness() < 128);
        QCOMPARE(inkOf(hex("1b2a20 0100 800000 0a")).box, QRect(0, 0, 2, 1));
        QCOMPARE(inkOf(hex("1b2a00 0100 80 0a")).box, QRect(0, 0, 2, 3));
        QCOMPARE(inkOf(hex("1b6101 1b2a01 0200 ffff 0a")).box, QRect(191, 0, 2, 24));
        // Strips at a spacing of 24 dots touch.
        QCOMPARE(inkOf(hex("1b3318 1b2a21 0100 ffffff 0a 1b2a21 0100 ffffff 0a")).box, QRect(0, 0, 1, 48));
    }

    // GS ( L and GS 8 L: stored by function 112, printed by 50, scaled and aligned.
    void storedGraphics()
    {
        const QByteArray store = hex("1d284c0e00 3070 300101 31 1000 0200 8001 0180");
        QCOMPARE(inkOf(store + hex("1d284c02003032")).box, QRect(0, 0, 16, 2));
        QCOMPARE(inkOf(hex("1b6101 1d384c0e000000 3070 300202 31 1000 0200 8001 0180 1d384c020000003032")).dots,
                 16);
        QCOMPARE(inkOf(hex("1b6101") + store + hex("1d284c02003032")).box.left(), 184);
        Printout twice(store + hex("1d284c02003032 1d284c02003032"));
        QVERIFY(twice.listing.contains(QStringLiteral("   no graphics stored to print")));
        QCOMPARE(inkIn(twice.page()).dots, 4);
    }

    void barcodesScanBack_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("read");
        QTest::newRow("Code 128 {B") << hex("1d6b490b") + "{BAbc-12345" << "CODE-128:Abc-12345";
        QTest::newRow("Code 128 {A {C") << hex("1d6b490a") + "{ANo.{C" + hex("0c2238") << "CODE-128:No.123456";
        QTest::newRow("UPC-E from 11 digits") << hex("1d6b420b") + "01234500006" << "UPC-E:01234565";
        QTest::newRow("UPC-E from 12 digits") << hex("1d6b420c") + "012345000065" << "UPC-E:01234565";
        QTest::newRow("UPC-E, manufacturer x100") << hex("1d6b420b") + "04210000074" << "UPC-E:04207410";
        QTest::newRow("UPC-E, manufacturer xx00") << hex("1d6b420b") + "01230000045" << "UPC-E:01234531";
        QTest::newRow("UPC-E, manufacturer xxx0") << hex("1d6b420b") + "01234000005" << "UPC-E:01234543";
        QTest::newRow("older UPC-A") << hex("1d6b00") + "01234567890" + hex("00") << "UPC-A:012345678905";
        QTest::newRow("older EAN-13") << hex("1d6b02") + "401234567890" + hex("00") << "EAN-13:4012345678901";
        QTest::newRow("older EAN-8") << hex("1d6b03") + "4012345" + hex("00") << "EAN-8:40123455";
        QTest::newRow("older Code 39") << hex("1d6b04") + "RC30X" + hex("00") << "CODE-39:RC30X";
        QTest::newRow("older ITF") << hex("1d6b05") + "12345678" + hex("00") << "I2/5:12345678";
        QTest::newRow("older Codabar") << hex("1d6b06") + "A40156B" + hex("00") << "Codabar:A40156B";
        QTest::newRow("GS1-128") << hex("1d6b4a12") + "(01)09501101530003" << "CODE-128:0109501101530003";
        QTest::newRow("GS1-128 brackets") << hex("1d6b4a12") + "[01]09501101530003" << "CODE-128:0109501101530003";
        // As receipt software sends it: the identifiers read by their lengths, an FNC1 after a variable one.
        QTest::newRow("GS1-128 plain") << hex("1d6b4a10") + "0112345678901231" << "CODE-128:0112345678901231";
        QTest::newRow("GS1-128 plain, leading FNC1") << hex("1d6b4a12") + "{10112345678901231"
                                                     << "CODE-128:0112345678901231";
        QTest::newRow("GS1-128 plain, date and weight") << hex("1d6b4a12") + "171912313103001234"
                                                        << "CODE-128:171912313103001234";
        QTest::newRow("GS1-128 plain, lot {1 serial") << hex("1d6b4a0f") + "10AB-1{1217\x1d" + "10A"
                                                      << "CODE-128:10AB-1\x1d" "217\x1d" "10A";
    }

    void barcodesScanBack()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, read);
        Printout out(hex("1b6101 1d7702") + wire + hex("1b6403"));
        QCOMPARE(out.listing.filter(QStringLiteral("not printed")), QStringList());
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {"-q", "-Supca.enable", "-Supce.enable", "-Scodabar.enable",
                                               "-Si25.enable", out.controller.pagesWritten().value(0)});
        QVERIFY2(zbar.waitForStarted(), "zbarimg (zbar-tools) is missing; test.sh installs it");
        QVERIFY(zbar.waitForFinished(20000));
        QCOMPARE(QString::fromLatin1(zbar.readAllStandardOutput().trimmed()), read);
    }

    void barcodeRefusals_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("note");
        QTest::newRow("UPC-A without UPC-E form") << hex("1d6b420b") + "01234567890"
                                                  << "   bar code not printed: 01234567890 has no UPC-E form";
        QTest::newRow("wrong check digit") << hex("1d6b420c") + "012345000064" << "   bar code not printed: ";
        QTest::newRow("set C past 99") << hex("1d6b4903") + "{C" + hex("64")
                                       << "   bar code not printed: byte 100 in code set C (00 to 99)";
        QTest::newRow("brace at the end") << hex("1d6b4903") + "{B{"
                                          << "   bar code not printed: a { at the end of the data";
        const QString gs1 = "   bar code not printed: GS1-128 data: ";
        QTest::newRow("GS1 fixed length cut short") << hex("1d6b4a04") + "0101"
                                                    << gs1 + "(01) takes 14 characters, 2 came";
        QTest::newRow("GS1 FNC1 inside a fixed length") << hex("1d6b4a0a") + "17191{1231"
                                                        << gs1 + "(17) takes 6 characters, 3 came";
        QTest::newRow("GS1 no such identifier") << hex("1d6b4a08") + "14123456"
                                                << gs1 + "no application identifier at \"14123456\"";
        QTest::newRow("GS1 letters for digits") << hex("1d6b4a10") + "01ABCDEFGHIJKLMN"
                                                << gs1 + "(01) takes digits only, not \"ABCDEFGHIJKLMN\"";
        QTest::newRow("GS1 variable length too long") << hex("1d6b4a17") + "10" + QByteArray(21, 'A')
                                                      << gs1 + "(10) takes at most 20 characters, 21 came";
        QTest::newRow("GS1 variable length empty") << hex("1d6b4a09") + "10{121123"
                                                   << gs1 + "(10) takes 1 to 20 characters, 0 came";
        QTest::newRow("GS1 blank in the data")
            << hex("1d6b4a07") + "10AB CD" << gs1 + "(10) takes letters, digits and GS1 punctuation, not \"AB CD\"";
        QTest::newRow("GS1 FNC1 alone") << hex("1d6b4a02") + "{1" << gs1 + "no application identifier";
        QTest::newRow("FNC1") << hex("1d6b4906") + "{B{1AB" << "   1 function characters not drawn";
    }

    void barcodeRefusals()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, note);
        const QStringList listing = Printout(wire + hex("1b40") + "next\n").listing;
        QVERIFY2(!listing.filter(note).isEmpty(), qPrintable(listing.join('\n')));
        QVERIFY(listing.contains(QStringLiteral("text \"next\"")));
    }

    // GS H 3 puts the text above the bars too; GS H 2 is below, as 1 is.
    void barcodeTextPlaces()
    {
        auto code = [](const char *where) { return inkOf(hex(where) + hex("1d6840 1d6b4908") + "12345678"); };
        const Ink below = code("1d4802"), own = code("1d4801"), both = code("1d4803"), none = code("1d4830");
        QCOMPARE(below.box, own.box);
        QCOMPARE(none.box.height(), 64);
        QVERIFY(both.box.height() > below.box.height() + 12);
    }

    void cutsFromGsV()
    {
        Printout partial("a\n" + hex("1d5601") + "b\n");
        QCOMPARE(partial.controller.pagesWritten().size(), 2);
        QVERIFY(partial.listing.contains(QStringLiteral("GS V 01  partial cut")));
        QVERIFY(partial.listing.filter(QStringLiteral("-- job ended by")).first().startsWith(
            QStringLiteral("-- job ended by a partial cut")));
        Printout full("a\n" + hex("1d5630")), fed("a\n" + hex("1d564120"));
        QVERIFY(full.listing.last().startsWith(QStringLiteral("-- job ended by a full cut")));
        QCOMPARE(fed.page().height(), full.page().height() + 32);
    }

    void realTimeStatus()
    {
        QTemporaryDir dir;
        Controller controller(dir.path());
        QCOMPARE(controller.receive(hex("100401 100504 100402")), QByteArray("\x12\x12"));
        QCOMPARE(controller.receive(hex("1004")), QByteArray()); // the real-time byte may follow
        QVERIFY(controller.awaitsQueryByte());
        QCOMPARE(controller.settle(), statusAnswer());
        QCOMPARE(controller.receive(hex("1005 1b40")), firmwareAnswer());
        QVERIFY(!controller.awaitsQueryByte());
        QCOMPARE(controller.settle(), QByteArray());
    }

    void receiptSoftware()
    {
        const QByteArray wire = posReceipt();
        QStringList listing;
        for (const Command &c : decodeAll(wire))
            listing << describe(c);
        QCOMPARE(listing.filter(QRegularExpression("^(unknown|truncated)|cut short|not drawn")), QStringList());
        QCOMPARE(listing.size(), 56);
        for (const char *line : {"GS ( L  graphics 64x24 dots stored (192 bytes)", "text \"Corner Café\"",
                                 "ESC * 21  column image 24-dot double density, 128 columns (384 bytes)",
                                 "GS V 41 10  feed 16 dots and full cut"})
            QVERIFY2(listing.contains(QString::fromUtf8(line)), line);
        Printout out(wire);
        QCOMPARE(out.listing.filter(QRegularExpression("^   ")), QStringList()); // no notes
        QCOMPARE(out.controller.pagesWritten().size(), 1);
        QVERIFY(out.listing.last().startsWith(QStringLiteral("-- job ended by a full cut")));
        const QImage page = out.page();
        QCOMPARE(inkIn(page.copy(0, 0, page.width(), kTop + 24)).box, QRect(160, 0, 64, 24)); // the logo, centred
        const Ink title = inkIn(page.copy(0, kTop + 24, page.width(), 50));
        QVERIFY(title.box.height() > 30 && qAbs(title.box.center().x() - 192) <= 3); // double size, centred
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {"-q", "-Supca.enable", out.controller.pagesWritten().value(0)});
        QVERIFY2(zbar.waitForStarted(), "zbarimg (zbar-tools) is missing; test.sh installs it");
        QVERIFY(zbar.waitForFinished(20000));
        QStringList codes = QString::fromLatin1(zbar.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        codes.sort();
        QCOMPARE(codes, QStringList({"CODE-128:0109501101530003", "CODE-128:Abc-12345",
                                     "QR-Code:https://example.com/r/1234", "UPC-A:012345678905"}));
    }

    void imagesLandExactly()
    {
        // Row 0: the far left and right dots of 16; row 1: the middle two.
        const QImage page = Printout(hex("1d76300002000200 8001 0180")).page();
        for (const QPoint &p : {QPoint(0, 0), QPoint(15, 0), QPoint(7, 1), QPoint(8, 1)})
            QVERIFY(page.pixelColor(kSide + p.x(), kTop + p.y()).lightness() < 128);
        QCOMPARE(inkIn(page).dots, 4);
        QCOMPARE(inkOf(hex("1d76300301000100 80")).dots, 4); // mode 3: 2 by 2
        QCOMPARE(inkOf(hex("1b6101 1d76300002000100 ffff")).box.left(), 184);
        // A stored bitmap prints every time it is asked for.
        Printout stored(hex("1d71050001000200 ff00 1c700500 1c700500 1c700900"));
        QCOMPARE(inkIn(stored.page()).dots, 16);
        QVERIFY(stored.listing.contains(QStringLiteral("   no bitmap stored under 9")));
    }

    void pages()
    {
        Printout out("one\n" + hex("1b69") + "two\n" + hex("1b6e") + "three\n" + hex("1d06") + "four\n"
                     + hex("1b5a05") + "wide\n" + hex("1b5a00") + "y\n");
        const QStringList pages = out.controller.pagesWritten();
        QCOMPARE(pages.size(), 6);
        QVERIFY(pages.at(3).endsWith(QLatin1String("/job-0004.png")));
        for (int i : {3, 4, 5}) // 58 mm, 80 mm, 58 mm again
            QCOMPARE(QImage(pages.at(i)).width(), i == 4 ? 576 + 2 * 32 : 384 + 2 * 40);
        QVERIFY(out.listing.last().startsWith(QStringLiteral("-- job ended by silence on the line")));
        QVERIFY(Printout(hex("1004")).controller.pagesWritten().isEmpty()); // a query prints nothing
        Controller again(out.dir.path()); // numbering goes on after the pages already there
        again.receive("five\n");
        again.silence();
        QVERIFY(again.pagesWritten().value(0).endsWith(QLatin1String("/job-0007.png")));
    }

    // A page that cannot be written says why and leaves no file behind.
    void unwritablePage()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("job-0001.png")));
        Controller controller(dir.path());
        QStringList listing;
        controller.onListing = [&listing](const QString &line) { listing << line; };
        controller.receive("a\n" + hex("1b69"));
        const QString failed = "-- job ended by a full cut: could not write " + dir.filePath("job-0001.png") + ": ";
        QVERIFY2(listing.last().startsWith(failed) && listing.last().size() > failed.size(), qPrintable(listing.last()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(controller.pagesWritten().isEmpty());
        // The library's save, for a page saved by hand: whole or not at all.
        const QImage page = Printout("a\n" + hex("1b4aff")).controller.lastPage();
        QString error;
        QVERIFY(!Paper::savePng(page, dir.filePath("no/such/folder/page.png"), &error) && !error.isEmpty());
        QVERIFY(Paper::savePng(page, dir.filePath("page.png"), &error));
        QCOMPARE(QImage(dir.filePath("page.png")), page);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"page.png"});
    }

    // Streams found by fuzzing and by replaying other software's bytes: none
    // takes the controller down, every page stays within the 2 m of paper
    // drawn, a cut with nothing printed ends no page, and the next job prints.
    void hostileStreams_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("pages"); // -1: any number
        QTest::addColumn<QString>("note");
        QList<quint32> noise(75000);
        QRandomGenerator(99).fillRange(noise.data(), noise.size());
        const QByteArray random(reinterpret_cast<const char *>(noise.constData()), 4 * noise.size());
        QTest::newRow("random bytes") << random << -1 << "";
        const QString capped = "   paper capped at 2000 mm (16000 dot rows): the rest of this job is not drawn";
        QTest::newRow("65535 inked rows") << hex("1d76300001 00ff ff") + QByteArray(65535, '\xff') + hex("1b40")
                                          << 1 << capped;
        const QString past = "   column image not printed: the position is past the end of the print area";
        QTest::newRow("column image right of ESC l") << hex("1b242000 1b6cff 1b2a000100") << 0 << past;
        QTest::newRow("column image right of GS L") << hex("1b242c01 1d4cffff 1b2a00ff0a") << 0 << past;
        // 343 feeds to the limit, each cut; the last 2 m end with the silence.
        QTest::newRow("2 m feeds and cuts, 64 KiB")
            << (hex("1b4aff").repeated(63) + hex("1b69")).repeated(344).left(65536) << 344 << capped;
        QTest::newRow("24,576 cuts") << hex("1b69").repeated(24576) << 0
                                     << "-- a full cut with nothing printed: no page";
        QTest::newRow("cuts of all kinds after a page") << "a\n" + hex("1b69 1b6e 1d5630 1d5601 1d564100") << 1
                                                        << "-- a partial cut with nothing printed: no page";
    }

    void hostileStreams()
    {
        QFETCH(QByteArray, wire);
        QFETCH(int, pages);
        QFETCH(QString, note);
        Printout out(wire);
        const QStringList written = out.controller.pagesWritten();
        if (pages >= 0)
            QCOMPARE(written.size(), pages);
        QVERIFY2(note.isEmpty() || out.listing.contains(note), qPrintable(out.listing.mid(0, 20).join('\n')));
        static const QRegularExpression size(QStringLiteral("^-- job ended by .*\\((\\d+) x (\\d+) dots\\)$"));
        for (const QString &line : out.listing.filter(size)) {
            const QRegularExpressionMatch m = size.match(line);
            QVERIFY2(m.captured(1).toInt() == 464 && m.captured(2).toInt() <= 16 + Paper::kMaxPaperRows + 48,
                     qPrintable(line));
        }
        out.controller.receive(hex("1c2e 1b40") + "still here\n");
        out.controller.silence();
        QVERIFY(out.listing.contains(QStringLiteral("text \"still here\"")));
        QCOMPARE(out.controller.pagesWritten().size(), written.size() + 1);
    }

    void qrScansBack()
    {
        const QByteArray text = "Printer Telvar virtual QR";
        Printout out(hex("1b6101 1d286b0300314306 1d286b0300314533 1d286b") + char(text.size() + 3)
                     + hex("00 315030") + text + hex("1d286b0300315130 1b6402"));
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("-q"), out.controller.pagesWritten().value(0)});
        QVERIFY2(zbar.waitForStarted(), "zbarimg (zbar-tools) is missing; test.sh installs it");
        QVERIFY(zbar.waitForFinished(20000));
        QCOMPARE(zbar.readAllStandardOutput().trimmed(), "QR-Code:" + text);
        const QRect box = inkIn(out.page()).box; // centred, of 6-dot modules
        QVERIFY(box.width() == box.height() && box.width() % 6 == 0 && qAbs(box.center().x() - 192) <= 3);
    }
};

QTEST_MAIN(tst_Renderer)
#include "tst_renderer.moc"

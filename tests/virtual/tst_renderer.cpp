// The paper that the virtual controller draws: where ink lands, and that bar
// codes and QR symbols scan back to their data.

#include "controller.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Virtual;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The printed area of a 58 mm page starts this far from the page's corner.
constexpr int kSide = 40, kTop = 16;

struct Ink
{
    QRect box;      // bounding box of all ink, in print-area dots
    int dots = 0;   // number of inked pixels
    int darkest = 255;
};

Ink inkIn(const QImage &page, QRect area = QRect())
{
    if (area.isNull())
        area = QRect(0, 0, page.width(), page.height());
    Ink ink;
    for (int y = area.top(); y <= area.bottom() && y < page.height(); ++y) {
        const uchar *line = page.constScanLine(y);
        for (int x = area.left(); x <= area.right() && x < page.width(); ++x) {
            if (line[x] < 230) {
                ++ink.dots;
                ink.darkest = qMin<int>(ink.darkest, line[x]);
                ink.box |= QRect(x - kSide, y - kTop, 1, 1);
            }
        }
    }
    return ink;
}

class Printout
{
public:
    explicit Printout(const QByteArray &wire)
        : controller(dir.path())
    {
        controller.onListing = [this](const QString &line) { listing << line; };
        answer = controller.receive(wire);
        controller.silence();
    }
    QImage page(int index = -1) const
    {
        const QStringList pages = controller.pagesWritten();
        if (pages.isEmpty())
            return QImage();
        return QImage(pages.at(index < 0 ? pages.size() - 1 : index)).convertToFormat(QImage::Format_Grayscale8);
    }
    QTemporaryDir dir;
    Controller controller;
    QStringList listing;
    QByteArray answer;
};

QString zbar(const QString &png, const QStringList &options)
{
    QProcess p;
    p.start(QStringLiteral("zbarimg"), QStringList{QStringLiteral("-q")} + options + QStringList{png});
    p.waitForFinished(20000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

} // namespace

class tst_Renderer : public QObject
{
    Q_OBJECT

private slots:
    void textPlacement_data();
    void textPlacement();
    void attributesChangeTheInk();
    void rasterDotsLandExactly();
    void storedBitmapPrintsAgain();
    void printHeadSelectsPaperWidth();
    void jobsEndAtCutsLabelsAndSilence();
    void absurdSizesAreCapped();
    void randomBytesDrawWithinBounds();
    void answers();
    void barcodesScanBack_data();
    void barcodesScanBack();
    void barcodeTextSwitch();
    void nativeQrScansBack();
};

// Where the first text line's ink lies, in print-area dots.
void tst_Renderer::textPlacement_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("minLeft");
    QTest::addColumn<int>("maxLeft");
    QTest::addColumn<int>("minRight");
    QTest::addColumn<int>("maxRight");

    const QByteArray word = "abcd\n";
    QTest::newRow("left") << word << 0 << 3 << 30 << 44;
    QTest::newRow("center") << hex("1b6101") + word << 160 << 175 << 200 << 230;
    QTest::newRow("right") << hex("1b6102") + word << 330 << 345 << 375 << 384;
    QTest::newRow("left margin 8 mm") << hex("1b6c08") + word << 64 << 67 << 90 << 110;
    QTest::newRow("right edge 38 mm, right aligned") << hex("1b5126 1b6102") + word << 255 << 265 << 295 << 304;
    QTest::newRow("absolute position 50") << hex("1b243200") + word << 50 << 53 << 80 << 95;
    QTest::newRow("tab to 24 mm") << hex("1b4408182600 0909") + word << 192 << 195 << 220 << 236;
    QTest::newRow("double width") << hex("1b2120") + word << 0 << 4 << 70 << 88;
    QTest::newRow("small font") << hex("1b4d01") + word << 0 << 3 << 22 << 32;
    QTest::newRow("reset clears the margin") << hex("1b6c08 1b40") + word << 0 << 3 << 30 << 44;
}

void tst_Renderer::textPlacement()
{
    QFETCH(QByteArray, wire);
    QFETCH(int, minLeft);
    QFETCH(int, maxLeft);
    QFETCH(int, minRight);
    QFETCH(int, maxRight);
    Printout out(wire);
    const Ink ink = inkIn(out.page());
    QVERIFY2(ink.dots > 50, "no ink");
    QVERIFY2(ink.box.left() >= minLeft && ink.box.left() <= maxLeft
                 && ink.box.right() >= minRight && ink.box.right() <= maxRight,
             qPrintable(QStringLiteral("ink from %1 to %2").arg(ink.box.left()).arg(ink.box.right())));
}

void tst_Renderer::attributesChangeTheInk()
{
    const Ink normal = inkIn(Printout(hex("1b2100") + "ABCDEFGH\n").page());
    const Ink bold = inkIn(Printout(hex("1b2108") + "ABCDEFGH\n").page());
    const Ink reverse = inkIn(Printout(hex("1b2140") + "ABCDEFGH\n").page());
    const Ink underline = inkIn(Printout(hex("1b2180") + "ABCDEFGH\n").page());
    const Ink tall = inkIn(Printout(hex("1b2110") + "ABCDEFGH\n").page());
    const Ink light = inkIn(Printout(hex("1b6d01") + "ABCDEFGH\n").page());
    const Ink dark = inkIn(Printout(hex("1b6d08") + "ABCDEFGH\n").page());

    QVERIFY(bold.dots > normal.dots * 1.2);
    QVERIFY(reverse.dots > normal.dots * 3);
    QVERIFY(underline.dots > normal.dots);
    QVERIFY(underline.box.bottom() > normal.box.bottom());
    QVERIFY(tall.box.height() > normal.box.height() * 1.7);
    QCOMPARE(tall.box.width(), normal.box.width());
    QVERIFY(light.darkest > dark.darkest + 100);

    // A line longer than the print area goes on in a second line.
    const Ink wrapped = inkIn(Printout(QByteArray(40, 'W') + "\n").page());
    QVERIFY(wrapped.box.height() > 40);
    QVERIFY(wrapped.box.right() < 384);
}

void tst_Renderer::rasterDotsLandExactly()
{
    // Two rows of two bytes: a dot at the far left and right of row 0, the
    // middle two dots of row 1.
    Printout out(hex("1d76300002000200 8001 0180"));
    const QImage page = out.page();
    QVERIFY(page.pixelColor(kSide + 0, kTop).lightness() < 128);
    QVERIFY(page.pixelColor(kSide + 15, kTop).lightness() < 128);
    QVERIFY(page.pixelColor(kSide + 7, kTop + 1).lightness() < 128);
    QVERIFY(page.pixelColor(kSide + 8, kTop + 1).lightness() < 128);
    QCOMPARE(inkIn(page).dots, 4);

    // Double width and height (mode 3) makes every dot 2 by 2.
    QCOMPARE(inkIn(Printout(hex("1d76300301000100 80")).page()).dots, 4);
    // Centred, the 16 dots sit in the middle of the 384.
    QCOMPARE(inkIn(Printout(hex("1b6101 1d76300002000100 ffff")).page()).box.left(), 184);
}

void tst_Renderer::storedBitmapPrintsAgain()
{
    Printout out(hex("1d71050001000200 ff00 1c700500 1c700500 1c700900"));
    QCOMPARE(inkIn(out.page()).dots, 16);
    QVERIFY(out.listing.contains(QStringLiteral("   no bitmap stored under 9")));
}

void tst_Renderer::printHeadSelectsPaperWidth()
{
    Printout out(hex("1b6102") + "x\n" + hex("1b5a05") + hex("1b6102") + "x\n" + hex("1b5a00") + "y\n");
    QCOMPARE(out.controller.pagesWritten().size(), 3);
    QCOMPARE(out.page(0).width(), 384 + 2 * 40);
    QCOMPARE(out.page(1).width(), 576 + 2 * 32);
    QCOMPARE(out.page(2).width(), 384 + 2 * 40);
    QVERIFY(out.listing.contains(QStringLiteral("   paper is now 576 dots wide")));
}

void tst_Renderer::jobsEndAtCutsLabelsAndSilence()
{
    Printout out(QByteArray("one\n") + hex("1b69") + "two\n" + hex("1b6e") + "three\n" + hex("1d06")
                 + "four\n" + hex("1005"));
    const QStringList pages = out.controller.pagesWritten();
    QCOMPARE(pages.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(QFileInfo(pages.at(i)).fileName(), QStringLiteral("job-%1.png").arg(i + 1, 4, 10, QLatin1Char('0')));
    QVERIFY(out.listing.last().startsWith(QStringLiteral("-- job ended by silence on the line")));

    // A query alone prints nothing, so it makes no page.
    Printout query(hex("1004"));
    QVERIFY(query.controller.pagesWritten().isEmpty());

    // Numbering goes on after the pages already in the folder.
    Controller again(out.dir.path());
    again.receive("five\n");
    again.silence();
    QCOMPARE(QFileInfo(again.pagesWritten().value(0)).fileName(), QStringLiteral("job-0005.png"));
}

void tst_Renderer::absurdSizesAreCapped()
{
    // 65535 rows of 1 byte, all inked, then a command that must still work.
    QByteArray wire = hex("1d76300001 00ff ff");
    wire += QByteArray(65535, '\xff');
    wire += hex("1b40") + "after\n";
    Printout out(wire);
    QVERIFY(out.listing.contains(QStringLiteral("text \"after\"")));
    QVERIFY(!out.listing.filter(QStringLiteral("paper capped at 2000 mm")).isEmpty());
    QVERIFY(out.page().height() <= kMaxPaperRows + 100);

    // A header announcing 4 GiB that never comes: what arrived is drawn, the
    // job ends at the silence and the next job prints normally.
    Printout stalled(hex("1d763000ffffffff") + QByteArray(1000, '\xff'));
    QVERIFY(stalled.page().height() < 100);
    stalled.controller.receive("next\n" + hex("1b69"));
    QCOMPARE(stalled.controller.pagesWritten().size(), 2);
    QVERIFY(inkIn(stalled.page()).dots > 50);
}

void tst_Renderer::randomBytesDrawWithinBounds()
{
    QRandomGenerator random(99);
    QByteArray noise(300000, '\0');
    for (char &b : noise)
        b = char(random.bounded(256));
    Printout out(noise);
    QVERIFY(!out.controller.pagesWritten().isEmpty());
    for (int i = 0; i < out.controller.pagesWritten().size(); ++i)
        QVERIFY(out.page(i).height() <= kMaxPaperRows + 100);
    // Stored bitmaps beyond what the flash holds (4 MiB) are refused, not kept.
    Printout flash(QByteArray{});
    for (int location = 0; location < 5; ++location)
        flash.controller.receive(hex("1d71") + QByteArray(1, char(location)) + hex("00 0010 0001")
                               + QByteArray(0x100000, '\x01'));
    QCOMPARE(flash.listing.filter(QStringLiteral("bitmap not stored")).size(), 1);
    QVERIFY(flash.listing.last().startsWith(QStringLiteral("   bitmap not stored")));
    // The controller still reads the next job.
    out.controller.receive(hex("1c2e 1b40") + "still here\n");
    out.controller.silence();
    QCOMPARE(out.listing.filter(QStringLiteral("text \"still here\"")).size(), 1);
}

void tst_Renderer::answers()
{
    Printout out(hex("1005 1b40 1004"));
    QCOMPARE(out.answer, firmwareAnswer() + statusAnswer());
    for (char b : out.answer) {
        QVERIFY(b != 0x11 && b != 0x13);
        QVERIFY(uchar(b) < 0x80);
    }
}

void tst_Renderer::barcodesScanBack_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("scanned");
    auto row = [](const char *name, char symbology, const QByteArray &data, char width,
                  const QStringList &options, const QString &scanned) {
        QTest::newRow(name) << hex("1b40 1d77") + QByteArray(1, width) + hex("1d6840 1d6b") + QByteArray(1, symbology)
                + QByteArray(1, char(data.size())) + data + hex("1b6402")
                            << options << scanned;
    };
    // zbar reports the check digits that the controller adds.
    row("UPC-A", 'A', "01234567890", 3, {"-Supca.enable"}, "UPC-A:012345678905");
    row("UPC-E", 'B', "012345", 3, {"-Supce.enable"}, "UPC-E:00123457");
    row("EAN-13", 'C', "012345678901", 3, {}, "EAN-13:0123456789012");
    row("EAN-8", 'D', "0123456", 3, {}, "EAN-8:01234565");
    row("Code 39", 'E', "123456RC302", 2, {}, "CODE-39:123456RC302");
    row("ITF", 'F', "12345678", 3, {}, "I2/5:12345678");
    row("Codabar", 'G', "a123456a", 3, {}, "Codabar:A123456A");
    row("Code 93", 'H', "12345678", 3, {}, "CODE-93:12345678");
    row("Code 128", 'I', "12345678", 2, {}, "CODE-128:12345678");
}

void tst_Renderer::barcodesScanBack()
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        QSKIP("zbarimg (zbar-tools) is not installed");
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, options);
    QFETCH(QString, scanned);
    Printout out(wire);
    QCOMPARE(out.listing.filter(QStringLiteral("not printed")), QStringList());
    QCOMPARE(zbar(out.controller.pagesWritten().value(0), options), scanned);
}

void tst_Renderer::barcodeTextSwitch()
{
    const QByteArray code = hex("1d7703 1d6840 1d6b4908") + "12345678";
    const Ink withText = inkIn(Printout(hex("1d4801") + code).page());
    const Ink without = inkIn(Printout(hex("1d4800") + code).page());
    QCOMPARE(without.box.height(), 64);
    QVERIFY(withText.box.height() > 64 + 8);
    // The module width sets the bar code's width.
    const Ink narrow = inkIn(Printout(hex("1d4800 1d7701 1d6840 1d6b4908") + "12345678").page());
    QVERIFY(qAbs(without.box.width() - 3 * narrow.box.width()) < 6);
}

void tst_Renderer::nativeQrScansBack()
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty())
        QSKIP("zbarimg (zbar-tools) is not installed");
    const QByteArray text = "Printer Telvar virtual QR";
    QByteArray wire = hex("1b6101 1d286b0300314306 1d286b0300314533 1d286b") + QByteArray(1, char(text.size() + 3))
        + hex("00 315030") + text + hex("1d286b0300315130 1b6402");
    Printout out(wire);
    QCOMPARE(zbar(out.controller.pagesWritten().value(0), {}), QStringLiteral("QR-Code:") + text);
    const Ink ink = inkIn(out.page());
    QVERIFY(ink.box.width() == ink.box.height());
    QCOMPARE(ink.box.width() % 6, 0);
    QVERIFY(qAbs(ink.box.center().x() - 192) <= 3);
}

QTEST_MAIN(tst_Renderer)
#include "tst_renderer.moc"

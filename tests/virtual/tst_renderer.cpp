// The paper that the virtual controller draws: where the ink lands.

#include "controller.h"

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

class tst_Renderer : public QObject
{
    Q_OBJECT

private slots:
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

    // 65535 inked rows, then random bytes: the paper stops at 2 m and the next command still works.
    void hostileInput()
    {
        Printout tall(hex("1d76300001 00ff ff") + QByteArray(65535, '\xff') + hex("1b40") + "after\n");
        QVERIFY(tall.listing.contains(QStringLiteral("text \"after\"")));
        QVERIFY(!tall.listing.filter("paper capped at 2000 mm").isEmpty());
        QList<quint32> noise(75000);
        QRandomGenerator(99).fillRange(noise.data(), noise.size());
        Printout out(QByteArray(reinterpret_cast<const char *>(noise.constData()), 4 * noise.size()));
        for (const QString &page : out.controller.pagesWritten() + tall.controller.pagesWritten())
            QVERIFY(QImage(page).height() <= kMaxPaperRows + 100);
        out.controller.receive(hex("1c2e 1b40") + "still here\n");
        out.controller.silence();
        QVERIFY(out.listing.contains(QStringLiteral("text \"still here\"")));
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

#include "telvartest.h"

#include "demos/data/bitmaps.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

// The Quick Test, Attributes, Density and QR Bitmap buttons, checked on the far
// end of a pseudo-terminal: every byte of the script and the log pane text.

using namespace TelvarTest;

namespace {

// ESC ! attribute, the text, LF: what one printed line of a script looks like.
QByteArray font(const QByteArray &text, char attribute)
{
    return QByteArray::fromHex("1b21") + attribute + text + '\n';
}

QByteArray bytes(const unsigned char *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

const char separator[] = ".................................";
const char lowercase[] = "abcdefghijklmnopqrstuvwxyz";

QByteArray quickTestStream()
{
    return QByteArray::fromHex("1b40" "1b6100" "1b6d04")
        + QByteArray::fromHex("1d763000" "3000" "5e00") + bytes(sampleLogoBitmap, 4512) + '\n'
        + font("======== S A M P L E ========", 0x00)
        + font("Normal 0123456 ABCD abcd", 0x00)
        + font("Bold 0123456 ABCD abcd", 0x08)
        + font("Double Width", 0x20)
        + font("Double Height", 0x10)
        + font("Reverse 0123456 ABCD abcd", 0x40)
        + font("Underlined 0123456 ABCD abcd", char(0x80))
        + font("Italic 0123456 ABCD abcd", 0x02)
        + font("Italic 0123456 ABCD abcd", char(0x82))
        + '\n'
        + QByteArray::fromHex("1d763000" "2000" "1400") + bytes(windingsIconsBitmap, 640) + '\n'
        + QByteArray::fromHex("1d763000" "0900" "1400") + bytes(windingsDigitsBitmap, 180) + '\n'
        + QByteArray::fromHex("1b6c04" "1d7703" "1d6840" "1d6b410b") + "01234567890"
        + QByteArray::fromHex("1b6c00")
        + QByteArray::fromHex("1d763000" "2000" "0001") + bytes(sampleRasterBitmap, 8192) + '\n';
}

QByteArray attributesStream()
{
    const QByteArray rest = QByteArray("\n") + lowercase + "\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789";
    return QByteArray::fromHex("1b6100" "1b40")
        + font(separator, 0x00)
        + font("Normal" + rest, 0x00)
        + font("Bold" + rest, 0x08)
        + font("Double Width" + rest, 0x20)
        + font("Double Height\nabcdefghijklmnop\nqrstuvwxyz\nABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n0123456789",
               0x10)
        + font("Reverse" + rest, 0x40)
        + font("Underlined" + rest, char(0x80))
        + font("Italic" + rest, 0x02)
        + font(QByteArray(separator) + "\n\n", 0x00);
}

QByteArray densityStream()
{
    QByteArray stream = QByteArray::fromHex("1b6100" "1b40") + font(separator, 0x00);
    for (char level = 0; level <= 8; ++level)
        stream += QByteArray::fromHex("1b6d") + level
            + font(QByteArray(1, char('0' + level)) + ": " + lowercase, 0x00);
    return stream + font(QByteArray(separator) + "\n\n", 0x00) + QByteArray::fromHex("1b6d04");
}

QByteArray qrStream()
{
    return QByteArray::fromHex("1b40" "1d763000" "1d00" "e800") + bytes(qrSampleBitmap, 6728);
}

QString lines(const QStringList &list)
{
    return list.join(QLatin1Char('\n'));
}

} // namespace

class tst_TextScripts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void script_data();
    void script();
    void quickTestOrder();
    void alignmentBeforeReset_data();
    void alignmentBeforeReset();
    void densityGrayScales();
    void qrPicture();
};

void tst_TextScripts::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_TextScripts::script_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("log");

    // The lengths are counted by hand from the script, apart from the builders.
    QTest::newRow("Quick Test") << QByteArray("pushButtonFont") << quickTestStream()
                                << 8 + (8 + 4512 + 1)
                                       + 4 * 9 + (29 + 24 + 22 + 12 + 13 + 25 + 28 + 24 + 24) + 1
                                       + (8 + 640 + 1) + (8 + 180 + 1)
                                       + (3 + 3 + 3 + 4 + 11 + 3) + (8 + 8192 + 1)
                                << lines({"Printing features:", "Normal", "Bold", "Double Width",
                                          "Double Height", "Reverse", "Underlined", "Italic",
                                          "Combined font attribute Italic and Underlined",
                                          "Printing tiny Windings Bitmaps", "Printing Bar Code",
                                          "Printing Raster Bitmap"});
    QTest::newRow("Attributes") << QByteArray("pushButtonAttributes") << attributesStream()
                                << 5 + 37 + (71 + 69 + 77 + 80 + 72 + 75 + 71 + 7 * 4) + 39
                                << lines({"Printing text attribute options:", "Normal", "Bold",
                                          "Double Width", "Double Height",
                                          "Double Width and Height", "Reverse", "Underlined",
                                          "Italic"});
    QTest::newRow("Density") << QByteArray("pushButtonDensity") << densityStream()
                             << 5 + 37 + 9 * (3 + 33) + 39 + 3
                             << lines({"Printing text darkness options:", "0 - Default", "1", "2",
                                       "3", "4", "5", "6", "7", "8"});
    QTest::newRow("QR Bitmap") << QByteArray("pushButtonBitmap") << qrStream() << 2 + 8 + 6728
                               << QStringLiteral("Printing a sample QR code");
}

void tst_TextScripts::script()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, stream);
    QFETCH(int, length);
    QFETCH(QString, log);
    QCOMPARE(stream.size(), length);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    const QByteArray wire = cw.pty.read(length);
    QCOMPARE(wire.size(), length);
    QVERIFY(wire == stream);
    QVERIFY(cw.pty.readUntilQuiet().isEmpty());
    QCOMPARE(logText(cw.window), log);
}

// The logo goes out before the first text, the raster picture last, and the
// bar code sits between the 4-dot margin and its reset.
void tst_TextScripts::quickTestOrder()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, "pushButtonFont");
    const QByteArray wire = cw.pty.read(quickTestStream().size());

    const QByteArray logoHeader = QByteArray::fromHex("1d76300030005e00");
    QCOMPARE(wire.indexOf(logoHeader), 8);
    QCOMPARE(wire.indexOf(QByteArray::fromHex("1b21")), 8 + 8 + 4512 + 1);

    const QByteArray rasterTail = QByteArray::fromHex("1d76300020000001")
        + bytes(sampleRasterBitmap, 8192) + '\n';
    QVERIFY(wire.endsWith(rasterTail));

    const qsizetype margin = wire.indexOf(QByteArray::fromHex("1b6c04"));
    const qsizetype code = wire.indexOf(QByteArray::fromHex("1d6b410b") + "01234567890");
    const qsizetype reset = wire.indexOf(QByteArray::fromHex("1b6c00"));
    QVERIFY(margin > 0);
    QVERIFY(margin < code);
    QCOMPARE(reset, code + 4 + 11);
    QCOMPARE(reset + 3, wire.size() - rasterTail.size());
}

void tst_TextScripts::alignmentBeforeReset_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::newRow("Attributes") << QByteArray("pushButtonAttributes");
    QTest::newRow("Density") << QByteArray("pushButtonDensity");
}

void tst_TextScripts::alignmentBeforeReset()
{
    QFETCH(QByteArray, button);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    const QByteArray wire = cw.pty.readUntilQuiet();
    QVERIFY(wire.startsWith(QByteArray::fromHex("1b61001b40")));
    QCOMPARE(wire.count(QByteArray::fromHex("1b40")), 1);
}

// Nine levels 0..8, each right before its own sample line, then 4 at the end.
void tst_TextScripts::densityGrayScales()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, "pushButtonDensity");
    const QByteArray wire = cw.pty.readUntilQuiet();

    const QByteArray command = QByteArray::fromHex("1b6d");
    QList<int> levels;
    for (qsizetype at = wire.indexOf(command); at >= 0; at = wire.indexOf(command, at + 1)) {
        const int level = wire.at(at + 2);
        levels << level;
        if (levels.size() <= 9) {
            const QByteArray line = QByteArray::fromHex("1b2100") + char('0' + level) + ": ";
            QCOMPARE(wire.mid(at + 3, line.size()), line);
        }
    }
    QCOMPARE(levels, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 4}));
    QVERIFY(wire.endsWith(QByteArray::fromHex("0a0a0a1b6d04")));
}

// The picture as it arrives: 16 white rows above and below, two white bytes
// (16 dots) on either side of every row, and dark modules in between.
void tst_TextScripts::qrPicture()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, "pushButtonBitmap");
    const QByteArray wire = cw.pty.read(2 + 8 + 6728);
    QCOMPARE(wire.left(10).toHex(' '), QByteArray("1b 40 1d 76 30 00 1d 00 e8 00"));
    const QByteArray image = wire.mid(10);
    QCOMPARE(image.size(), 29 * 232);

    const QByteArray white(16 * 29, '\0');
    QCOMPARE(image.left(white.size()), white);
    QCOMPARE(image.right(white.size()), white);
    int dark = 0;
    for (int row = 0; row < 232; ++row) {
        const QByteArray bytesOfRow = image.mid(row * 29, 29);
        QCOMPARE(bytesOfRow.left(2), QByteArray(2, '\0'));
        QCOMPARE(bytesOfRow.right(2), QByteArray(2, '\0'));
        dark += 29 - bytesOfRow.count('\0');
    }
    QVERIFY(dark > 0);
}

QTEST_MAIN(tst_TextScripts)
#include "tst_textscripts.moc"

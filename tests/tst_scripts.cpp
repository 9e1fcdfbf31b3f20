#include "telvartest.h"

#include "demos/data/bitmaps.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

// The fixed scripts of the General and Cutter tabs, checked on the far end of a
// pseudo-terminal: every byte in order, nothing after it, and the log pane.

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
const char alphabets[] = "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\n"
                         "abcdefghijklmnopqrstuvwxyz";
const QByteArray separatorLine = font(separator, 0x00);

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

QByteArray formattingStream()
{
    const QByteArray spacing33 = font(QByteArray("Default Line Space 33:\n ") + alphabets, 0x00);
    return QByteArray::fromHex("1b6100" "1b40") + separatorLine
        + spacing33
        + QByteArray::fromHex("1b3342") + font(QByteArray("Line Space 66:\n ") + alphabets, 0x00)
        + QByteArray::fromHex("1b32") + spacing33
        + separatorLine
        + font(QByteArray("Feeding 20 dots after printing:\n") + alphabets, 0x00)
        + QByteArray::fromHex("1b4a14") + separatorLine
        + font(QByteArray("Feeding 5 lines after printing:\n") + alphabets, 0x00)
        + QByteArray::fromHex("1b6405") + separatorLine
        + QByteArray::fromHex("0d")
        + QByteArray::fromHex("1b6c08") + font("Left Margin 8:\nabcd\nabcd\nabcd", 0x00)
        + QByteArray::fromHex("1b6c00")
        + QByteArray::fromHex("1b5126") + font("Right Margin 38:\nabcd\nabcd\nabcd", 0x00)
        + QByteArray::fromHex("1b5130") + separatorLine;
}

QByteArray alignmentStream()
{
    return QByteArray::fromHex("1b6100" "1b40" "1b4408182600") + separatorLine
        + font("No Tab: abcd", 0x00)
        + "\tTab1\tTab2\tTab3\n" + separatorLine
        + QByteArray::fromHex("1b243200") + font("Abs: 1234", 0x00) + separatorLine
        + QByteArray::fromHex("1b6101") + font("Center: abcd", 0x00)
        + QByteArray::fromHex("1b6102") + font("Right: abcd", 0x00)
        + QByteArray::fromHex("1b6100") + font("Left: abcd", 0x00)
        + separatorLine;
}

// The receipt as it must arrive, with the payment line in `payment`.
QByteArray receiptStream(char payment)
{
    return QByteArray::fromHex("1b6100" "1b40" "1b6d04")
        + QByteArray::fromHex("1d763000" "3000" "0001")
        + QByteArray(reinterpret_cast<const char *>(receiptHeaderBitmap), 12288) + '\n'
        + QByteArray::fromHex("1b6101") + font("Customer Receipt", 0x00)
        + QByteArray::fromHex("1b6402" "1b6100")
        + font("Date: DD/MM/YYYY", 0x00)
        + font("PID: 034/344/00288394", 0x00)
        + QByteArray::fromHex("1b6402")
        + "  Qty      Item      Price" + QByteArray::fromHex("1b4a18")
        + separatorLine
        + font("2x  1L 1.5% Milk     $3.98", 0x00)
        + font("6x  1L 3.5% Milk     $16.75", 0x00)
        + font("10x 100g Yogurt Cup  $8.50", 0x00)
        + separatorLine
        + font("Total:              $29.23", 0x08)
        + QByteArray::fromHex("1b6401")
        + font("Incl. 19% VAT $5.55 (Net $23.68)", 0x00)
        + separatorLine
        + font("Credit Card         $29.23", payment)
        + QByteArray::fromHex("1b6402" "1b6101")
        + font("THANK YOU FOR YOUR VISIT", 0x00)
        + QByteArray::fromHex("1b6402");
}

QString lines(const QStringList &list)
{
    return list.join(QLatin1Char('\n'));
}

} // namespace

class tst_Scripts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void script_data();
    void script();
    void nextLabelActsOnPress();
    void replyShownWhenItArrives_data();
    void replyShownWhenItArrives();
};

void tst_Scripts::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_Scripts::script_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("log");

    const auto row = [](const char *name, const char *button, const QByteArray &stream,
                        const QString &log) {
        QTest::newRow(name) << QByteArray(button) << stream << log;
    };
    row("Reset", "pushButtonReset", QByteArray::fromHex("1b40"),
        QStringLiteral("Resets and initilizes to default values"));
    row("Clear", "pushButtonClear", QByteArray::fromHex("10140a"),
        QStringLiteral("Clears the cyclic print buffer and line feeds"));
    row("Version", "pushButtonVersion", QByteArray::fromHex("1005"), QString());
    row("Status", "pushButtonStatus", QByteArray::fromHex("1004"), QString());
    row("Power Managment", "pushButtonPowerManagment", QByteArray::fromHex("1016"),
        QStringLiteral("Setting controller into sleep mode.\n"
                       "Send any command to exit sleep mode and then continue printing..."));
    row("Next Label", "pushButtonNextLabel", QByteArray::fromHex("1d06"),
        QStringLiteral("Moving to top of next label"));
    row("Print Label", "pushButtonTestLabel",
        QByteArray::fromHex("1b6100") + font("Label Print", 0x00) + font("Label text", 0x00)
            + font("Label text Bold", 0x08) + QByteArray::fromHex("1d06"),
        QStringLiteral("Printing sample label and moving to new label"));
    row("Quick Test", "pushButtonFont", quickTestStream(),
        lines({"Printing features:", "Normal", "Bold", "Double Width", "Double Height", "Reverse",
               "Underlined", "Italic", "Combined font attribute Italic and Underlined",
               "Printing tiny Windings Bitmaps", "Printing Bar Code", "Printing Raster Bitmap"}));
    row("Attributes", "pushButtonAttributes", attributesStream(),
        lines({"Printing text attribute options:", "Normal", "Bold", "Double Width",
               "Double Height", "Double Width and Height", "Reverse", "Underlined", "Italic"}));
    row("Density", "pushButtonDensity", densityStream(),
        lines({"Printing text darkness options:", "0 - Default", "1", "2", "3", "4", "5", "6",
               "7", "8"}));
    row("QR Bitmap", "pushButtonBitmap", qrStream(), QStringLiteral("Printing a sample QR code"));
    row("Formatting", "pushButtonFormatting", formattingStream(),
        lines({"Setting some text parameters:", "Default line space of 33 dots",
               "Line space of 66 dots ", "Resetting to default 33 dots",
               "Print and feed paper 20 dots", "Print and feed paper 5 lines",
               "Test carriage return", "Setting a left margin of 8 dots",
               "Setting a right margin of 38 dots"}));
    row("Alignment", "pushButtonTabs", alignmentStream(),
        lines({"Setting 3 tabs and stepping to each", "Setting absolute print position",
               "Setting print alignment center", "Setting print alignment right",
               "Setting print alignment left"}));
    // The cutter receipts are the Receipt's stream with a plain double-height
    // payment line and the cut after it.
    row("Receipt", "pushButtonReceipt", receiptStream(char(0x90)),
        QStringLiteral("Sample of typical POS receipt"));
    row("Full Cut", "pushButtonFullCut", QByteArray::fromHex("1b69"),
        QStringLiteral("Sending full cut command"));
    row("Partial Cut", "pushButtonPartialCut", QByteArray::fromHex("1b6e"),
        QStringLiteral("Sending partial cut command"));
    row("Receipt with Full Cut", "pushButtonReceiptFullCut",
        receiptStream(0x10) + QByteArray::fromHex("1b69"),
        QStringLiteral("Sample of typical POS receipt with full paper cut"));
    row("Receipt with Partial Cut", "pushButtonReceiptPartialCut",
        receiptStream(0x10) + QByteArray::fromHex("1b6e"),
        QStringLiteral("Sample of typical POS receipt with partial paper cut"));
}

void tst_Scripts::script()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, stream);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    click(cw.window, button.constData());
    const QByteArray wire = cw.pty.read(stream.size());
    if (wire != stream) {
        const qsizetype at =
            std::mismatch(wire.begin(), wire.end(), stream.begin(), stream.end()).first - wire.begin();
        QFAIL(qPrintable(QStringLiteral("%1 of %2 bytes; first difference at byte %3: %4")
                             .arg(wire.size()).arg(stream.size()).arg(at)
                             .arg(QString::fromLatin1(wire.mid(at, 8).toHex(' ')))));
    }
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
    QCOMPARE(logText(cw.window), log);
}

void tst_Scripts::nextLabelActsOnPress()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    press(cw.window, "pushButtonNextLabel");
    QCOMPARE(cw.pty.read(2).toHex(' '), QByteArray("1d 06"));
    release(cw.window, "pushButtonNextLabel");
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
}

void tst_Scripts::replyShownWhenItArrives_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("Version") << QByteArray("pushButtonVersion") << QByteArray::fromHex("1005");
    QTest::newRow("Status") << QByteArray("pushButtonStatus") << QByteArray::fromHex("1004");
}

void tst_Scripts::replyShownWhenItArrives()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, query);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    QCOMPARE(cw.pty.read(query.size()), query);
    QVERIFY(logText(cw.window).isEmpty());

    cw.pty.write("RC30x FW 1.22 \xC2\xB5" "C\r\n");
    QTRY_VERIFY(logText(cw.window).endsWith(QLatin1Char('\n')));
    QCOMPARE(logText(cw.window), QString::fromUtf8("RC30x FW 1.22 \xC2\xB5" "C\n"));
}

QTEST_MAIN(tst_Scripts)
#include "tst_scripts.moc"

#include "telvartest.h"

#include "demos/data/bitmaps.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

// Formatting, Alignment, Receipt and the four Cutter buttons, checked on the
// far end of a pseudo-terminal: every byte of the script and the log pane text.

using namespace TelvarTest;

namespace {

// ESC ! attribute, the text, LF: one printed line of a script.
QByteArray font(const QByteArray &text, char attribute)
{
    return QByteArray::fromHex("1b21") + attribute + text + '\n';
}

const QByteArray separator = font(".................................", 0x00);
const char alphabets[] = "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\n"
                         "abcdefghijklmnopqrstuvwxyz";

QByteArray formattingStream()
{
    const QByteArray spacing33 = font(QByteArray("Default Line Space 33:\n ") + alphabets, 0x00);
    return QByteArray::fromHex("1b6100" "1b40") + separator
        + spacing33
        + QByteArray::fromHex("1b3342") + font(QByteArray("Line Space 66:\n ") + alphabets, 0x00)
        + QByteArray::fromHex("1b32") + spacing33
        + separator
        + font(QByteArray("Feeding 20 dots after printing:\n") + alphabets, 0x00)
        + QByteArray::fromHex("1b4a14") + separator
        + font(QByteArray("Feeding 5 lines after printing:\n") + alphabets, 0x00)
        + QByteArray::fromHex("1b6405") + separator
        + QByteArray::fromHex("0d")
        + QByteArray::fromHex("1b6c08") + font("Left Margin 8:\nabcd\nabcd\nabcd", 0x00)
        + QByteArray::fromHex("1b6c00")
        + QByteArray::fromHex("1b5126") + font("Right Margin 38:\nabcd\nabcd\nabcd", 0x00)
        + QByteArray::fromHex("1b5130") + separator;
}

QByteArray alignmentStream()
{
    return QByteArray::fromHex("1b6100" "1b40" "1b4408182600") + separator
        + font("No Tab: abcd", 0x00)
        + "\tTab1\tTab2\tTab3\n" + separator
        + QByteArray::fromHex("1b243200") + font("Abs: 1234", 0x00) + separator
        + QByteArray::fromHex("1b6101") + font("Center: abcd", 0x00)
        + QByteArray::fromHex("1b6102") + font("Right: abcd", 0x00)
        + QByteArray::fromHex("1b6100") + font("Left: abcd", 0x00)
        + separator;
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
        + separator
        + font("2x  1L 1.5% Milk     $3.98", 0x00)
        + font("6x  1L 3.5% Milk     $16.75", 0x00)
        + font("10x 100g Yogurt Cup  $8.50", 0x00)
        + separator
        + font("Total:              $29.23", 0x08)
        + QByteArray::fromHex("1b6401")
        + font("Incl. 19% VAT $5.55 (Net $23.68)", 0x00)
        + separator
        + font("Credit Card         $29.23", payment)
        + QByteArray::fromHex("1b6402" "1b6101")
        + font("THANK YOU FOR YOUR VISIT", 0x00)
        + QByteArray::fromHex("1b6402");
}

QString lines(const QStringList &list)
{
    return list.join(QLatin1Char('\n'));
}

QByteArray clickAndRead(const char *button, int length)
{
    ConnectedWindow cw;
    if (!cw.connected)
        return {};
    click(cw.window, button);
    const QByteArray wire = cw.pty.read(length);
    return wire + cw.pty.readUntilQuiet();
}

// Lengths counted by hand from the command table, independent of the builders.
constexpr int separatorLength = 3 + 33 + 1;
constexpr int receiptLength = 3 + 2 + 3 + (8 + 12288) + 1 + 3 + (3 + 16 + 1) + 3 + 3
    + (3 + 16 + 1) + (3 + 21 + 1) + 3 + 26 + 3 + separatorLength + (3 + 26 + 1) + (3 + 27 + 1)
    + (3 + 26 + 1) + separatorLength + (3 + 26 + 1) + 3 + (3 + 32 + 1) + separatorLength
    + (3 + 26 + 1) + 3 + 3 + (3 + 24 + 1) + 3;

} // namespace

class tst_Layout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void script_data();
    void script();
    void cutReceiptDiffersOnlyInPaymentAndCut_data();
    void cutReceiptDiffersOnlyInPaymentAndCut();
};

void tst_Layout::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_Layout::script_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("log");

    QTest::newRow("Formatting")
        << QByteArray("pushButtonFormatting") << formattingStream()
        << 5 + separatorLength + (3 + 104 + 1) + 3 + (3 + 96 + 1) + 2 + (3 + 104 + 1)
               + separatorLength + (3 + 112 + 1) + 3 + separatorLength + (3 + 112 + 1) + 3
               + separatorLength + 1 + 3 + (3 + 29 + 1) + 3 + 3 + (3 + 31 + 1) + 3
               + separatorLength
        << lines({"Setting some text parameters:", "Default line space of 33 dots",
                  "Line space of 66 dots ", "Resetting to default 33 dots",
                  "Print and feed paper 20 dots", "Print and feed paper 5 lines",
                  "Test carriage return", "Setting a left margin of 8 dots",
                  "Setting a right margin of 38 dots"});
    QTest::newRow("Alignment")
        << QByteArray("pushButtonTabs") << alignmentStream()
        << 5 + 6 + separatorLength + (3 + 12 + 1) + 3 * 5 + 1 + separatorLength + 4
               + (3 + 9 + 1) + separatorLength + 3 + (3 + 12 + 1) + 3 + (3 + 11 + 1) + 3
               + (3 + 10 + 1) + separatorLength
        << lines({"Setting 3 tabs and stepping to each", "Setting absolute print position",
                  "Setting print alignment center", "Setting print alignment right",
                  "Setting print alignment left"});
    QTest::newRow("Receipt") << QByteArray("pushButtonReceipt") << receiptStream(char(0x90))
                             << receiptLength << QStringLiteral("Sample of typical POS receipt");
    QTest::newRow("Full Cut") << QByteArray("pushButtonFullCut") << QByteArray::fromHex("1b69")
                              << 2 << QStringLiteral("Sending full cut command");
    QTest::newRow("Partial Cut") << QByteArray("pushButtonPartialCut")
                                 << QByteArray::fromHex("1b6e") << 2
                                 << QStringLiteral("Sending partial cut command");
    QTest::newRow("Receipt with Full Cut")
        << QByteArray("pushButtonReceiptFullCut")
        << receiptStream(0x10) + QByteArray::fromHex("1b69") << receiptLength + 2
        << QStringLiteral("Sample of typical POS receipt with full paper cut");
    QTest::newRow("Receipt with Partial Cut")
        << QByteArray("pushButtonReceiptPartialCut")
        << receiptStream(0x10) + QByteArray::fromHex("1b6e") << receiptLength + 2
        << QStringLiteral("Sample of typical POS receipt with partial paper cut");
}

void tst_Layout::script()
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

// What arrives for Receipt and for a cutter receipt, compared with each other:
// one byte apart, the payment line's attribute, and the cut appended.
void tst_Layout::cutReceiptDiffersOnlyInPaymentAndCut_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("cut");
    QTest::newRow("full") << QByteArray("pushButtonReceiptFullCut") << QByteArray::fromHex("1b69");
    QTest::newRow("partial") << QByteArray("pushButtonReceiptPartialCut")
                             << QByteArray::fromHex("1b6e");
}

void tst_Layout::cutReceiptDiffersOnlyInPaymentAndCut()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, cut);

    const QByteArray receipt = clickAndRead("pushButtonReceipt", receiptLength);
    const QByteArray withCut = clickAndRead(button.constData(), receiptLength + 2);
    QCOMPARE(receipt.size(), receiptLength);
    QCOMPARE(withCut.size(), receiptLength + 2);
    QCOMPARE(withCut.right(2), cut);

    QList<qsizetype> differences;
    for (qsizetype i = 0; i < receipt.size(); ++i) {
        if (receipt.at(i) != withCut.at(i))
            differences << i;
    }
    QCOMPARE(differences.size(), 1);
    const qsizetype at = differences.first();
    QCOMPARE(receipt.mid(at - 2, 3), QByteArray::fromHex("1b2190"));
    QCOMPARE(withCut.mid(at - 2, 3 + 26), QByteArray::fromHex("1b2110") + "Credit Card         $29.23");
}

QTEST_MAIN(tst_Layout)
#include "tst_layout.moc"

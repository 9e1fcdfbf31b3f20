#include "telvartest.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

class tst_Barcodes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void barcode_data();
    void barcode();
    void textSwitch_data();
    void textSwitch();
};

void tst_Barcodes::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

static const char marginLog[] = "Adding 4 to left margin - Bar Code will be moved 4mm to the right";

void tst_Barcodes::barcode_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("margin");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");

    struct Row
    {
        const char *button;
        const char *log;
        const char *label;
        const char *widthCommand; // GS w n, hex
        const char *barcodeHead;  // GS k m n, hex
        const char *data;
    };
    const Row rows[] = {
        {"pushButtonBarcodeUPCA", "Printing UPC-A bar code: 01234567890",
         "UPCA height=64 width=3", "1d7703", "1d6b410b", "01234567890"},
        {"pushButtonBarcodeUPCE", "Printing UPC-E bar code: 012345", "UPC-E height=64 width=3",
         "1d7703", "1d6b4206", "012345"},
        {"pushButtonBarcodeEAN13", "Printing EAN-13 bar code: 012345678901",
         "EAN13 height=64 width=3", "1d7703", "1d6b430c", "012345678901"},
        {"pushButtonBarcodeEAN8", "Printing EAN-8 bar code: 0123456", "EAN-8 height=64 width=3",
         "1d7703", "1d6b4407", "0123456"},
        {"pushButtonBarcodeCODE39", "Printing Code 39 bar code: 123456RC302",
         "Code 39 height=64 width=2", "1d7702", "1d6b450b", "123456RC302"},
        {"pushButtonBarcodeITF25", "Printing ITF 2 5 bar code: 12345678",
         "ITF 2 5 height=64 width=3", "1d7703", "1d6b4608", "12345678"},
        {"pushButtonBarcodeCODABAR", "Printing CODA BAR bar code: a123456a",
         "CODA BAR height=64 width=3", "1d7703", "1d6b4708", "a123456a"},
        {"pushButtonBarcodeCODE93", "Printing CODE 93 bar code: 12345678",
         "CODE 93 height=64 width=3", "1d7703", "1d6b4808", "12345678"},
        {"pushButtonBarcodeCODE128A", "Printing CODE 128A bar code: 12345678",
         "CODE 128A height=64 width=2", "1d7702", "1d6b4908", "12345678"},
    };
    for (const Row &row : rows) {
        for (bool margin : {false, true}) {
            const QByteArray expected = QByteArray::fromHex("1b40" "1b2100") + row.label + '\n'
                + QByteArray::fromHex("1b6402") + QByteArray::fromHex(margin ? "1b6c04" : "")
                + QByteArray::fromHex(row.widthCommand) + QByteArray::fromHex("1d6840")
                + QByteArray::fromHex(row.barcodeHead) + row.data
                + QByteArray::fromHex("1b6402" "1b6c00");
            QString log = QString::fromUtf8(row.log);
            if (margin)
                log += QLatin1Char('\n') + QLatin1String(marginLog);
            QTest::addRow("%s %s", row.button + 17, margin ? "margin" : "plain")
                << QByteArray(row.button) << margin << expected << log;
        }
    }
}

void tst_Barcodes::barcode()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, margin);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    auto *box = cw.window.findChild<QCheckBox *>(QStringLiteral("checkBoxBarCodeMargin"));
    QVERIFY(box);
    QVERIFY(!box->isChecked());
    if (margin) {
        click(cw.window, "checkBoxBarCodeMargin");
        QVERIFY(box->isChecked());
        // Ticking the box is not a command of its own.
        QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
    }

    click(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);

    // The box is read on every run: untick it and the margin is gone again.
    if (margin) {
        click(cw.window, "checkBoxBarCodeMargin");
        click(cw.window, button.constData());
        const QByteArray second = cw.pty.readUntilQuiet();
        QVERIFY(!second.contains(QByteArray::fromHex("1b6c04")));
        QVERIFY(second.endsWith(QByteArray::fromHex("1b6c00")));
    }
}

void tst_Barcodes::textSwitch_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");
    QTest::newRow("with text") << QByteArray("pushButtonYesText") << QByteArray::fromHex("1d4801")
                               << QStringLiteral("Enable Bar Code Text printing - Default");
    QTest::newRow("without text") << QByteArray("pushButtonNoText")
                                  << QByteArray::fromHex("1d4800")
                                  << QStringLiteral("Disable Bar Code Text printing");
}

void tst_Barcodes::textSwitch()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);
}

QTEST_MAIN(tst_Barcodes)
#include "tst_barcodes.moc"

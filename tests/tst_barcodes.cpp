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
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void send_data();
    void send();
};

static QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

static const QByteArray marginCommand = hex("1b6c04");

void tst_Barcodes::send_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("margin");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");

    // Button, name in the log, label, module width, GS k symbology and length (hex), data.
    struct Row { const char *button, *name, *label; char width; const char *head, *data; };
    const Row rows[] = {
        {"UPCA", "UPC-A", "UPCA", 3, "410b", "01234567890"},
        {"UPCE", "UPC-E", "UPC-E", 3, "4206", "012345"},
        {"EAN13", "EAN-13", "EAN13", 3, "430c", "012345678901"},
        {"EAN8", "EAN-8", "EAN-8", 3, "4407", "0123456"},
        {"CODE39", "Code 39", "Code 39", 2, "450b", "123456RC302"},
        {"ITF25", "ITF 2 5", "ITF 2 5", 3, "4608", "12345678"},
        {"CODABAR", "CODA BAR", "CODA BAR", 3, "4708", "a123456a"},
        {"CODE93", "CODE 93", "CODE 93", 3, "4808", "12345678"},
        {"CODE128A", "CODE 128A", "CODE 128A", 2, "4908", "12345678"},
    };
    for (const Row &row : rows) {
        for (bool margin : {false, true}) {
            const QByteArray expected = hex("1b40 1b2100") + row.label + " height=64 width="
                + char('0' + row.width) + '\n' + hex("1b6402") + (margin ? marginCommand : QByteArray())
                + hex("1d77") + row.width + hex("1d6840 1d6b") + hex(row.head) + row.data
                + hex("1b6402 1b6c00");
            QString log = QStringLiteral("Printing %1 bar code: %2").arg(row.name, row.data);
            if (margin)
                log += "\nAdding 4 to left margin - Bar Code will be moved 4mm to the right";
            QTest::addRow("%s %s", row.button, margin ? "margin" : "plain")
                << "pushButtonBarcode" + QByteArray(row.button) << margin << expected << log;
        }
    }
    QTest::newRow("with text") << QByteArray("pushButtonYesText") << false << hex("1d4801")
                               << QStringLiteral("Enable Bar Code Text printing - Default");
    QTest::newRow("without text") << QByteArray("pushButtonNoText") << false << hex("1d4800")
                                  << QStringLiteral("Disable Bar Code Text printing");
}

void tst_Barcodes::send()
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
    QVERIFY(box && !box->isChecked());
    if (margin) {
        click(cw.window, "checkBoxBarCodeMargin");
        QVERIFY(box->isChecked());
        QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray()); // ticking it is no command
    }
    click(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);

    // The box is read on every run: untick it and the margin is gone again.
    if (margin) {
        click(cw.window, "checkBoxBarCodeMargin");
        click(cw.window, button.constData());
        QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.replace(marginCommand, "").toHex(' '));
    }
}

QTEST_MAIN(tst_Barcodes)
#include "tst_barcodes.moc"

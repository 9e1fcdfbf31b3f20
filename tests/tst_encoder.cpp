#include "telvartest.h"

#include <QMetaMethod>
#include <QRegularExpression>
#include <QTest>

#include <functional>

using namespace TelvarTest;

using Call = std::function<bool(MainWindow &)>;
Q_DECLARE_METATYPE(Call)

class tst_Encoder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void bytes_data();
    void bytes();
    void closedPortSendsNothing();
    void slotOrder();
};

static uchar tabStops[] = {0x08, 0x18, 0x26};
static uchar code[] = "12345";
static uchar bitmap608[608];
static uint8_t raw[] = {0x00, 0x7F, 0x80, 0xFF};

static QByteArray nvBitmapStream()
{
    QByteArray expected = QByteArray::fromHex("1d71010030010200");
    expected.append(reinterpret_cast<const char *>(bitmap608), sizeof bitmap608);
    return expected;
}

void tst_Encoder::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_Encoder::bytes_data()
{
    for (size_t i = 0; i < sizeof bitmap608; ++i)
        bitmap608[i] = uchar(i * 7 + 1);

    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("expected");

    auto row = [](const char *name, Call call, const QByteArray &expected) {
        QTest::newRow(name) << call << expected;
    };
    auto hex = [](const char *h) { return QByteArray::fromHex(h); };

    row("Write", [](MainWindow &w) {
        return invoke(w, "Write", Q_ARG(const uint8_t *, raw), Q_ARG(size_t, sizeof raw));
    }, hex("007f80ff"));
    row("setComMode", [](MainWindow &w) {
        return invoke(w, "setComMode", Q_ARG(uchar, 6), Q_ARG(uchar, 2));
    }, hex("1d280602"));
    row("setPrinterHead", [](MainWindow &w) {
        return invoke(w, "setPrinterHead", Q_ARG(uchar, 0x0B));
    }, hex("1b5a0b"));
    row("printerSoftInit", [](MainWindow &w) { return invoke(w, "printerSoftInit"); }, hex("1b40"));
    row("printLF", [](MainWindow &w) { return invoke(w, "printLF"); }, hex("0a"));
    row("printCR", [](MainWindow &w) { return invoke(w, "printCR"); }, hex("0d"));
    row("printStr", [](MainWindow &w) {
        return invoke(w, "printStr", Q_ARG(const char *, "Tab1"));
    }, hex("54616231"));
    row("printStr empty", [](MainWindow &w) {
        return invoke(w, "printStr", Q_ARG(const char *, ""));
    }, QByteArray());
    row("printStr above 7F", [](MainWindow &w) {
        return invoke(w, "printStr", Q_ARG(const char *, "\x80\xA3\xFF\x1B"));
    }, hex("80a3ff1b"));
    row("printAndFeedNDotLine", [](MainWindow &w) {
        return invoke(w, "printAndFeedNDotLine", Q_ARG(uint8_t, 0x18));
    }, hex("1b4a18"));
    row("fontTypeSet unmasked", [](MainWindow &w) {
        return invoke(w, "fontTypeSet", Q_ARG(uint8_t, 0xFF));
    }, hex("1b21ff"));
    row("horizontalAlign", [](MainWindow &w) {
        return invoke(w, "horizontalAlign", Q_ARG(uint8_t, 0x02));
    }, hex("1b6102"));
    row("lineSpacingSet", [](MainWindow &w) {
        return invoke(w, "lineSpacingSet", Q_ARG(uint8_t, 0x42));
    }, hex("1b3342"));
    row("lineSpacingDefaults", [](MainWindow &w) { return invoke(w, "lineSpacingDefaults"); },
        hex("1b32"));
    row("horizontalTabSet", [](MainWindow &w) {
        return invoke(w, "horizontalTabSet", Q_ARG(uchar *, tabStops), Q_ARG(uchar, 3));
    }, hex("1b4408182600"));
    row("horizontalTabSet none", [](MainWindow &w) {
        return invoke(w, "horizontalTabSet", Q_ARG(uchar *, tabStops), Q_ARG(uchar, 0));
    }, hex("1b4400"));
    row("horizontalTab", [](MainWindow &w) { return invoke(w, "horizontalTab"); }, hex("09"));
    row("printAndFeedNFontLine", [](MainWindow &w) {
        return invoke(w, "printAndFeedNFontLine", Q_ARG(uchar, 5));
    }, hex("1b6405"));
    row("setLeftMargin", [](MainWindow &w) {
        return invoke(w, "setLeftMargin", Q_ARG(uint8_t, 4));
    }, hex("1b6c04"));
    row("setRightMargin", [](MainWindow &w) {
        return invoke(w, "setRightMargin", Q_ARG(uint8_t, 0x30));
    }, hex("1b5130"));
    row("printerState", [](MainWindow &w) { return invoke(w, "printerState"); }, hex("1004"));
    row("absolutePrintPos", [](MainWindow &w) {
        return invoke(w, "absolutePrintPos", Q_ARG(uint8_t, 0x32), Q_ARG(uint8_t, 0x01));
    }, hex("1b243201"));
    row("setFontGrayScale", [](MainWindow &w) {
        return invoke(w, "setFontGrayScale", Q_ARG(uint8_t, 8));
    }, hex("1b6d08"));
    row("setDbMode", [](MainWindow &w) { return invoke(w, "setDbMode"); }, hex("1c26"));
    row("cancelDbMode", [](MainWindow &w) { return invoke(w, "cancelDbMode"); }, hex("1c2e"));
    row("setFontMode", [](MainWindow &w) {
        return invoke(w, "setFontMode", Q_ARG(uchar, 1));
    }, hex("1b4d01"));
    row("clearPrintBuffer", [](MainWindow &w) { return invoke(w, "clearPrintBuffer"); },
        hex("1014"));
    row("getFirmwareInfo", [](MainWindow &w) { return invoke(w, "getFirmwareInfo"); },
        hex("1005"));
    row("print_with_font", [](MainWindow &w) {
        return invoke(w, "print_with_font", Q_ARG(const char *, "Label\ntext"),
                      Q_ARG(uint8_t, 0x82));
    }, hex("1b21824c6162656c0a746578740a"));
    row("print_with_font empty", [](MainWindow &w) {
        return invoke(w, "print_with_font", Q_ARG(const char *, ""), Q_ARG(uint8_t, 0x08));
    }, hex("1b21080a"));
    row("fullCut", [](MainWindow &w) { return invoke(w, "fullCut"); }, hex("1b69"));
    row("partialCut", [](MainWindow &w) { return invoke(w, "partialCut"); }, hex("1b6e"));
    row("setPrinterCallBack", [](MainWindow &w) {
        return invoke(w, "setPrinterCallBack", Q_ARG(uchar, 0x01));
    }, hex("1d6101"));
    row("enterSleepMode", [](MainWindow &w) { return invoke(w, "enterSleepMode"); }, hex("1016"));
    row("newLabelHome", [](MainWindow &w) { return invoke(w, "newLabelHome"); }, hex("1d06"));

    row("picturePrintH", [](MainWindow &w) {
        return invoke(w, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 2), Q_ARG(ushort, 3),
                      Q_ARG(uchar *, bitmap608));
    }, hex("1d76300002000300") + QByteArray(reinterpret_cast<const char *>(bitmap608), 6));
    row("picturePrintH no buffer", [](MainWindow &w) {
        return invoke(w, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 2), Q_ARG(ushort, 3),
                      Q_ARG(uchar *, nullptr));
    }, hex("1d76300002000300000000000000"));
    row("picturePrintH 16-bit sizes", [](MainWindow &w) {
        return invoke(w, "picturePrintH", Q_ARG(uchar, 0x33), Q_ARG(ushort, 0x0102),
                      Q_ARG(ushort, 0), Q_ARG(uchar *, nullptr));
    }, hex("1d76303302010000"));
    row("barcodeHeightSet", [](MainWindow &w) {
        return invoke(w, "barcodeHeightSet", Q_ARG(uchar, 0x40));
    }, hex("1d6840"));
    row("barcodeWidthSet", [](MainWindow &w) {
        return invoke(w, "barcodeWidthSet", Q_ARG(uchar, 3));
    }, hex("1d7703"));
    row("barcodeTextYesNo", [](MainWindow &w) {
        return invoke(w, "barcodeTextYesNo", Q_ARG(uchar, 0));
    }, hex("1d4800"));
    row("barcodePrint UPC-A", [](MainWindow &w) {
        return invoke(w, "barcodePrint", Q_ARG(uchar, 0), Q_ARG(uchar *, code), Q_ARG(uchar, 5));
    }, hex("1d6b41053132333435"));
    row("barcodePrint Code 128", [](MainWindow &w) {
        return invoke(w, "barcodePrint", Q_ARG(uchar, 8), Q_ARG(uchar *, code), Q_ARG(uchar, 2));
    }, hex("1d6b49023132"));
    row("barcodePrint letter wraps", [](MainWindow &w) {
        return invoke(w, "barcodePrint", Q_ARG(uchar, 0xC0), Q_ARG(uchar *, code), Q_ARG(uchar, 1));
    }, hex("1d6b010131"));
    row("downloadNVBitmap", [](MainWindow &w) {
        return invoke(w, "downloadNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0),
                      Q_ARG(ushort, 304), Q_ARG(ushort, 2), Q_ARG(uchar *, bitmap608));
    }, nvBitmapStream());
    row("downloadNVBitmap no buffer", [](MainWindow &w) {
        return invoke(w, "downloadNVBitmap", Q_ARG(uchar, 2), Q_ARG(uchar, 1),
                      Q_ARG(ushort, 1), Q_ARG(ushort, 3), Q_ARG(uchar *, nullptr));
    }, hex("1d71020101000300000000"));
    row("printNVBitmap", [](MainWindow &w) {
        return invoke(w, "printNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0x30));
    }, hex("1c700130"));
    row("setQRSizeVersion", [](MainWindow &w) {
        return invoke(w, "setQRSizeVersion", Q_ARG(uchar, 6));
    }, hex("1d286b0300314306"));
    row("setQRcodeErrorCorrection", [](MainWindow &w) {
        return invoke(w, "setQRcodeErrorCorrection", Q_ARG(uchar, 0x31));
    }, hex("1d286b0300314531"));
    row("transferQRcodeData", [](MainWindow &w) {
        return invoke(w, "transferQRcodeData", Q_ARG(ushort, 10), Q_ARG(uchar *, bitmap608));
    }, hex("1d286b0d00315030") + QByteArray(reinterpret_cast<const char *>(bitmap608), 10));
    row("transferQRcodeData no buffer", [](MainWindow &w) {
        return invoke(w, "transferQRcodeData", Q_ARG(ushort, 2), Q_ARG(uchar *, nullptr));
    }, hex("1d286b05003150300000"));
    row("transferQRcodeData length wraps", [](MainWindow &w) {
        return invoke(w, "transferQRcodeData", Q_ARG(ushort, 0xFFFE), Q_ARG(uchar *, nullptr));
    }, hex("1d286b0100315030") + QByteArray(0xFFFE, '\0'));
    row("printQRcodeData", [](MainWindow &w) { return invoke(w, "printQRcodeData"); },
        hex("1d286b0300315130"));
}

void tst_Encoder::bytes()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, expected);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QVERIFY2(call(cw.window), "slot not found");
    // One more command behind it shows where the operation's bytes end.
    QVERIFY(invoke(cw.window, "printCR"));
    const QByteArray wire = cw.pty.read(expected.size() + 1);
    QCOMPARE(wire.size(), expected.size() + 1);
    QCOMPARE(wire.chopped(1).toHex(' '), expected.toHex(' '));
    QCOMPARE(wire.back(), '\x0d');
}

void tst_Encoder::closedPortSendsNothing()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    action(cw.window, "actionDisconnect")->trigger();

    BoxCatcher catcher;
    QVERIFY(invoke(cw.window, "printerSoftInit"));
    QVERIFY(invoke(cw.window, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 48),
                   Q_ARG(ushort, 94), Q_ARG(uchar *, bitmap608)));
    QVERIFY(invoke(cw.window, "print_with_font", Q_ARG(const char *, "x"), Q_ARG(uint8_t, 0)));
    QCOMPARE(cw.pty.readUntilQuiet(150), QByteArray());
    QVERIFY(catcher.boxes.isEmpty());
    QVERIFY(logText(cw.window).isEmpty());
}

// Slots are reached by index through the meta-object, so their order is part
// of the window's interface.
void tst_Encoder::slotOrder()
{
    const QStringList expected = QStringLiteral(
        "open loadFile openSerialPort closeSerialPort about Write readData setComMode "
        "setPrinterHead printerSoftInit printLF printCR printStr printAndFeedNDotLine "
        "fontTypeSet horizontalAlign lineSpacingSet lineSpacingDefaults horizontalTabSet "
        "horizontalTab printAndFeedNFontLine picturePrintH setLeftMargin setRightMargin "
        "printerState absolutePrintPos setFontGrayScale setDbMode cancelDbMode setFontMode "
        "barcodeHeightSet barcodeWidthSet barcodeTextYesNo barcodePrint clearPrintBuffer "
        "getFirmwareInfo print_with_font fullCut partialCut setPrinterCallBack "
        "downloadNVBitmap printNVBitmap setQRSizeVersion setQRcodeErrorCorrection "
        "transferQRcodeData printQRcodeData enterSleepMode newLabelHome handleError "
        "on_pushButtonFont_released on_pushButtonVersion_released "
        "on_pushButtonStatus_released on_pushButtonBitmap_released "
        "on_pushButtonAttributes_released on_pushButtonDensity_released "
        "on_pushButtonFormatting_released on_pushButtonTabs_released "
        "on_pushButtonReset_released on_pushButtonClear_released "
        "on_pushButtonReceipt_released on_pushButtonBarcodeUPCA_released "
        "on_pushButtonBarcodeUPCE_released on_pushButtonBarcodeEAN13_released "
        "on_pushButtonBarcodeEAN8_released on_pushButtonBarcodeCODE39_released "
        "on_pushButtonBarcodeITF25_released on_pushButtonBarcodeCODABAR_released "
        "on_pushButtonBarcodeCODE93_released on_pushButtonBarcodeCODE128A_released "
        "on_pushButton_Load_released on_pushButton_58PrintH_released "
        "on_pushButton_LineFeed_released on_pushButtonLanguage_released "
        "on_pushButtonFTP628_released on_pushButtonFTP638_released "
        "on_pushButtonLTP0213_released on_pushButtonLTP02C1_released "
        "on_pushButtonApply_released on_pushButtonYesText_released "
        "on_pushButtonNoText_released on_pushButton58_384_released "
        "on_pushButton80_576_released on_pushButtonFullCut_released "
        "on_pushButtonPartialCut_released on_pushButtonReceiptFullCut_released "
        "on_pushButtonReceiptPartialCut_released on_checkBoxHexEnable_released "
        "on_pushButtonPowerManagment_released on_pushButtonM23_H69_pressed "
        "on_pushButtonM23_SX_released on_pushButtonSeiko345_released "
        "on_pushButtonPT486HLV_released on_pushButtonJX2R39BQ_released "
        "on_pushButtonNextLabel_pressed on_pushButtonTestLabel_released "
        "on_pushButtonATP2SMP8_released").split(QLatin1Char(' '));

    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Slot)
            names << QString::fromLatin1(method.name());
    }
    QCOMPARE(names, expected);
}

QTEST_MAIN(tst_Encoder)
#include "tst_encoder.moc"

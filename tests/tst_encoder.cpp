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

    auto hex = [](const char *h) { return QByteArray::fromHex(h); };

    // The data tag, the bytes expected, then the slot and its arguments.
#define ROW(tag, expected, ...) \
    QTest::newRow(tag) << Call([](MainWindow &w) { return invoke(w, __VA_ARGS__); }) << (expected)
    ROW("Write", hex("007f80ff"), "Write", Q_ARG(const uint8_t *, raw), Q_ARG(size_t, sizeof raw));
    ROW("setComMode", hex("1d280602"), "setComMode", Q_ARG(uchar, 6), Q_ARG(uchar, 2));
    ROW("setPrinterHead", hex("1b5a0b"), "setPrinterHead", Q_ARG(uchar, 0x0B));
    ROW("printerSoftInit", hex("1b40"), "printerSoftInit");
    ROW("printLF", hex("0a"), "printLF");
    ROW("printCR", hex("0d"), "printCR");
    ROW("printStr", hex("54616231"), "printStr", Q_ARG(const char *, "Tab1"));
    ROW("printStr empty", QByteArray(), "printStr", Q_ARG(const char *, ""));
    ROW("printStr above 7F", hex("80a3ff1b"), "printStr", Q_ARG(const char *, "\x80\xA3\xFF\x1B"));
    ROW("printAndFeedNDotLine", hex("1b4a18"), "printAndFeedNDotLine", Q_ARG(uint8_t, 0x18));
    ROW("fontTypeSet unmasked", hex("1b21ff"), "fontTypeSet", Q_ARG(uint8_t, 0xFF));
    ROW("horizontalAlign", hex("1b6102"), "horizontalAlign", Q_ARG(uint8_t, 0x02));
    ROW("lineSpacingSet", hex("1b3342"), "lineSpacingSet", Q_ARG(uint8_t, 0x42));
    ROW("lineSpacingDefaults", hex("1b32"), "lineSpacingDefaults");
    ROW("horizontalTabSet", hex("1b4408182600"),
        "horizontalTabSet", Q_ARG(uchar *, tabStops), Q_ARG(uchar, 3));
    ROW("horizontalTabSet none", hex("1b4400"),
        "horizontalTabSet", Q_ARG(uchar *, tabStops), Q_ARG(uchar, 0));
    ROW("horizontalTab", hex("09"), "horizontalTab");
    ROW("printAndFeedNFontLine", hex("1b6405"), "printAndFeedNFontLine", Q_ARG(uchar, 5));
    ROW("setLeftMargin", hex("1b6c04"), "setLeftMargin", Q_ARG(uint8_t, 4));
    ROW("setRightMargin", hex("1b5130"), "setRightMargin", Q_ARG(uint8_t, 0x30));
    ROW("printerState", hex("1004"), "printerState");
    ROW("absolutePrintPos", hex("1b243201"),
        "absolutePrintPos", Q_ARG(uint8_t, 0x32), Q_ARG(uint8_t, 0x01));
    ROW("setFontGrayScale", hex("1b6d08"), "setFontGrayScale", Q_ARG(uint8_t, 8));
    ROW("setDbMode", hex("1c26"), "setDbMode");
    ROW("cancelDbMode", hex("1c2e"), "cancelDbMode");
    ROW("setFontMode", hex("1b4d01"), "setFontMode", Q_ARG(uchar, 1));
    ROW("clearPrintBuffer", hex("1014"), "clearPrintBuffer");
    ROW("getFirmwareInfo", hex("1005"), "getFirmwareInfo");
    ROW("print_with_font", hex("1b21824c6162656c0a746578740a"),
        "print_with_font", Q_ARG(const char *, "Label\ntext"), Q_ARG(uint8_t, 0x82));
    ROW("print_with_font empty", hex("1b21080a"),
        "print_with_font", Q_ARG(const char *, ""), Q_ARG(uint8_t, 0x08));
    ROW("fullCut", hex("1b69"), "fullCut");
    ROW("partialCut", hex("1b6e"), "partialCut");
    ROW("setPrinterCallBack", hex("1d6101"), "setPrinterCallBack", Q_ARG(uchar, 0x01));
    ROW("enterSleepMode", hex("1016"), "enterSleepMode");
    ROW("newLabelHome", hex("1d06"), "newLabelHome");
    ROW("picturePrintH",
        hex("1d76300002000300") + QByteArray(reinterpret_cast<const char *>(bitmap608), 6),
        "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 2), Q_ARG(ushort, 3),
        Q_ARG(uchar *, bitmap608));
    ROW("picturePrintH no buffer",
        hex("1d76300002000300000000000000"),
        "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, 2), Q_ARG(ushort, 3),
        Q_ARG(uchar *, nullptr));
    ROW("picturePrintH 16-bit sizes",
        hex("1d76303302010000"),
        "picturePrintH", Q_ARG(uchar, 0x33), Q_ARG(ushort, 0x0102), Q_ARG(ushort, 0),
        Q_ARG(uchar *, nullptr));
    ROW("barcodeHeightSet", hex("1d6840"), "barcodeHeightSet", Q_ARG(uchar, 0x40));
    ROW("barcodeWidthSet", hex("1d7703"), "barcodeWidthSet", Q_ARG(uchar, 3));
    ROW("barcodeTextYesNo", hex("1d4800"), "barcodeTextYesNo", Q_ARG(uchar, 0));
    ROW("barcodePrint UPC-A", hex("1d6b41053132333435"),
        "barcodePrint", Q_ARG(uchar, 0), Q_ARG(uchar *, code), Q_ARG(uchar, 5));
    ROW("barcodePrint Code 128", hex("1d6b49023132"),
        "barcodePrint", Q_ARG(uchar, 8), Q_ARG(uchar *, code), Q_ARG(uchar, 2));
    ROW("barcodePrint letter wraps", hex("1d6b010131"),
        "barcodePrint", Q_ARG(uchar, 0xC0), Q_ARG(uchar *, code), Q_ARG(uchar, 1));
    ROW("downloadNVBitmap",
        nvBitmapStream(),
        "downloadNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0), Q_ARG(ushort, 304), Q_ARG(ushort, 2),
        Q_ARG(uchar *, bitmap608));
    ROW("downloadNVBitmap no buffer",
        hex("1d71020101000300000000"),
        "downloadNVBitmap", Q_ARG(uchar, 2), Q_ARG(uchar, 1), Q_ARG(ushort, 1), Q_ARG(ushort, 3),
        Q_ARG(uchar *, nullptr));
    ROW("printNVBitmap", hex("1c700130"), "printNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0x30));
    ROW("setQRSizeVersion", hex("1d286b0300314306"), "setQRSizeVersion", Q_ARG(uchar, 6));
    ROW("setQRcodeErrorCorrection", hex("1d286b0300314531"),
        "setQRcodeErrorCorrection", Q_ARG(uchar, 0x31));
    ROW("transferQRcodeData",
        hex("1d286b0d00315030") + QByteArray(reinterpret_cast<const char *>(bitmap608), 10),
        "transferQRcodeData", Q_ARG(ushort, 10), Q_ARG(uchar *, bitmap608));
    ROW("transferQRcodeData no buffer", hex("1d286b05003150300000"),
        "transferQRcodeData", Q_ARG(ushort, 2), Q_ARG(uchar *, nullptr));
    ROW("transferQRcodeData length wraps", hex("1d286b0100315030") + QByteArray(0xFFFE, '\0'),
        "transferQRcodeData", Q_ARG(ushort, 0xFFFE), Q_ARG(uchar *, nullptr));
    ROW("printQRcodeData", hex("1d286b0300315130"), "printQRcodeData");
#undef ROW
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

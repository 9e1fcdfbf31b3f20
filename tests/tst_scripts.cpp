#include "telvartest.h"

#include "demos/data/bitmaps.h"

#include <QAbstractButton>
#include <QMetaMethod>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include <functional>

// The window's slots checked on the far end of a pseudo-terminal: the encoder commands no script
// sends, the order of the slots, the connection guard of every button, and every button's script,
// every byte in order and nothing after it, with its log pane. Also the pictures the scripts send.

using namespace TelvarTest;

using Call = std::function<bool(MainWindow &)>;
Q_DECLARE_METATYPE(Call)

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// ESC ! attribute, the text, LF: what one printed line of a script looks like.
QByteArray font(const QByteArray &text, char attribute) { return hex("1b21") + attribute + text + '\n'; }

QByteArray bytes(const unsigned char *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

const char separator[] = ".................................";
const char lowercase[] = "abcdefghijklmnopqrstuvwxyz";
const char alphabets[] = "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz";
const QByteArray separatorLine = font(separator, 0x00);

QByteArray quickTestStream()
{
    return hex("1b40 1b6100 1b6d04 1d763000 3000 5e00") + bytes(sampleLogoBitmap, 4512) + '\n'
        + font("======== S A M P L E ========", 0x00) + font("Normal 0123456 ABCD abcd", 0x00)
        + font("Bold 0123456 ABCD abcd", 0x08) + font("Double Width", 0x20) + font("Double Height", 0x10)
        + font("Reverse 0123456 ABCD abcd", 0x40) + font("Underlined 0123456 ABCD abcd", char(0x80))
        + font("Italic 0123456 ABCD abcd", 0x02) + font("Italic 0123456 ABCD abcd", char(0x82)) + '\n'
        + hex("1d763000 2000 1400") + bytes(windingsIconsBitmap, 640) + '\n'
        + hex("1d763000 0900 1400") + bytes(windingsDigitsBitmap, 180) + '\n'
        + hex("1b6c04 1d7703 1d6840 1d6b410b") + "01234567890" + hex("1b6c00")
        + hex("1d763000 2000 0001") + bytes(sampleRasterBitmap, 8192) + '\n';
}

QByteArray attributesStream()
{
    const QByteArray rest = QByteArray("\n") + lowercase + "\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789";
    return hex("1b6100 1b40") + separatorLine + font("Normal" + rest, 0x00) + font("Bold" + rest, 0x08)
        + font("Double Width" + rest, 0x20)
        + font("Double Height\nabcdefghijklmnop\nqrstuvwxyz\nABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n0123456789", 0x10)
        + font("Reverse" + rest, 0x40) + font("Underlined" + rest, char(0x80)) + font("Italic" + rest, 0x02)
        + font(QByteArray(separator) + "\n\n", 0x00);
}

QByteArray densityStream()
{
    QByteArray stream = hex("1b6100 1b40") + separatorLine;
    for (char level = 0; level <= 8; ++level)
        stream += hex("1b6d") + level + font(QByteArray(1, char('0' + level)) + ": " + lowercase, 0x00);
    return stream + font(QByteArray(separator) + "\n\n", 0x00) + hex("1b6d04");
}

QByteArray formattingStream()
{
    const QByteArray spacing33 = font(QByteArray("Default Line Space 33:\n ") + alphabets, 0x00);
    return hex("1b6100 1b40") + separatorLine + spacing33
        + hex("1b3342") + font(QByteArray("Line Space 66:\n ") + alphabets, 0x00) + hex("1b32") + spacing33
        + separatorLine + font(QByteArray("Feeding 20 dots after printing:\n") + alphabets, 0x00)
        + hex("1b4a14") + separatorLine + font(QByteArray("Feeding 5 lines after printing:\n") + alphabets, 0x00)
        + hex("1b6405") + separatorLine + hex("0d 1b6c08") + font("Left Margin 8:\nabcd\nabcd\nabcd", 0x00)
        + hex("1b6c00 1b5126") + font("Right Margin 38:\nabcd\nabcd\nabcd", 0x00) + hex("1b5130") + separatorLine;
}

QByteArray alignmentStream()
{
    return hex("1b6100 1b40 1b4408182600") + separatorLine + font("No Tab: abcd", 0x00)
        + "\tTab1\tTab2\tTab3\n" + separatorLine + hex("1b243200") + font("Abs: 1234", 0x00) + separatorLine
        + hex("1b6101") + font("Center: abcd", 0x00) + hex("1b6102") + font("Right: abcd", 0x00)
        + hex("1b6100") + font("Left: abcd", 0x00) + separatorLine;
}

// The receipt as it must arrive, with the payment line in `payment`.
QByteArray receiptStream(char payment)
{
    return hex("1b6100 1b40 1b6d04 1d763000 3000 0001") + bytes(receiptHeaderBitmap, 12288) + '\n'
        + hex("1b6101") + font("Customer Receipt", 0x00) + hex("1b6402 1b6100")
        + font("Date: DD/MM/YYYY", 0x00) + font("PID: 034/344/00288394", 0x00) + hex("1b6402")
        + "  Qty      Item      Price" + hex("1b4a18") + separatorLine
        + font("2x  1L 1.5% Milk     $3.98", 0x00) + font("6x  1L 3.5% Milk     $16.75", 0x00)
        + font("10x 100g Yogurt Cup  $8.50", 0x00) + separatorLine + font("Total:              $29.23", 0x08)
        + hex("1b6401") + font("Incl. 19% VAT $5.55 (Net $23.68)", 0x00) + separatorLine
        + font("Credit Card         $29.23", payment) + hex("1b6402 1b6101")
        + font("THANK YOU FOR YOUR VISIT", 0x00) + hex("1b6402");
}

// Space-separated codes and "first-last" runs of them, each code as two bytes, high byte first;
// a "|" ends a line.
QByteArray codes(const char *runs)
{
    QByteArray out;
    for (const QByteArray &item : QByteArray(runs).split(' ')) {
        if (item == "|") {
            out += '\n';
            continue;
        }
        const QList<QByteArray> ends = item.split('-');
        for (uint code = ends.first().toUInt(nullptr, 16); code <= ends.last().toUInt(nullptr, 16); ++code)
            out += hex(QByteArray::number(code, 16).rightJustified(4, '0'));
    }
    return out;
}

QByteArray languageStream()
{
    const QByteArray latin = hex("41424344616263643132333425262f2129282e2d5f3b802440a3a5a9ae") + "\n\n";
    const QByteArray on = hex("1c26"), off = hex("1c2e");
    // Control-valued low bytes (01 08, 01 0E) go out as they are; so does U+061B as 06 1B (1B is ESC).
    // The small-font heading goes out before its mode command, the standard one after.
    // Katakana leaves cells 2F, 3F, 4F, 5F and 6F out; its last feeds come after the cancel.
    return hex("1b400a") + "[00h-7Fh]\n" + latin
        + "[A0h-FFh]\n" + hex("c6c3c0dcfca5b5ded8f8d1f180c6d4dff0ebe7faefd9ffdc") + "\n\n"
        + "[100h-17Fh]\n" + hex("012b 0135 0107 0126 0176 0108 0119 010e 017d 014e 015c 017f 0151 0162 0132 014a 016f")
        + "\n\n[1A0h-1CFh 1F0h-1FFh 210h-21Fh]\n"
        + hex("01a0 01ad 01bb 01ce 01cf 01f1 01f9 01ff 0210 0216 0219 021c 021f 01be 01fc 021b")
        + "\n\n[1EA0h-1EF9h]\n" + hex("1ea1 1ec7 1ef3 1eab 1edb 1ee9 1ef1 1ed6 1ee7 1eed 1ecf 1edd 1ebc 1ef9 1eca 1eb5")
        + "\n\n[Setting Small Font]\n" + hex("1b4d01") + latin + hex("1b4d02") + "[Setting Standard Font]\n" + latin
        + "[DoubleByte - Chinese]\n" + on + hex("b7c9c1f7d6b1cfc2c8fdc7a7b3dfa3acd2c9cac7d2f8bad3c2e4bec5ccec")
        + "\n\n" + off + "[DoubleByte - Hiragana]\n" + on
        + codes("2421-242f | 2430-243f | 2440-244f | 2450-245f | 2460-246f | 2470-2473 |") + '\n' + off
        + "[DoubleByte - Katakana]\n" + on
        + codes("2521-252e | 2530-253e | 2540-254e | 2550-255e | 2560-256e | 2570-2576") + off + "\n\n"
        + on + hex("4267383624644433244e3d50244649712426 5b30376e") + off + "\n\n[Latin Language]\n" + latin
        + "[Greek Language]\n[Firmware 04/2020 or newer]\n[0374h-0375h 037Ah-037Eh]\n[0384h-038Ah 038Ch]\n"
          "[038Eh-03A1h 03A3h-03CEh]\n\n" + hex("0374 0375 037a 037b 037c 037d 037e")
        + codes("| 0384-038a 038c 038e-038f | 0390-039f | 03a0-03a1 03a3-03af | 03b0-03bf | 03c0-03ce |") + '\n'
        + "[Arabic Language]\n[Firmware 04/2020 or newer]\n[060Ch 061Bh 061F]\n[0621h-063Ah]\n"
          "[0640h-0655h]\n[0660h-066Fh]\n[0671h-06EDh]\n[06F0h-06FEh]\n\n" + hex("060c 061b 061f")
        + codes("| 0621-062f | 0630-063a | 0640-064f | 0650-0658 | 0660-066f | 0671-067f | 0680-068f | 0690-069f "
                "| 06a0-06af | 06b0-06bf | 06c0-06cf | 06d0-06df | 06e0-06ef | 06f0-06ff |") + '\n';
}

const char languageLog[] =
    "Printing languages\n"
    "The Controller works with Unicode however basic Latin and Latin-1 can be send as single byte character\n"
    " all other need to be sent as Unicode. Other DoubleByte languages are also supported e.g. Chinese, "
    "Japanese.\nHere is the range:\nBasic Latin and Latin-1 in range of 0x00h-0xFFh can be send as single byte\n"
    "Unicode:\n"
    "(unicode >=  0x0020UL && unicode <= 0x007FUL) ||  basic latin\n"
    "(unicode >=  0x00A0UL && unicode <= 0x017FUL) ||  part of latin1 & latin extended A\n"
    "(unicode >=  0x01A0UL && unicode <= 0x01CFUL) ||  part of Latin extended B\n"
    "(unicode >=  0x01F0UL && unicode <= 0x01FFUL) ||  part of Latin extended B\n"
    "(unicode >=  0x0210UL && unicode <= 0x021FUL) ||  part of Latin extended B\n"
    "(unicode >=\t 0x1EA0UL && unicode <= 0x1EF9UL) ||  part of Latin Extended Additional\n\n"
    "Greek and Arabic requires firmware April 2020 or newer\nGreek language support range is:\n"
    "[0374h-0375h 037Ah-037Eh 0384h-038Ah 038Ch 038Eh-03A1h 03A3h-03CEh]\nArabic language support range is:\n"
    "[060Ch 061Bh 061F 0621h-063Ah 0640h-0655h 0660h-066Fh 0671h-06EDh 06F0h-06FEh]\n\n"
    "Setting Font to Small\nSetting Font to Standard\nPrinting DoubleByte Language\nChinese\n"
    "Japanese - Hiragana\nJapanese - Katakana\nLatin Language\nGreek Language\nArabic Language";

// A picture in the controller's raster layout as an image: Format_Mono, index 1 black.
QImage dots(const unsigned char *data, int bytesPerRow, int rows)
{
    QImage image(data, bytesPerRow * 8, rows, bytesPerRow, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    return image;
}

int ink(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelIndex(x, y);
    return count;
}

// Separate stretches of columns (or of rows) that hold ink, as {first, one past the last}.
QList<QPair<int, int>> runs(const QImage &image, bool ofColumns)
{
    QList<QPair<int, int>> found;
    for (int i = 0; i < (ofColumns ? image.width() : image.height()); ++i) {
        if (!ink(ofColumns ? image.copy(i, 0, 1, image.height()) : image.copy(0, i, image.width(), 1)))
            continue;
        if (found.isEmpty() || found.last().second < i)
            found.append({i, i});
        found.last().second = i + 1;
    }
    return found;
}

uchar tabStops[] = {0x08, 0x18, 0x26};
uchar code[] = "12345";
uchar bitmap608[608];
uint8_t raw[] = {0x00, 0x7F, 0x80, 0xFF};

} // namespace

class tst_Scripts : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }

    // The encoder commands and arguments that no script sends (those a script sends are pinned down
    // by its stream below). One more command behind each shows where its bytes end.
    void encoder_data()
    {
        for (size_t i = 0; i < sizeof bitmap608; ++i)
            bitmap608[i] = uchar(i * 7 + 1);
        const QByteArray nvBitmap = hex("1d71010030010200") + bytes(bitmap608, sizeof bitmap608);
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("expected");
        // The data tag, the bytes expected, then the slot and its arguments.
#define ROW(tag, expected, ...) \
    QTest::newRow(tag) << Call([](MainWindow &w) { return invoke(w, __VA_ARGS__); }) << QByteArray(expected)
        ROW("Write", hex("007f80ff"), "Write", Q_ARG(const uint8_t *, raw), Q_ARG(size_t, sizeof raw));
        ROW("printStr empty", QByteArray(), "printStr", Q_ARG(const char *, ""));
        ROW("fontTypeSet unmasked", hex("1b21ff"), "fontTypeSet", Q_ARG(uint8_t, 0xFF));
        ROW("horizontalTabSet none", hex("1b4400"), "horizontalTabSet", Q_ARG(uchar *, tabStops), Q_ARG(uchar, 0));
        ROW("absolutePrintPos", hex("1b243201"), "absolutePrintPos", Q_ARG(uint8_t, 0x32), Q_ARG(uint8_t, 0x01));
        ROW("print_with_font empty", hex("1b21080a"), "print_with_font", Q_ARG(const char *, ""),
            Q_ARG(uint8_t, 0x08));
        ROW("setPrinterCallBack", hex("1d6101"), "setPrinterCallBack", Q_ARG(uchar, 0x01));
        ROW("picturePrintH no buffer", hex("1d76300002000300000000000000"), "picturePrintH", Q_ARG(uchar, 0),
            Q_ARG(ushort, 2), Q_ARG(ushort, 3), Q_ARG(uchar *, nullptr));
        ROW("picturePrintH 16-bit sizes", hex("1d76303302010000"), "picturePrintH", Q_ARG(uchar, 0x33),
            Q_ARG(ushort, 0x0102), Q_ARG(ushort, 0), Q_ARG(uchar *, nullptr));
        ROW("barcodePrint letter wraps", hex("1d6b010131"), "barcodePrint", Q_ARG(uchar, 0xC0),
            Q_ARG(uchar *, code), Q_ARG(uchar, 1));
        ROW("downloadNVBitmap", nvBitmap, "downloadNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0), Q_ARG(ushort, 304),
            Q_ARG(ushort, 2), Q_ARG(uchar *, bitmap608));
        ROW("downloadNVBitmap no buffer", hex("1d71020101000300000000"), "downloadNVBitmap", Q_ARG(uchar, 2),
            Q_ARG(uchar, 1), Q_ARG(ushort, 1), Q_ARG(ushort, 3), Q_ARG(uchar *, nullptr));
        ROW("printNVBitmap", hex("1c700130"), "printNVBitmap", Q_ARG(uchar, 1), Q_ARG(uchar, 0x30));
        ROW("setQRSizeVersion", hex("1d286b0300314306"), "setQRSizeVersion", Q_ARG(uchar, 6));
        ROW("setQRcodeErrorCorrection", hex("1d286b0300314531"), "setQRcodeErrorCorrection", Q_ARG(uchar, 0x31));
        ROW("transferQRcodeData", hex("1d286b0d00315030") + bytes(bitmap608, 10), "transferQRcodeData",
            Q_ARG(ushort, 10), Q_ARG(uchar *, bitmap608));
        ROW("transferQRcodeData no buffer", hex("1d286b05003150300000"), "transferQRcodeData", Q_ARG(ushort, 2),
            Q_ARG(uchar *, nullptr));
        ROW("transferQRcodeData length wraps", hex("1d286b0100315030") + QByteArray(0xFFFE, '\0'),
            "transferQRcodeData", Q_ARG(ushort, 0xFFFE), Q_ARG(uchar *, nullptr));
        ROW("printQRcodeData", hex("1d286b0300315130"), "printQRcodeData");
#undef ROW
    }

    void encoder()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, expected);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        QVERIFY2(call(cw.window), "slot not found");
        QVERIFY(invoke(cw.window, "printCR"));
        const QByteArray wire = cw.pty.read(expected.size() + 1);
        QCOMPARE(wire.toHex(' '), (expected + '\r').toHex(' '));
    }

    // Slots are reached by index through the meta-object, so their order is part of the window's
    // interface: the connection's and the encoder's, then the button scripts, each on_<button>_released
    // unless marked as run when pressed.
    void slotOrder()
    {
        QStringList expected = QStringLiteral(
            "open loadFile openSerialPort closeSerialPort about Write readData setComMode setPrinterHead "
            "printerSoftInit printLF printCR printStr printAndFeedNDotLine fontTypeSet horizontalAlign "
            "lineSpacingSet lineSpacingDefaults horizontalTabSet horizontalTab printAndFeedNFontLine "
            "picturePrintH setLeftMargin setRightMargin printerState absolutePrintPos setFontGrayScale "
            "setDbMode cancelDbMode setFontMode barcodeHeightSet barcodeWidthSet barcodeTextYesNo "
            "barcodePrint clearPrintBuffer getFirmwareInfo print_with_font fullCut partialCut "
            "setPrinterCallBack downloadNVBitmap printNVBitmap setQRSizeVersion setQRcodeErrorCorrection "
            "transferQRcodeData printQRcodeData enterSleepMode newLabelHome handleError").split(' ');
        const QString buttons = QStringLiteral(
            "pushButtonFont pushButtonVersion pushButtonStatus pushButtonBitmap pushButtonAttributes "
            "pushButtonDensity pushButtonFormatting pushButtonTabs pushButtonReset pushButtonClear "
            "pushButtonReceipt pushButtonBarcodeUPCA pushButtonBarcodeUPCE pushButtonBarcodeEAN13 "
            "pushButtonBarcodeEAN8 pushButtonBarcodeCODE39 pushButtonBarcodeITF25 pushButtonBarcodeCODABAR "
            "pushButtonBarcodeCODE93 pushButtonBarcodeCODE128A pushButton_Load pushButton_58PrintH "
            "pushButton_LineFeed pushButtonLanguage pushButtonFTP628 pushButtonFTP638 pushButtonLTP0213 "
            "pushButtonLTP02C1 pushButtonApply pushButtonYesText pushButtonNoText pushButton58_384 "
            "pushButton80_576 pushButtonFullCut pushButtonPartialCut pushButtonReceiptFullCut "
            "pushButtonReceiptPartialCut checkBoxHexEnable pushButtonPowerManagment "
            "pushButtonM23_H69/pressed pushButtonM23_SX pushButtonSeiko345 pushButtonPT486HLV "
            "pushButtonJX2R39BQ pushButtonNextLabel/pressed pushButtonTestLabel pushButtonATP2SMP8");
        for (const QString &button : buttons.split(' '))
            expected << "on_" + (button.endsWith("/pressed") ? button.chopped(8) + "_pressed" : button + "_released");
        const QMetaObject &meta = MainWindow::staticMetaObject;
        QStringList names;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Slot)
                names << QString::fromLatin1(meta.method(i).name());
        }
        QCOMPARE(names, expected);
    }

    // Every button that talks to the controller, with the port closed: the guard's box and nothing
    // else. The buttons come from the window's own slots, so a new script is covered the day it is
    // connected.
    void guard_data()
    {
        QTest::addColumn<QByteArray>("button");
        MainWindow window;
        const QRegularExpression handler(QStringLiteral("^on_(pushButton\\w+)_(released|pressed)\\(\\)$"));
        const QMetaObject *meta = window.metaObject();
        int buttons = 0;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QRegularExpressionMatch m = handler.match(QString::fromLatin1(meta->method(i).methodSignature()));
            if (!m.hasMatch())
                continue;
            QVERIFY2(window.findChild<QAbstractButton *>(m.captured(1)), qPrintable(m.captured(1)));
            ++buttons;
            if (m.captured(1) != QLatin1String("pushButton_Load")) // works offline, sends nothing
                QTest::newRow(qPrintable(m.captured(1))) << m.captured(1).toLatin1();
        }
        // Fifteen General, eleven bar code, three image, four cutter and thirteen controller buttons.
        QCOMPARE(buttons, 46);
    }

    void guard()
    {
        QFETCH(QByteArray, button);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        action(cw.window, "actionDisconnect")->trigger();
        expectGuard(cw.window, cw.pty, button.constData());
    }

    void script_data();
    void script();

    // The pictures as the controller reads them: neither blank nor solid, spread over the whole area,
    // in as many separate pieces as they show (at least and at most: column runs, then row bands).
    void pictures_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QList<int>>("pieces");
#define PICTURE(name, id, pieces) \
    QTest::newRow(name) << dots(id##Bitmap, id##BitmapBytesPerRow, id##BitmapRows) << QList<int> pieces
        PICTURE("qr", qrSample, ({1, 1, 1, 1}));
        PICTURE("logo", sampleLogo, ({1, 3, 1, 1}));
        PICTURE("pictograms", windingsIcons, ({8, 32, 1, 1}));
        PICTURE("circled digits", windingsDigits, ({4, 4, 1, 1}));
        PICTURE("lettering", sampleRaster, ({1, 3, 4, 4}));
        PICTURE("receipt header", receiptHeader, ({1, 8, 5, 8}));
#undef PICTURE
    }

    void pictures()
    {
        QFETCH(QImage, image);
        QFETCH(QList<int>, pieces);
        const double share = double(ink(image)) / (image.width() * image.height());
        QVERIFY2(share > 0.05 && share < 0.75, qPrintable(QString::number(share)));
        for (bool ofColumns : {true, false}) {
            const auto found = runs(image, ofColumns);
            const int lo = pieces[ofColumns ? 0 : 2], hi = pieces[ofColumns ? 1 : 3];
            QVERIFY2(found.size() >= lo && found.size() <= hi, qPrintable(QString::number(found.size())));
            QVERIFY(found.last().second - found.first().first >= (ofColumns ? image.width() : image.height()) * 8 / 10);
        }
    }
};

void tst_Scripts::script_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("setup"); // clicked first, or the only radio buttons checked ("none": none)
    QTest::addColumn<bool>("onPress");      // sent when pressed, not when released

    const auto row = [](const char *name, const char *button, const QByteArray &stream, const QString &log,
                        const QStringList &setup = {}, bool onPress = false) {
        QTest::newRow(name) << QByteArray(button) << stream << log << setup << onPress;
    };
    const auto lines = [](const QStringList &list) { return list.join(QLatin1Char('\n')); };
    row("Reset", "pushButtonReset", hex("1b40"), "Resets and initilizes to default values");
    row("Clear", "pushButtonClear", hex("10140a"), "Clears the cyclic print buffer and line feeds");
    row("Version", "pushButtonVersion", hex("1005"), QString());
    row("Status", "pushButtonStatus", hex("1004"), QString());
    row("Power Managment", "pushButtonPowerManagment", hex("1016"),
        "Setting controller into sleep mode.\nSend any command to exit sleep mode and then continue printing...");
    row("Next Label", "pushButtonNextLabel", hex("1d06"), "Moving to top of next label", {}, true);
    row("Print Label", "pushButtonTestLabel",
        hex("1b6100") + font("Label Print", 0x00) + font("Label text", 0x00) + font("Label text Bold", 0x08)
            + hex("1d06"),
        "Printing sample label and moving to new label");
    row("Quick Test", "pushButtonFont", quickTestStream(),
        lines({"Printing features:", "Normal", "Bold", "Double Width", "Double Height", "Reverse", "Underlined",
               "Italic", "Combined font attribute Italic and Underlined", "Printing tiny Windings Bitmaps",
               "Printing Bar Code", "Printing Raster Bitmap"}));
    row("Attributes", "pushButtonAttributes", attributesStream(),
        lines({"Printing text attribute options:", "Normal", "Bold", "Double Width", "Double Height",
               "Double Width and Height", "Reverse", "Underlined", "Italic"}));
    row("Density", "pushButtonDensity", densityStream(),
        lines({"Printing text darkness options:", "0 - Default", "1", "2", "3", "4", "5", "6", "7", "8"}));
    row("QR Bitmap", "pushButtonBitmap", hex("1b40 1d763000 1d00 e800") + bytes(qrSampleBitmap, 6728),
        "Printing a sample QR code");
    row("Formatting", "pushButtonFormatting", formattingStream(),
        lines({"Setting some text parameters:", "Default line space of 33 dots", "Line space of 66 dots ",
               "Resetting to default 33 dots", "Print and feed paper 20 dots", "Print and feed paper 5 lines",
               "Test carriage return", "Setting a left margin of 8 dots", "Setting a right margin of 38 dots"}));
    row("Alignment", "pushButtonTabs", alignmentStream(),
        lines({"Setting 3 tabs and stepping to each", "Setting absolute print position",
               "Setting print alignment center", "Setting print alignment right", "Setting print alignment left"}));
    row("Language", "pushButtonLanguage", languageStream(), languageLog);
    // The cutter receipts are the Receipt's stream with a plain double-height payment line and the cut after it.
    row("Receipt", "pushButtonReceipt", receiptStream(char(0x90)), "Sample of typical POS receipt");
    row("Full Cut", "pushButtonFullCut", hex("1b69"), "Sending full cut command");
    row("Partial Cut", "pushButtonPartialCut", hex("1b6e"), "Sending partial cut command");
    row("Receipt with Full Cut", "pushButtonReceiptFullCut", receiptStream(0x10) + hex("1b69"),
        "Sample of typical POS receipt with full paper cut");
    row("Receipt with Partial Cut", "pushButtonReceiptPartialCut", receiptStream(0x10) + hex("1b6e"),
        "Sample of typical POS receipt with partial paper cut");

    // Bar codes: button, name in the log, label, module width, GS k symbology and length (hex), data;
    // each also with the margin box ticked.
    struct Code { const char *button, *name, *label; char width; const char *head, *data; };
    const Code symbologies[] = {
        {"UPCA", "UPC-A", "UPCA", 3, "410b", "01234567890"}, {"UPCE", "UPC-E", "UPC-E", 3, "4206", "012345"},
        {"EAN13", "EAN-13", "EAN13", 3, "430c", "012345678901"}, {"EAN8", "EAN-8", "EAN-8", 3, "4407", "0123456"},
        {"CODE39", "Code 39", "Code 39", 2, "450b", "123456RC302"},
        {"ITF25", "ITF 2 5", "ITF 2 5", 3, "4608", "12345678"},
        {"CODABAR", "CODA BAR", "CODA BAR", 3, "4708", "a123456a"},
        {"CODE93", "CODE 93", "CODE 93", 3, "4808", "12345678"},
        {"CODE128A", "CODE 128A", "CODE 128A", 2, "4908", "12345678"},
    };
    for (const Code &c : symbologies) {
        for (bool margin : {false, true}) {
            const QByteArray button = "pushButtonBarcode" + QByteArray(c.button);
            QTest::addRow("%s %s", c.button, margin ? "margin" : "plain")
                << button
                << hex("1b40 1b2100") + c.label + " height=64 width=" + char('0' + c.width) + '\n' + hex("1b6402")
                       + (margin ? hex("1b6c04") : QByteArray()) + hex("1d77") + c.width + hex("1d6840 1d6b")
                       + hex(c.head) + c.data + hex("1b6402 1b6c00")
                << QStringLiteral("Printing %1 bar code: %2").arg(c.name, c.data)
                       + (margin ? "\nAdding 4 to left margin - Bar Code will be moved 4mm to the right" : "")
                << (margin ? QStringList{"checkBoxBarCodeMargin"} : QStringList()) << false;
        }
    }
    row("with text", "pushButtonYesText", hex("1d4801"), "Enable Bar Code Text printing - Default");
    row("without text", "pushButtonNoText", hex("1d4800"), "Disable Bar Code Text printing");

    // The Controller tab: the speed and flow control of the checked radio buttons, and the print heads.
    const QString uart = "Setting UART com speed and flow control. Startup default settings are 115200bps and "
                         "XON/XOFF\nAfter issuing this command you must adjust your host UART settings as well "
                         "by diconnecting and connectin with the right settings";
    row("start-up selection", "pushButtonApply", hex("1d280401"), uart);
    row("375000 hardware", "pushButtonApply", hex("1d280602"), uart, {"radioButton375000", "radioButtonHardFlow"});
    row("9600 none", "pushButtonApply", hex("1d280000"), uart, {"radioButton9600", "radioButtonNoFlow"});
    row("nothing checked falls back", "pushButtonApply", hex("1d280401"), uart, {"none"});
    row("first checked wins", "pushButtonApply", hex("1d280100"), uart,
        {"radioButton375000", "radioButton19200", "radioButtonHardFlow", "radioButtonNoFlow"});
    const auto head = [&row](const char *button, const char *code, const char *type, const char *controller,
                             bool onPress = false) {
        row(button, button, hex(code),
            QStringLiteral("Setting Print Head to Type: %1\nUpdating %2 controller flash...").arg(type, controller),
            {}, onPress);
    };
    head("pushButtonFTP628", "1b5a00", "0 - 58mm FTP628MCL101 or compatible", "RC30x");
    head("pushButtonFTP638", "1b5a01", "1 - 80mm FTP638MCL101 or compatible", "RC30x");
    head("pushButtonLTP0213", "1b5a02", "2 - 58mm Seiko LTP02-245-13 or compatible", "RC30x");
    head("pushButtonLTP02C1", "1b5a03", "3 - 58mm Seiko LTP02-245-C1 or compatible", "RC30x");
    head("pushButton58_384", "1b5a04", "4 - 58mm 384 dots with cutter 7.2V/24V", "RC304B");
    head("pushButton80_576", "1b5a05", "5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", "RC304B");
    head("pushButtonM23_H69", "1b5a06", "6 - 58mm M23-DH-H69 or compatible", "RC30x", true);
    head("pushButtonM23_SX", "1b5a07", "7 - 58mm M23-SX or compatible", "RC30x");
    head("pushButtonSeiko345", "1b5a08", "8 - 80mm Seiko LTPV345 or compatible", "RC305");
    head("pushButtonPT486HLV", "1b5a09", "9 - 58mm PT486HLV or compatible", "RC30x");
    head("pushButtonJX2R39BQ", "1b5a0a", "10 - 58mm JX2R39BQ Label printer or compatible", "RC304B");
    head("pushButtonATP2SMP8", "1b5a0b", "11 - 58mm ATP2SMP8 or compatible", "RC30x");
}

// Pressed and released apart, which shows which of the two sends.
void tst_Scripts::script()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, setup);
    QFETCH(bool, onPress);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    // Without mutual exclusion any mix of checked radio buttons, none or two in a group, can be set up.
    if (!setup.filter(QRegularExpression(QStringLiteral("^radio|^none$"))).isEmpty()) {
        for (QRadioButton *radio : cw.window.findChildren<QRadioButton *>()) {
            radio->setAutoExclusive(false);
            radio->setChecked(setup.contains(radio->objectName()));
        }
    } else {
        for (const QString &name : setup)
            click(cw.window, qPrintable(name));
    }
    QCOMPARE(cw.pty.readUntilQuiet(50), QByteArray()); // ticking a box is no command
    setLog(cw.window, QStringLiteral("left over from before"));
    press(cw.window, button.constData());
    QByteArray pressed = cw.pty.read(onPress ? stream.size() : 0);
    pressed += cw.pty.readUntilQuiet(50);
    release(cw.window, button.constData());
    QByteArray released = cw.pty.read(onPress ? 0 : stream.size());
    released += cw.pty.readUntilQuiet(100);
    QVERIFY2(firstDifference(pressed, onPress ? stream : QByteArray()).isEmpty(),
             qPrintable("pressed: " + firstDifference(pressed, onPress ? stream : QByteArray())));
    QVERIFY2(firstDifference(released, onPress ? QByteArray() : stream).isEmpty(),
             qPrintable("released: " + firstDifference(released, onPress ? QByteArray() : stream)));
    QTEST(logText(cw.window), "log");

    // The margin box is read on every run: untick it and the margin is gone again.
    if (setup.contains(QLatin1String("checkBoxBarCodeMargin"))) {
        click(cw.window, "checkBoxBarCodeMargin");
        click(cw.window, button.constData());
        QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), stream.replace(hex("1b6c04"), "").toHex(' '));
    }
}

QTEST_MAIN(tst_Scripts)
#include "tst_scripts.moc"

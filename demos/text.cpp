#include "app/mainwindow.h"
#include "demos/data/bitmaps.h"
#include "demos/data/sampletexts.h"

#include <QByteArray>

// Text engine samples of the General tab: every font attribute, the pictogram
// strips, a bar code and raster pictures (Quick Test), the alphabet in each
// attribute (Attributes) and the nine print darkness levels (Density).

void MainWindow::on_pushButtonFont_released()
{
    if (!requirePort())
        return;
    startLog("Printing features:");
    appendLog("Normal");
    appendLog("Bold");
    appendLog("Double Width");
    appendLog("Double Height");
    appendLog("Reverse");
    appendLog("Underlined");
    appendLog("Italic");
    appendLog("Combined font attribute Italic and Underlined");
    appendLog("Printing tiny Windings Bitmaps");
    appendLog("Printing Bar Code");
    appendLog("Printing Raster Bitmap");

    printerSoftInit();
    horizontalAlign(0x00);
    setFontGrayScale(0x04);
    // The raster command's data pointer is not const; it only reads the picture.
    picturePrintH(0x00, sampleLogoBitmapBytesPerRow, sampleLogoBitmapRows,
                  const_cast<uchar *>(sampleLogoBitmap));
    printLF();
    print_with_font("======== S A M P L E ========", 0x00);
    print_with_font("Normal 0123456 ABCD abcd", 0x00);
    print_with_font("Bold 0123456 ABCD abcd", 0x08);
    print_with_font("Double Width", 0x20);
    print_with_font("Double Height", 0x10);
    print_with_font("Reverse 0123456 ABCD abcd", 0x40);
    print_with_font("Underlined 0123456 ABCD abcd", 0x80);
    print_with_font("Italic 0123456 ABCD abcd", 0x02);
    print_with_font("Italic 0123456 ABCD abcd", 0x82);
    printLF();
    picturePrintH(0x00, windingsIconsBitmapBytesPerRow, windingsIconsBitmapRows,
                  const_cast<uchar *>(windingsIconsBitmap));
    printLF();
    picturePrintH(0x00, windingsDigitsBitmapBytesPerRow, windingsDigitsBitmapRows,
                  const_cast<uchar *>(windingsDigitsBitmap));
    printLF();
    // The bar code is indented by a 4-dot margin, which is taken back at once
    // so the raster picture starts at the left edge again.
    setLeftMargin(0x04);
    barcodeWidthSet(0x03);
    barcodeHeightSet(0x40);
    char upcDigits[] = "01234567890";
    barcodePrint(0x00, reinterpret_cast<uchar *>(upcDigits), sizeof upcDigits - 1);
    setLeftMargin(0x00);
    picturePrintH(0x00, sampleRasterBitmapBytesPerRow, sampleRasterBitmapRows,
                  const_cast<uchar *>(sampleRasterBitmap));
    printLF();
}

void MainWindow::on_pushButtonAttributes_released()
{
    if (!requirePort())
        return;
    startLog("Printing text attribute options:");
    appendLog("Normal");
    appendLog("Bold");
    appendLog("Double Width");
    appendLog("Double Height");
    appendLog("Double Width and Height");
    appendLog("Reverse");
    appendLog("Underlined");
    appendLog("Italic");

    horizontalAlign(0x00);
    printerSoftInit();
    print_with_font(separatorLine, 0x00);
    print_with_font("Normal\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789", 0x00);
    print_with_font("Bold\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789", 0x08);
    print_with_font("Double Width\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789",
                    0x20);
    // This sample alone breaks each alphabet after its sixteenth letter.
    print_with_font(
        "Double Height\nabcdefghijklmnop\nqrstuvwxyz\nABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n0123456789",
        0x10);
    print_with_font("Reverse\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789",
                    0x40);
    print_with_font("Underlined\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789",
                    0x80);
    print_with_font("Italic\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789", 0x02);
    print_with_font(separatorLineFeedTwice, 0x00);
}

void MainWindow::on_pushButtonDensity_released()
{
    if (!requirePort())
        return;
    startLog("Printing text darkness options:");
    appendLog("0 - Default");
    for (char level = '1'; level <= '8'; ++level) {
        const char digit[] = {level, '\0'};
        appendLog(digit);
    }

    horizontalAlign(0x00);
    printerSoftInit();
    print_with_font(separatorLine, 0x00);
    // Each sample line is printed at the darkness it names.
    for (uint8_t level = 0; level <= 8; ++level) {
        setFontGrayScale(level);
        const QByteArray sample = QByteArray::number(level) + ": abcdefghijklmnopqrstuvwxyz";
        print_with_font(sample.constData(), 0x00);
    }
    print_with_font(separatorLineFeedTwice, 0x00);
    // Level 4 is the darkness the other scripts print at.
    setFontGrayScale(0x04);
}

#include "app/mainwindow.h"
#include "demos/data/bitmaps.h"
#include "demos/data/sampletexts.h"

// Page layout samples of the General tab: line spacing, paper feeds, carriage
// return and margins (Formatting), tab stops, an absolute print position and
// the three alignments (Alignment), and the sample point-of-sale receipt.

namespace {

// Three alphabet lines below a heading. The first alphabet of the 33-dot
// sample is indented by one blank so the line spacing shows against a
// ragged edge.
constexpr char defaultSpacingSample[] = "Default Line Space 33:\n abcdefghijklmnopqrstuvwxyz\n"
                                        "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz";

} // namespace

void MainWindow::on_pushButtonFormatting_released()
{
    if (!requirePort())
        return;
    startLog("Setting some text parameters:");
    appendLog("Default line space of 33 dots");
    appendLog("Line space of 66 dots ");
    appendLog("Resetting to default 33 dots");
    appendLog("Print and feed paper 20 dots");
    appendLog("Print and feed paper 5 lines");
    appendLog("Test carriage return");
    appendLog("Setting a left margin of 8 dots");
    appendLog("Setting a right margin of 38 dots");

    horizontalAlign(0x00);
    printerSoftInit();
    print_with_font(separatorLine, 0x00);
    print_with_font(defaultSpacingSample, 0x00);
    lineSpacingSet(0x42);
    print_with_font("Line Space 66:\n abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\n"
                    "abcdefghijklmnopqrstuvwxyz",
                    0x00);
    lineSpacingDefaults();
    print_with_font(defaultSpacingSample, 0x00);
    print_with_font(separatorLine, 0x00);
    print_with_font("Feeding 20 dots after printing:\nabcdefghijklmnopqrstuvwxyz\n"
                    "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz",
                    0x00);
    printAndFeedNDotLine(0x14);
    print_with_font(separatorLine, 0x00);
    print_with_font("Feeding 5 lines after printing:\nabcdefghijklmnopqrstuvwxyz\n"
                    "abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz",
                    0x00);
    printAndFeedNFontLine(0x05);
    print_with_font(separatorLine, 0x00);
    printCR();
    setLeftMargin(0x08);
    print_with_font("Left Margin 8:\nabcd\nabcd\nabcd", 0x00);
    setLeftMargin(0x00);
    setRightMargin(0x26);
    print_with_font("Right Margin 38:\nabcd\nabcd\nabcd", 0x00);
    // The controller is left with a 48-dot right margin, not with none.
    setRightMargin(0x30);
    print_with_font(separatorLine, 0x00);
}

void MainWindow::on_pushButtonTabs_released()
{
    if (!requirePort())
        return;
    startLog("Setting 3 tabs and stepping to each");
    appendLog("Setting absolute print position");
    appendLog("Setting print alignment center");
    appendLog("Setting print alignment right");
    appendLog("Setting print alignment left");

    horizontalAlign(0x00);
    printerSoftInit();
    // Tab stops in character columns, ascending; the encoder closes the list
    // with the 00 the controller expects.
    uchar tabStops[] = {0x08, 0x18, 0x26};
    horizontalTabSet(tabStops, sizeof tabStops);
    print_with_font(separatorLine, 0x00);
    print_with_font("No Tab: abcd", 0x00);
    // The three fields share one printed line, ended by the line feed.
    horizontalTab();
    printStr("Tab1");
    horizontalTab();
    printStr("Tab2");
    horizontalTab();
    printStr("Tab3");
    printLF();
    print_with_font(separatorLine, 0x00);
    absolutePrintPos(0x32, 0x00);
    print_with_font("Abs: 1234", 0x00);
    print_with_font(separatorLine, 0x00);
    horizontalAlign(0x01);
    print_with_font("Center: abcd", 0x00);
    horizontalAlign(0x02);
    print_with_font("Right: abcd", 0x00);
    horizontalAlign(0x00);
    print_with_font("Left: abcd", 0x00);
    print_with_font(separatorLine, 0x00);
}

void MainWindow::on_pushButtonReceipt_released()
{
    if (!requirePort())
        return;
    startLog("Sample of typical POS receipt");
    sampleReceipt(0x90);
}

// The receipt printed by the Receipt button and, before their cut, by the two
// cutter receipts. paymentAttribute is the font byte of the payment line.
void MainWindow::sampleReceipt(uint8_t paymentAttribute)
{
    horizontalAlign(0x00);
    printerSoftInit();
    setFontGrayScale(0x04);
    // The raster command's data pointer is not const; it only reads the picture.
    picturePrintH(0x00, receiptHeaderBitmapBytesPerRow, receiptHeaderBitmapRows,
                  const_cast<uchar *>(receiptHeaderBitmap));
    printLF();
    horizontalAlign(0x01);
    print_with_font("Customer Receipt", 0x00);
    printAndFeedNFontLine(0x02);
    horizontalAlign(0x00);
    print_with_font("Date: DD/MM/YYYY", 0x00);
    print_with_font("PID: 034/344/00288394", 0x00);
    printAndFeedNFontLine(0x02);
    // The column heading has no line end of its own: the dot feed prints it
    // and leaves a 24-dot gap above the rule.
    printStr("  Qty      Item      Price");
    printAndFeedNDotLine(0x18);
    print_with_font(separatorLine, 0x00);
    print_with_font("2x  1L 1.5% Milk     $3.98", 0x00);
    print_with_font("6x  1L 3.5% Milk     $16.75", 0x00);
    print_with_font("10x 100g Yogurt Cup  $8.50", 0x00);
    print_with_font(separatorLine, 0x00);
    print_with_font("Total:              $29.23", 0x08);
    printAndFeedNFontLine(0x01);
    print_with_font("Incl. 19% VAT $5.55 (Net $23.68)", 0x00);
    print_with_font(separatorLine, 0x00);
    print_with_font("Credit Card         $29.23", paymentAttribute);
    printAndFeedNFontLine(0x02);
    horizontalAlign(0x01);
    print_with_font("THANK YOU FOR YOUR VISIT", 0x00);
    printAndFeedNFontLine(0x02);
}

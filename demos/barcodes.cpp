#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QCheckBox>

#include <cstring>

// The Bar Codes tab: one sample per symbology the controller knows, and the
// switch for the human-readable digits under a bar code.

namespace {

struct BarcodeSample
{
    const char *log;
    const char *label;
    uchar symbology; // GS k sends it as 0x41 + this number
    const char *data;
    uchar width;     // module width in dots
};

// One row per button, in the controller's symbology order. The data goes out
// as it stands: the controller adds check digits, start and stop characters.
const BarcodeSample barcodeSamples[] = {
    {"Printing UPC-A bar code: 01234567890", "UPCA height=64 width=3", 0, "01234567890", 3},
    {"Printing UPC-E bar code: 012345", "UPC-E height=64 width=3", 1, "012345", 3},
    {"Printing EAN-13 bar code: 012345678901", "EAN13 height=64 width=3", 2, "012345678901", 3},
    {"Printing EAN-8 bar code: 0123456", "EAN-8 height=64 width=3", 3, "0123456", 3},
    {"Printing Code 39 bar code: 123456RC302", "Code 39 height=64 width=2", 4, "123456RC302", 2},
    {"Printing ITF 2 5 bar code: 12345678", "ITF 2 5 height=64 width=3", 5, "12345678", 3},
    {"Printing CODA BAR bar code: a123456a", "CODA BAR height=64 width=3", 6, "a123456a", 3},
    {"Printing CODE 93 bar code: 12345678", "CODE 93 height=64 width=3", 7, "12345678", 3},
    {"Printing CODE 128A bar code: 12345678", "CODE 128A height=64 width=2", 8, "12345678", 2},
};

enum BarcodeRow { UPCA, UPCE, EAN13, EAN8, CODE39, ITF25, CODABAR, CODE93, CODE128A };

const uchar barcodeHeight = 64;
const uchar marginDots = 4;

} // namespace

void MainWindow::barcodeSample(int row)
{
    const BarcodeSample &sample = barcodeSamples[row];
    if (!requirePort())
        return;
    startLog(sample.log);
    printerSoftInit();
    print_with_font(sample.label, 0x00);
    printAndFeedNFontLine(2);
    if (ui->checkBoxBarCodeMargin->isChecked()) {
        appendLog("Adding 4 to left margin - Bar Code will be moved 4mm to the right");
        setLeftMargin(marginDots);
    }
    barcodeWidthSet(sample.width);
    barcodeHeightSet(barcodeHeight);
    // The command only reads the data; its pointer parameter is not const.
    barcodePrint(sample.symbology, reinterpret_cast<uchar *>(const_cast<char *>(sample.data)),
                 static_cast<uchar>(std::strlen(sample.data)));
    printAndFeedNFontLine(2);
    // Always taken back, so text printed afterwards starts at the left edge.
    setLeftMargin(0);
}

void MainWindow::on_pushButtonBarcodeUPCA_released() { barcodeSample(UPCA); }
void MainWindow::on_pushButtonBarcodeUPCE_released() { barcodeSample(UPCE); }
void MainWindow::on_pushButtonBarcodeEAN13_released() { barcodeSample(EAN13); }
void MainWindow::on_pushButtonBarcodeEAN8_released() { barcodeSample(EAN8); }
void MainWindow::on_pushButtonBarcodeCODE39_released() { barcodeSample(CODE39); }
void MainWindow::on_pushButtonBarcodeITF25_released() { barcodeSample(ITF25); }
void MainWindow::on_pushButtonBarcodeCODABAR_released() { barcodeSample(CODABAR); }
void MainWindow::on_pushButtonBarcodeCODE93_released() { barcodeSample(CODE93); }
void MainWindow::on_pushButtonBarcodeCODE128A_released() { barcodeSample(CODE128A); }

// The controller keeps this switch itself; nothing else is sent with it.
void MainWindow::on_pushButtonYesText_released()
{
    if (!requirePort())
        return;
    startLog("Enable Bar Code Text printing - Default");
    barcodeTextYesNo(1);
}

void MainWindow::on_pushButtonNoText_released()
{
    if (!requirePort())
        return;
    startLog("Disable Bar Code Text printing");
    barcodeTextYesNo(0);
}

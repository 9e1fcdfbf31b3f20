#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QRadioButton>

// The Controller tab configures the controller, not this host's port: its
// UART speed and flow control, and the print mechanism it drives. Both are
// kept in the controller's flash.

namespace {

struct RadioCode
{
    QRadioButton *Ui::MainWindow::*button;
    uchar code;
};

// Tested in this order; the first checked button gives the code.
const RadioCode speedCodes[] = {
    {&Ui::MainWindow::radioButton9600, 0},   {&Ui::MainWindow::radioButton19200, 1},
    {&Ui::MainWindow::radioButton38400, 2},  {&Ui::MainWindow::radioButton57600, 3},
    {&Ui::MainWindow::radioButton115200, 4}, {&Ui::MainWindow::radioButton256000, 5},
    {&Ui::MainWindow::radioButton375000, 6},
};

const RadioCode flowCodes[] = {
    {&Ui::MainWindow::radioButtonNoFlow, 0},
    {&Ui::MainWindow::radioButtonSoftFlow, 1},
    {&Ui::MainWindow::radioButtonHardFlow, 2},
};

// The controller's own start-up settings, 115200 bps with XON/XOFF, stand in
// when no button of a group is checked.
const uchar defaultSpeedCode = 4;
const uchar defaultFlowCode = 1;

template <std::size_t N>
uchar checkedCode(const Ui::MainWindow &form, const RadioCode (&codes)[N], uchar fallback)
{
    for (const RadioCode &entry : codes) {
        if ((form.*entry.button)->isChecked())
            return entry.code;
    }
    return fallback;
}

struct PrintHead
{
    const char *type;
    const char *flash;
};

const char rc30xFlash[] = "Updating RC30x controller flash...";
const char rc304bFlash[] = "Updating RC304B controller flash...";
const char rc305Flash[] = "Updating RC305 controller flash...";

// Indexed by the controller's print head type number.
const PrintHead printHeads[] = {
    {"Setting Print Head to Type: 0 - 58mm FTP628MCL101 or compatible", rc30xFlash},
    {"Setting Print Head to Type: 1 - 80mm FTP638MCL101 or compatible", rc30xFlash},
    {"Setting Print Head to Type: 2 - 58mm Seiko LTP02-245-13 or compatible", rc30xFlash},
    {"Setting Print Head to Type: 3 - 58mm Seiko LTP02-245-C1 or compatible", rc30xFlash},
    {"Setting Print Head to Type: 4 - 58mm 384 dots with cutter 7.2V/24V", rc304bFlash},
    {"Setting Print Head to Type: 5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", rc304bFlash},
    {"Setting Print Head to Type: 6 - 58mm M23-DH-H69 or compatible", rc30xFlash},
    {"Setting Print Head to Type: 7 - 58mm M23-SX or compatible", rc30xFlash},
    {"Setting Print Head to Type: 8 - 80mm Seiko LTPV345 or compatible", rc305Flash},
    {"Setting Print Head to Type: 9 - 58mm PT486HLV or compatible", rc30xFlash},
    {"Setting Print Head to Type: 10 - 58mm JX2R39BQ Label printer or compatible", rc304bFlash},
    {"Setting Print Head to Type: 11 - 58mm ATP2SMP8 or compatible", rc30xFlash},
};

} // namespace

// The new speed takes effect in the controller at once; this side keeps its
// port settings, so the user reconnects with matching ones.
void MainWindow::on_pushButtonApply_released()
{
    if (!requirePort())
        return;
    startLog("Setting UART com speed and flow control. Startup default settings are 115200bps "
             "and XON/XOFF");
    appendLog("After issuing this command you must adjust your host UART settings as well by "
              "diconnecting and connectin with the right settings");
    setComMode(checkedCode(*ui, speedCodes, defaultSpeedCode),
               checkedCode(*ui, flowCodes, defaultFlowCode));
}

void MainWindow::printHeadSample(int row)
{
    if (!requirePort())
        return;
    startLog(printHeads[row].type);
    appendLog(printHeads[row].flash);
    setPrinterHead(static_cast<uchar>(row));
}

void MainWindow::on_pushButtonFTP628_released() { printHeadSample(0); }
void MainWindow::on_pushButtonFTP638_released() { printHeadSample(1); }
void MainWindow::on_pushButtonLTP0213_released() { printHeadSample(2); }
void MainWindow::on_pushButtonLTP02C1_released() { printHeadSample(3); }
void MainWindow::on_pushButton58_384_released() { printHeadSample(4); }
void MainWindow::on_pushButton80_576_released() { printHeadSample(5); }
// The only head button that acts as soon as it goes down.
void MainWindow::on_pushButtonM23_H69_pressed() { printHeadSample(6); }
void MainWindow::on_pushButtonM23_SX_released() { printHeadSample(7); }
void MainWindow::on_pushButtonSeiko345_released() { printHeadSample(8); }
void MainWindow::on_pushButtonPT486HLV_released() { printHeadSample(9); }
void MainWindow::on_pushButtonJX2R39BQ_released() { printHeadSample(10); }
void MainWindow::on_pushButtonATP2SMP8_released() { printHeadSample(11); }

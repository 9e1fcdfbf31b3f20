#include "app/mainwindow.h"
#include "ui_mainwindow.h"

// The simple controls of the General tab: reset, buffer clear, the two
// queries, sleep, and label stock handling.

void MainWindow::on_pushButtonVersion_released()
{
    if (!requirePort())
        return;
    ui->editTelvar->clear();
    getFirmwareInfo();
    // Shows whatever has already come in; the answer itself arrives later
    // through readyRead.
    readData();
}

void MainWindow::on_pushButtonStatus_released()
{
    if (!requirePort())
        return;
    ui->editTelvar->clear();
    printerState();
    readData();
}

void MainWindow::on_pushButtonReset_released()
{
    if (!requirePort())
        return;
    startLog("Resets and initilizes to default values");
    printerSoftInit();
}

void MainWindow::on_pushButtonClear_released()
{
    if (!requirePort())
        return;
    startLog("Clears the cyclic print buffer and line feeds");
    clearPrintBuffer();
    printLF();
}

void MainWindow::on_pushButtonPowerManagment_released()
{
    if (!requirePort())
        return;
    startLog("Setting controller into sleep mode.\n");
    ui->editTelvar->insertPlainText(
        QStringLiteral("Send any command to exit sleep mode and then continue printing..."));
    enterSleepMode();
}

// Runs on press: label stock is positioned the moment the button goes down.
void MainWindow::on_pushButtonNextLabel_pressed()
{
    if (!requirePort())
        return;
    startLog("Moving to top of next label");
    newLabelHome();
}

void MainWindow::on_pushButtonTestLabel_released()
{
    if (!requirePort())
        return;
    startLog("Printing sample label and moving to new label");
    horizontalAlign(0x00);
    print_with_font("Label Print", 0x00);
    print_with_font("Label text", 0x00);
    print_with_font("Label text Bold", 0x08);
    newLabelHome();
}

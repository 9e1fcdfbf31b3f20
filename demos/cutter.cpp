#include "app/mainwindow.h"

// Cutter tab: bare full and partial cuts, and the sample receipt followed by
// a cut. The cut commands need a controller with a cutter (RC304); the tool
// does not ask the controller whether it has one and sends them regardless.

void MainWindow::on_pushButtonFullCut_released()
{
    if (!requirePort())
        return;
    startLog("Sending full cut command");
    fullCut();
}

void MainWindow::on_pushButtonPartialCut_released()
{
    if (!requirePort())
        return;
    startLog("Sending partial cut command");
    partialCut();
}

// The payment line is printed in double height alone (0x10): the underline
// of the Receipt button's version is left off on the cut receipts.
void MainWindow::on_pushButtonReceiptFullCut_released()
{
    if (!requirePort())
        return;
    startLog("Sample of typical POS receipt with full paper cut");
    sampleReceipt(0x10);
    fullCut();
}

void MainWindow::on_pushButtonReceiptPartialCut_released()
{
    if (!requirePort())
        return;
    startLog("Sample of typical POS receipt with partial paper cut");
    sampleReceipt(0x10);
    partialCut();
}

#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::on_pushButtonFullCut_released() {}
void MainWindow::on_pushButtonPartialCut_released() {}
void MainWindow::on_pushButtonReceiptFullCut_released() {}
void MainWindow::on_pushButtonReceiptPartialCut_released() {}

#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::on_pushButtonBarcodeUPCA_released() {}
void MainWindow::on_pushButtonBarcodeUPCE_released() {}
void MainWindow::on_pushButtonBarcodeEAN13_released() {}
void MainWindow::on_pushButtonBarcodeEAN8_released() {}
void MainWindow::on_pushButtonBarcodeCODE39_released() {}
void MainWindow::on_pushButtonBarcodeITF25_released() {}
void MainWindow::on_pushButtonBarcodeCODABAR_released() {}
void MainWindow::on_pushButtonBarcodeCODE93_released() {}
void MainWindow::on_pushButtonBarcodeCODE128A_released() {}
void MainWindow::on_pushButtonYesText_released() {}
void MainWindow::on_pushButtonNoText_released() {}

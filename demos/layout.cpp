#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::on_pushButtonFormatting_released() {}
void MainWindow::on_pushButtonTabs_released() {}
void MainWindow::on_pushButtonReceipt_released() {}
void MainWindow::sampleReceipt(uint8_t) {}

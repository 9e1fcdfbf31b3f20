#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::on_pushButtonApply_released() {}
void MainWindow::on_pushButtonFTP628_released() {}
void MainWindow::on_pushButtonFTP638_released() {}
void MainWindow::on_pushButtonLTP0213_released() {}
void MainWindow::on_pushButtonLTP02C1_released() {}
void MainWindow::on_pushButton58_384_released() {}
void MainWindow::on_pushButton80_576_released() {}
void MainWindow::on_pushButtonM23_SX_released() {}
void MainWindow::on_pushButtonSeiko345_released() {}
void MainWindow::on_pushButtonPT486HLV_released() {}
void MainWindow::on_pushButtonJX2R39BQ_released() {}
void MainWindow::on_pushButtonATP2SMP8_released() {}
void MainWindow::on_pushButtonM23_H69_pressed() {}

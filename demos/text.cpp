#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::on_pushButtonFont_released() {}
void MainWindow::on_pushButtonAttributes_released() {}
void MainWindow::on_pushButtonDensity_released() {}

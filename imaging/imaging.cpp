#include "app/mainwindow.h"

// Placeholder bodies until the scripts of this file are written.
void MainWindow::open() {}
bool MainWindow::loadFile(const QString &) { return false; }
void MainWindow::setCurrentImage(const QImage &) {}
void MainWindow::on_pushButton_Load_released() {}
void MainWindow::on_pushButton_58PrintH_released() {}
void MainWindow::on_pushButton_LineFeed_released() {}

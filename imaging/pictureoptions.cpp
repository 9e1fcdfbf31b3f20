#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "imaging/conversionoptions.h"
#include "imaging/picturedrop.h"
#include "imaging/pictureloader.h"

#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>

// The Bitmaps tab beyond loading a file with the dialog: the conversion
// options, which re-reduce the loaded picture as soon as one changes, and
// pictures that arrive by drag and drop or Ctrl+V.
//
// What is kept of a picture: as read when "Fit to print width" is off (every
// dithering needs the full picture then); only its fitted version when it is
// on and the picture came from a file, so a camera-sized photo is never held
// at full size. Switching the fit off again reads the file anew. A pasted or
// dropped picture without a file is kept as it came, the only copy there is.

void MainWindow::setUpPictureOptions()
{
    // Below the column of buttons, where the tab has free space; a little wider
    // than the column so that the dithering names fit.
    conversionBox = new ConversionOptionsBox(ui->tab_3);
    conversionBox->setGeometry(550, 250, 281, 131);
    connect(conversionBox, &ConversionOptionsBox::changed, this, &MainWindow::reconvertPicture);

    auto *arrivals =
        new PictureDrop(this, ui->editTelvar->viewport(), ui->mainTabsTelvar, ui->tab_3);
    // As the Load button does: a clear log pane, then the file as if chosen.
    connect(arrivals, &PictureDrop::fileArrived, this, [this](const QString &fileName) {
        ui->editTelvar->clear();
        loadFile(fileName);
    });
    connect(arrivals, &PictureDrop::imageArrived, this,
            [this](const QImage &image, const QString &name) {
                ui->editTelvar->clear();
                ui->editTelvar->insertPlainText(QStringLiteral("Loading image:"));
                keepPicture(image, image.size(), QString(), name);
                setWindowFilePath(QString());
            });
}

void MainWindow::reconvertPicture()
{
    if (pictureSource.isNull())
        return;
    const ConversionOptions options = conversionBox->options();
    if (!options.fit && pictureSource.size() != pictureSize) {
        const PictureRead read = readPicture(pictureFile);
        if (read.image.isNull()) {
            QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                                     tr("Cannot load %1: %2")
                                         .arg(QDir::toNativeSeparators(pictureFile), read.error));
            return;
        }
        pictureSource = read.image;
        pictureSize = read.size;
    } else if (options.fit && !pictureFile.isEmpty()) {
        pictureSource = fitted(pictureSource, printHeadDots);
    }
    setCurrentImage(printableImage(pictureSource, options));
    ui->editTelvar->appendPlainText(conversionText(
        options, currentImage.size(), options.fit && pictureSize.width() > printHeadDots));
}

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/windowmessages.h"
#include "imaging/conversionoptions.h"
#include "imaging/picturedrop.h"
#include "imaging/pictureloader.h"

#include <QDir>
#include <QGuiApplication>

// The Bitmaps tab beyond loading a file with the dialog: the conversion
// options, which re-reduce the loaded picture as soon as one changes, and
// pictures that arrive by drag and drop or Ctrl+V.
//
// What is kept of a picture for a change of options: the picture as read when
// it is at most as wide as the head (a fitted picture always is) or when it
// came without a file, the only copy there is. A wider picture from a file is
// not kept: it cannot be printed unfitted, and holding a camera-sized photo
// decoded would cost 200 MB for nothing. A change of options reads the file
// again instead, at the fitted size when "Fit to print width" is on, which is
// fast (JPEG scales in the decoder). Switching the fit off reads the full
// picture anew.
QImage MainWindow::keptSource(const QImage &picture, const QString &fileName)
{
    return picture.width() <= printHeadDots || fileName.isEmpty() ? picture : QImage();
}

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
    // A picture dropped on another tab brings the Bitmaps tab forward, where
    // its preview is.
    connect(arrivals, &PictureDrop::fileArrived, this, [this](const QString &fileName) {
        ui->mainTabsTelvar->setCurrentWidget(ui->tab_3);
        ui->editTelvar->clear();
        loadFile(fileName);
    });
    connect(arrivals, &PictureDrop::imageArrived, this,
            [this](const QImage &image, const QString &name) {
                ui->mainTabsTelvar->setCurrentWidget(ui->tab_3);
                ui->editTelvar->clear();
                ui->editTelvar->insertPlainText(QStringLiteral("Loading image:"));
                keepPicture(image, image.size(), QString(), name);
                setWindowFilePath(QString());
            });
}

void MainWindow::reconvertPicture()
{
    if (pictureSource.isNull() && pictureFile.isEmpty())
        return; // nothing loaded yet
    const ConversionOptions options = conversionBox->options();
    QImage source = pictureSource;
    if (source.isNull() || (!options.fit && source.size() != pictureSize)) {
        const PictureRead read = readPicture(pictureFile, options.fit ? printHeadDots : 0);
        if (read.image.isNull()) {
            WindowMessages::information(
                this, QGuiApplication::applicationDisplayName(),
                tr("Cannot load %1: %2").arg(QDir::toNativeSeparators(pictureFile), read.error));
            return;
        }
        source = read.image;
        pictureSize = read.size;
    }
    pictureSource = keptSource(source, pictureFile);
    setCurrentImage(printableImage(source, options));
    ui->editTelvar->appendPlainText(conversionText(
        options, currentImage.size(), options.fit && pictureSize.width() > printHeadDots));
}

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/windowmessages.h"
#include "imaging/conversionoptions.h"
#include "imaging/pictureloader.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QStandardPaths>

// The Bitmaps tab: an image file is chosen, reduced to one bit per dot,
// previewed, and sent to the controller as raster data. The kept image is
// already in the controller's layout, so printing sends its rows as stored and
// the preview shows exactly the dots that will be printed.

// A 58 mm head has 384 dots per line.
static constexpr int maxPrintWidth = 384;
// The raster command counts rows in 16 bits.
static constexpr int maxRowsPerCommand = 0xFFFF;

void MainWindow::on_pushButton_Load_released()
{
    ui->editTelvar->clear();
    open();
}

void MainWindow::open()
{
    static bool firstOpen = true;
    QFileDialog dialog(this, tr("Open File"));
    if (firstOpen) {
        firstOpen = false;
        const QStringList pictures =
            QStandardPaths::standardLocations(QStandardPaths::PicturesLocation);
        dialog.setDirectory(pictures.isEmpty() ? QDir::currentPath() : pictures.last());
    }

    QStringList mimeTypeFilters;
    const QByteArrayList supported = QImageReader::supportedMimeTypes();
    for (const QByteArray &mimeType : supported)
        mimeTypeFilters.append(QString::fromLatin1(mimeType));
    mimeTypeFilters.sort();
    dialog.setMimeTypeFilters(mimeTypeFilters);
    dialog.selectMimeTypeFilter(QStringLiteral("image/bmp"));

    while (dialog.exec() == QDialog::Accepted && !loadFile(dialog.selectedFiles().constFirst())) {
    }
}

bool MainWindow::loadFile(const QString &fileName)
{
    ui->editTelvar->insertPlainText(QStringLiteral("Loading image:"));

    // The reader never opens anything but a regular file, and allows the
    // decoder what the picture's header says it needs (pictureloader.h).
    const PictureRead read =
        readPicture(fileName, conversionBox->options().fit ? maxPrintWidth : 0);
    if (read.image.isNull()) {
        WindowMessages::information(this, QGuiApplication::applicationDisplayName(),
                                    tr("Cannot load %1: %2")
                                        .arg(QDir::toNativeSeparators(fileName), read.error));
        return false;
    }
    keepPicture(read.image, read.size, fileName, QDir::toNativeSeparators(fileName));
    setWindowFilePath(fileName);
    return true;
}

// Makes the printable image from the picture as read and keeps what later
// changes of the conversion options need (see pictureoptions.cpp). `size` is
// the picture's own size, `name` what the log calls it.
void MainWindow::keepPicture(const QImage &picture, QSize size, const QString &fileName,
                             const QString &name)
{
    pictureSize = size;
    pictureFile = fileName;
    pictureSource = keptSource(picture, fileName);
    if (picture.depth() > 1) {
        ui->editTelvar->appendPlainText(
            QStringLiteral("Bitmap is not 1bpp (mono) trying to convert..."));
    }
    const ConversionOptions options = conversionBox->options();
    const QImage printable = printableImage(picture, options);
    ui->editTelvar->appendPlainText(
        tr("Opened \"%1\"\nWidth: %2 pixel\nHeight: %3 pixel\nColor depth: %4\nBytes: %5\n")
            .arg(name, QString::number(printable.width()), QString::number(printable.height()),
                 QString::number(printable.depth()),
                 QString::number(qint64(printable.sizeInBytes()))));
    setCurrentImage(printable);
    if (!options.isDefault()) {
        ui->editTelvar->appendPlainText(conversionText(
            options, printable.size(), options.fit && size.width() > printHeadDots));
    }
}

void MainWindow::setCurrentImage(const QImage &image)
{
    currentImage = image;
    previewLabel->setPixmap(QPixmap::fromImage(currentImage));
}

void MainWindow::on_pushButton_58PrintH_released()
{
    if (!requirePort())
        return;
    startLog("Validating if Bitmap can be printed");
    if (currentImage.sizeInBytes() < 1) {
        appendLog("No Bitmap loaded");
        WindowMessages::about(this, tr("Print Bitmap"), tr("No Bitmap loaded!"));
        return;
    }
    if (currentImage.width() > maxPrintWidth) {
        appendLog("Bitmap too wide. Max 384 pixels");
        WindowMessages::about(this, tr("Print Bitmap"),
                              tr("This tool allows printing only for bitmaps of up to 384 pixel "
                                 "wide!"));
        return;
    }
    appendLog("Validating bitmap...");

    printerSoftInit();
    // Rows go out as stored: whole 32-bit words per row, so the controller
    // gets a few blank dots of fill at the right. A picture taller than one
    // command can announce is sent as consecutive commands that print on
    // without a gap. The encoder only reads the buffer.
    const qsizetype rowBytes = currentImage.bytesPerLine();
    const uchar *rows = currentImage.constBits();
    for (int top = 0; top < currentImage.height(); top += maxRowsPerCommand) {
        const int band = qMin(maxRowsPerCommand, currentImage.height() - top);
        picturePrintH(0, ushort(rowBytes), ushort(band),
                      const_cast<uchar *>(rows + top * rowBytes));
    }
}

void MainWindow::on_pushButton_LineFeed_released()
{
    if (!requirePort())
        return;
    printLF();
}

#include "app/mainwindow.h"
#include "demos/data/bitmaps.h"

// A finished QR Code symbol sent as a plain raster picture, so it prints on
// controllers without the QR commands as well.

void MainWindow::on_pushButtonBitmap_released()
{
    if (!requirePort())
        return;
    startLog("Printing a sample QR code");
    printerSoftInit();
    // Straight from the constant array, in one write; the encoder only reads it.
    picturePrintH(0x00, qrSampleBitmapBytesPerRow, qrSampleBitmapRows,
                  const_cast<uchar *>(qrSampleBitmap));
}

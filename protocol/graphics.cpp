#include "app/mainwindow.h"

// Commands that carry pictures and symbols. Sizes are 16-bit fields, low byte
// first. The header announces how many data bytes follow, and the controller
// reads exactly that many, so a caller without a buffer still gets the right
// count: blank bytes, one at a time.

static constexpr uint8_t lowByte(unsigned value) { return uint8_t(value & 0xFF); }
static constexpr uint8_t highByte(unsigned value) { return uint8_t((value >> 8) & 0xFF); }

void MainWindow::writeData(const uint8_t *buf, uint32_t length)
{
    if (buf) {
        Write(buf, length);
        return;
    }
    for (uint32_t i = 0; i < length; ++i)
        writeCommand({0x00});
}

void MainWindow::picturePrintH(uchar ucType, ushort usHSize, ushort usVSize, uchar *pucDataBuf)
{
    const uint32_t length = uint32_t(usHSize) * usVSize;
    writeCommand({0x1D, 0x76, 0x30, ucType,
                  lowByte(usHSize), highByte(usHSize), lowByte(usVSize), highByte(usVSize)});
    writeData(pucDataBuf, length);
}

void MainWindow::barcodeHeightSet(uchar ucHeight)
{
    writeCommand({0x1D, 0x68, ucHeight});
}

void MainWindow::barcodeWidthSet(uchar ucWidth)
{
    writeCommand({0x1D, 0x77, ucWidth});
}

void MainWindow::barcodeTextYesNo(uchar ucYesNo)
{
    writeCommand({0x1D, 0x48, ucYesNo});
}

// The symbology goes out as a letter: 0 is 'A' (UPC-A) up to 8, 'I' (Code 128).
// The data is sent as given; the controller adds check digits and guards.
void MainWindow::barcodePrint(uchar ucBarcodeSys, uchar *pucCodeBuf, uchar ucCodeLen)
{
    writeCommand({0x1D, 0x6B, uint8_t(ucBarcodeSys + 0x41), ucCodeLen});
    Write(pucCodeBuf, ucCodeLen);
}

void MainWindow::downloadNVBitmap(uchar ucLocation, uchar ucAlign, ushort usHSize,
                                  ushort usVSize, uchar *pucDataBuf)
{
    const uint32_t length = uint32_t(usHSize) * usVSize;
    writeCommand({0x1D, 0x71, ucLocation, ucAlign,
                  lowByte(usHSize), highByte(usHSize), lowByte(usVSize), highByte(usVSize)});
    writeData(pucDataBuf, length);
}

void MainWindow::printNVBitmap(uchar ucBitmapIndex, uchar ucMode)
{
    writeCommand({0x1C, 0x70, ucBitmapIndex, ucMode});
}

// QR commands share one frame: GS ( k, a 16-bit length of what follows the
// length field, then 31 and the function byte.
void MainWindow::setQRSizeVersion(uchar ucModuleSizeRange)
{
    writeCommand({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, ucModuleSizeRange});
}

void MainWindow::setQRcodeErrorCorrection(uchar ucErrorCorrectionLevel)
{
    writeCommand({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, ucErrorCorrectionLevel});
}

void MainWindow::transferQRcodeData(ushort usbufferSize, uchar *pucDataBuf)
{
    const unsigned frameLength = (usbufferSize + 3u) & 0xFFFF;
    writeCommand({0x1D, 0x28, 0x6B, lowByte(frameLength), highByte(frameLength),
                  0x31, 0x50, 0x30});
    writeData(pucDataBuf, usbufferSize);
}

void MainWindow::printQRcodeData()
{
    writeCommand({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
}

#include "app/mainwindow.h"
#include "app/transmitprogress.h"
#include "monitor/linemonitor.h"

#include <cstring>

// Each fixed command is assembled on the stack and handed to the port in one
// write, so its bytes stay together in the output buffer. Caller data goes out
// straight from the caller's buffer. Nothing is checked: the controller gets
// exactly what the caller asked for.

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    const qint64 queued =
        serial->write(reinterpret_cast<const char *>(buf), static_cast<qint64>(buflen));
    progress->noteQueued(queued);
    if (queued > 0)
        monitor->recordSent(buf, size_t(queued));
}

// The braced list lives on the stack for the call and goes out in one write.
void MainWindow::writeCommand(std::initializer_list<uint8_t> bytes)
{
    Write(bytes.begin(), bytes.size());
}

void MainWindow::setComMode(uchar ucComSet, uchar ucFlowSet)
{
    writeCommand({0x1D, 0x28, ucComSet, ucFlowSet});
}

void MainWindow::setPrinterHead(uchar ucHeadIndex)
{
    writeCommand({0x1B, 0x5A, ucHeadIndex});
}

void MainWindow::printerSoftInit()
{
    writeCommand({0x1B, 0x40});
}

void MainWindow::printLF()
{
    writeCommand({0x0A});
}

void MainWindow::printCR()
{
    writeCommand({0x0D});
}

void MainWindow::printStr(const char *pStr)
{
    Write(reinterpret_cast<const uint8_t *>(pStr), std::strlen(pStr));
}

void MainWindow::printAndFeedNDotLine(uint8_t ucDotLineNum)
{
    writeCommand({0x1B, 0x4A, ucDotLineNum});
}

void MainWindow::fontTypeSet(uint8_t ucFontType)
{
    writeCommand({0x1B, 0x21, ucFontType});
}

void MainWindow::horizontalAlign(uint8_t align)
{
    writeCommand({0x1B, 0x61, align});
}

void MainWindow::lineSpacingSet(uint8_t ucDotLineNum)
{
    writeCommand({0x1B, 0x33, ucDotLineNum});
}

void MainWindow::lineSpacingDefaults()
{
    writeCommand({0x1B, 0x32});
}

// The stop list is closed by a 00 byte, which the controller reads as its end.
void MainWindow::horizontalTabSet(uchar *pucNBuf, uchar ucDataNum)
{
    writeCommand({0x1B, 0x44});
    Write(pucNBuf, ucDataNum);
    writeCommand({0x00});
}

void MainWindow::horizontalTab()
{
    writeCommand({0x09});
}

void MainWindow::printAndFeedNFontLine(uchar ucFontLineNum)
{
    writeCommand({0x1B, 0x64, ucFontLineNum});
}

void MainWindow::setLeftMargin(uint8_t ucDots)
{
    writeCommand({0x1B, 0x6C, ucDots});
}

void MainWindow::setRightMargin(uint8_t ucDots)
{
    writeCommand({0x1B, 0x51, ucDots});
}

void MainWindow::printerState()
{
    writeCommand({0x10, 0x04});
}

void MainWindow::absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum)
{
    writeCommand({0x1B, 0x24, ucLNum, ucHNum});
}

void MainWindow::setFontGrayScale(uint8_t ucScale)
{
    writeCommand({0x1B, 0x6D, ucScale});
}

void MainWindow::setDbMode()
{
    writeCommand({0x1C, 0x26});
}

void MainWindow::cancelDbMode()
{
    writeCommand({0x1C, 0x2E});
}

void MainWindow::setFontMode(uchar ucFont)
{
    writeCommand({0x1B, 0x4D, ucFont});
}

void MainWindow::clearPrintBuffer()
{
    writeCommand({0x10, 0x14});
}

void MainWindow::getFirmwareInfo()
{
    writeCommand({0x10, 0x05});
}

// Always the attribute, the text and a line feed, also for an empty text: the
// line feed is what prints the line.
void MainWindow::print_with_font(const char *str, uint8_t font)
{
    writeCommand({0x1B, 0x21, font});
    Write(reinterpret_cast<const uint8_t *>(str), std::strlen(str));
    writeCommand({0x0A});
}

void MainWindow::fullCut()
{
    writeCommand({0x1B, 0x69});
}

void MainWindow::partialCut()
{
    writeCommand({0x1B, 0x6E});
}

void MainWindow::setPrinterCallBack(uchar ucCallBack)
{
    writeCommand({0x1D, 0x61, ucCallBack});
}

void MainWindow::enterSleepMode()
{
    writeCommand({0x10, 0x16});
}

void MainWindow::newLabelHome()
{
    writeCommand({0x1D, 0x06});
}

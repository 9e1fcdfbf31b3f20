#include "app/mainwindow.h"

#include <cstring>

// Each fixed command is assembled on the stack and handed to the port in one
// write, so its bytes stay together in the output buffer. Caller data goes out
// straight from the caller's buffer. Nothing is checked: the controller gets
// exactly what the caller asked for.

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    serial->write(reinterpret_cast<const char *>(buf), static_cast<qint64>(buflen));
}

void MainWindow::setComMode(uchar ucComSet, uchar ucFlowSet)
{
    const uint8_t cmd[] = {0x1D, 0x28, ucComSet, ucFlowSet};
    Write(cmd, sizeof cmd);
}

void MainWindow::setPrinterHead(uchar ucHeadIndex)
{
    const uint8_t cmd[] = {0x1B, 0x5A, ucHeadIndex};
    Write(cmd, sizeof cmd);
}

void MainWindow::printerSoftInit()
{
    const uint8_t cmd[] = {0x1B, 0x40};
    Write(cmd, sizeof cmd);
}

void MainWindow::printLF()
{
    const uint8_t cmd[] = {0x0A};
    Write(cmd, sizeof cmd);
}

void MainWindow::printCR()
{
    const uint8_t cmd[] = {0x0D};
    Write(cmd, sizeof cmd);
}

void MainWindow::printStr(const char *pStr)
{
    Write(reinterpret_cast<const uint8_t *>(pStr), std::strlen(pStr));
}

void MainWindow::printAndFeedNDotLine(uint8_t ucDotLineNum)
{
    const uint8_t cmd[] = {0x1B, 0x4A, ucDotLineNum};
    Write(cmd, sizeof cmd);
}

void MainWindow::fontTypeSet(uint8_t ucFontType)
{
    const uint8_t cmd[] = {0x1B, 0x21, ucFontType};
    Write(cmd, sizeof cmd);
}

void MainWindow::horizontalAlign(uint8_t align)
{
    const uint8_t cmd[] = {0x1B, 0x61, align};
    Write(cmd, sizeof cmd);
}

void MainWindow::lineSpacingSet(uint8_t ucDotLineNum)
{
    const uint8_t cmd[] = {0x1B, 0x33, ucDotLineNum};
    Write(cmd, sizeof cmd);
}

void MainWindow::lineSpacingDefaults()
{
    const uint8_t cmd[] = {0x1B, 0x32};
    Write(cmd, sizeof cmd);
}

// The stop list is closed by a 00 byte, which the controller reads as its end.
void MainWindow::horizontalTabSet(uchar *pucNBuf, uchar ucDataNum)
{
    const uint8_t head[] = {0x1B, 0x44};
    const uint8_t end[] = {0x00};
    Write(head, sizeof head);
    Write(pucNBuf, ucDataNum);
    Write(end, sizeof end);
}

void MainWindow::horizontalTab()
{
    const uint8_t cmd[] = {0x09};
    Write(cmd, sizeof cmd);
}

void MainWindow::printAndFeedNFontLine(uchar ucFontLineNum)
{
    const uint8_t cmd[] = {0x1B, 0x64, ucFontLineNum};
    Write(cmd, sizeof cmd);
}

void MainWindow::setLeftMargin(uint8_t ucDots)
{
    const uint8_t cmd[] = {0x1B, 0x6C, ucDots};
    Write(cmd, sizeof cmd);
}

void MainWindow::setRightMargin(uint8_t ucDots)
{
    const uint8_t cmd[] = {0x1B, 0x51, ucDots};
    Write(cmd, sizeof cmd);
}

void MainWindow::printerState()
{
    const uint8_t cmd[] = {0x10, 0x04};
    Write(cmd, sizeof cmd);
}

void MainWindow::absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum)
{
    const uint8_t cmd[] = {0x1B, 0x24, ucLNum, ucHNum};
    Write(cmd, sizeof cmd);
}

void MainWindow::setFontGrayScale(uint8_t ucScale)
{
    const uint8_t cmd[] = {0x1B, 0x6D, ucScale};
    Write(cmd, sizeof cmd);
}

void MainWindow::setDbMode()
{
    const uint8_t cmd[] = {0x1C, 0x26};
    Write(cmd, sizeof cmd);
}

void MainWindow::cancelDbMode()
{
    const uint8_t cmd[] = {0x1C, 0x2E};
    Write(cmd, sizeof cmd);
}

void MainWindow::setFontMode(uchar ucFont)
{
    const uint8_t cmd[] = {0x1B, 0x4D, ucFont};
    Write(cmd, sizeof cmd);
}

void MainWindow::clearPrintBuffer()
{
    const uint8_t cmd[] = {0x10, 0x14};
    Write(cmd, sizeof cmd);
}

void MainWindow::getFirmwareInfo()
{
    const uint8_t cmd[] = {0x10, 0x05};
    Write(cmd, sizeof cmd);
}

// Always the attribute, the text and a line feed, also for an empty text: the
// line feed is what prints the line.
void MainWindow::print_with_font(const char *str, uint8_t font)
{
    const uint8_t head[] = {0x1B, 0x21, font};
    const uint8_t end[] = {0x0A};
    Write(head, sizeof head);
    Write(reinterpret_cast<const uint8_t *>(str), std::strlen(str));
    Write(end, sizeof end);
}

void MainWindow::fullCut()
{
    const uint8_t cmd[] = {0x1B, 0x69};
    Write(cmd, sizeof cmd);
}

void MainWindow::partialCut()
{
    const uint8_t cmd[] = {0x1B, 0x6E};
    Write(cmd, sizeof cmd);
}

void MainWindow::setPrinterCallBack(uchar ucCallBack)
{
    const uint8_t cmd[] = {0x1D, 0x61, ucCallBack};
    Write(cmd, sizeof cmd);
}

void MainWindow::enterSleepMode()
{
    const uint8_t cmd[] = {0x10, 0x16};
    Write(cmd, sizeof cmd);
}

void MainWindow::newLabelHome()
{
    const uint8_t cmd[] = {0x1D, 0x06};
    Write(cmd, sizeof cmd);
}

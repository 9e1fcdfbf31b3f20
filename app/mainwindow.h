#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The one window of the tool. It owns the serial port that talks to the RC30x
// controller and holds the whole program as private slots; the slot list below
// is the table of contents, in the order the meta-object indexes them:
//
//   image loading        open, loadFile                 imaging/imaging.cpp
//   connection           openSerialPort, closeSerialPort,
//                        readData, handleError          serial/connection.cpp
//   command encoder      Write ... newLabelHome         protocol/encoder.cpp,
//                                                       protocol/graphics.cpp
//   button scripts       on_<button>_<signal>           demos/*.cpp, imaging/
//
// A button script starts with requirePort() (nothing is sent and the log pane
// is left alone when no port is open), clears the log pane, writes its
// explanation and then calls the encoder, which hands every command to the
// port's output buffer at once. The event loop transmits it afterwards.
//
// Every byte written and read, and every press the guard lets through, is
// also recorded by the line monitor (monitor/), a tool window of its own
// opened from the View menu.

#include <QImage>
#include <QMainWindow>
#include <QSerialPort>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

QT_BEGIN_NAMESPACE
class QLabel;
namespace Ui { class MainWindow; }
QT_END_NAMESPACE

class LineMonitor;
class ConversionOptionsBox;
class LogPaneBound;
class SettingsDialog;
class TransmitProgress;
namespace Network { class NetworkPort; }

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void open();
    bool loadFile(const QString &fileName);
    void openSerialPort();
    void closeSerialPort();
    void about();

    // Command encoder: one slot per controller command, bytes written at once.
    void Write(const uint8_t *buf, size_t buflen);
    void readData();
    void setComMode(uchar ucComSet, uchar ucFlowSet);
    void setPrinterHead(uchar ucHeadIndex);
    void printerSoftInit();
    void printLF();
    void printCR();
    void printStr(const char *pStr);
    void printAndFeedNDotLine(uint8_t ucDotLineNum);
    void fontTypeSet(uint8_t ucFontType);
    void horizontalAlign(uint8_t align);
    void lineSpacingSet(uint8_t ucDotLineNum);
    void lineSpacingDefaults();
    void horizontalTabSet(uchar *pucNBuf, uchar ucDataNum);
    void horizontalTab();
    void printAndFeedNFontLine(uchar ucFontLineNum);
    void picturePrintH(uchar ucType, ushort usHSize, ushort usVSize, uchar *pucDataBuf);
    void setLeftMargin(uint8_t ucDots);
    void setRightMargin(uint8_t ucDots);
    void printerState();
    void absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum);
    void setFontGrayScale(uint8_t ucScale);
    void setDbMode();
    void cancelDbMode();
    void setFontMode(uchar ucFont);
    void barcodeHeightSet(uchar ucHeight);
    void barcodeWidthSet(uchar ucWidth);
    void barcodeTextYesNo(uchar ucYesNo);
    void barcodePrint(uchar ucBarcodeSys, uchar *pucCodeBuf, uchar ucCodeLen);
    void clearPrintBuffer();
    void getFirmwareInfo();
    void print_with_font(const char *str, uint8_t font);
    void fullCut();
    void partialCut();
    void setPrinterCallBack(uchar ucCallBack);
    void downloadNVBitmap(uchar ucLocation, uchar ucAlign, ushort usHSize, ushort usVSize,
                          uchar *pucDataBuf);
    void printNVBitmap(uchar ucBitmapIndex, uchar ucMode);
    void setQRSizeVersion(uchar ucModuleSizeRange);
    void setQRcodeErrorCorrection(uchar ucErrorCorrectionLevel);
    void transferQRcodeData(ushort usbufferSize, uchar *pucDataBuf);
    void printQRcodeData();
    void enterSleepMode();
    void newLabelHome();

    void handleError(QSerialPort::SerialPortError error);

    // Button scripts, connected by name while the form is built.
    void on_pushButtonFont_released();
    void on_pushButtonVersion_released();
    void on_pushButtonStatus_released();
    void on_pushButtonBitmap_released();
    void on_pushButtonAttributes_released();
    void on_pushButtonDensity_released();
    void on_pushButtonFormatting_released();
    void on_pushButtonTabs_released();
    void on_pushButtonReset_released();
    void on_pushButtonClear_released();
    void on_pushButtonReceipt_released();
    void on_pushButtonBarcodeUPCA_released();
    void on_pushButtonBarcodeUPCE_released();
    void on_pushButtonBarcodeEAN13_released();
    void on_pushButtonBarcodeEAN8_released();
    void on_pushButtonBarcodeCODE39_released();
    void on_pushButtonBarcodeITF25_released();
    void on_pushButtonBarcodeCODABAR_released();
    void on_pushButtonBarcodeCODE93_released();
    void on_pushButtonBarcodeCODE128A_released();
    void on_pushButton_Load_released();
    void on_pushButton_58PrintH_released();
    void on_pushButton_LineFeed_released();
    void on_pushButtonLanguage_released();
    void on_pushButtonFTP628_released();
    void on_pushButtonFTP638_released();
    void on_pushButtonLTP0213_released();
    void on_pushButtonLTP02C1_released();
    void on_pushButtonApply_released();
    void on_pushButtonYesText_released();
    void on_pushButtonNoText_released();
    void on_pushButton58_384_released();
    void on_pushButton80_576_released();
    void on_pushButtonFullCut_released();
    void on_pushButtonPartialCut_released();
    void on_pushButtonReceiptFullCut_released();
    void on_pushButtonReceiptPartialCut_released();
    void on_checkBoxHexEnable_released();
    void on_pushButtonPowerManagment_released();
    void on_pushButtonM23_H69_pressed();
    void on_pushButtonM23_SX_released();
    void on_pushButtonSeiko345_released();
    void on_pushButtonPT486HLV_released();
    void on_pushButtonJX2R39BQ_released();
    void on_pushButtonNextLabel_pressed();
    void on_pushButtonTestLabel_released();
    void on_pushButtonATP2SMP8_released();

private:
    bool requirePort();
    void startLog(const char *title);
    void appendLog(const char *line);
    bool lineHungUp() const;
    bool lineAnswers() const;
    void writeCommand(std::initializer_list<uint8_t> bytes);
    void writeData(const uint8_t *buf, uint32_t length);
    void sampleReceipt(uint8_t paymentAttribute);
    void setCurrentImage(const QImage &image);
    void barcodeSample(int row);
    void printHeadSample(int row);

    // Conversion options, drag and drop, paste: imaging/pictureoptions.cpp.
    void setUpPictureOptions();
    void keepPicture(const QImage &picture, QSize size, const QString &fileName,
                     const QString &name);
    void reconvertPicture();
    static QImage keptSource(const QImage &picture, const QString &fileName);

    Ui::MainWindow *ui = nullptr;
    QLabel *status = nullptr;
    SettingsDialog *settings = nullptr;
    QSerialPort *serial = nullptr;
    QImage currentImage;
    QLabel *previewLabel = nullptr;
    TransmitProgress *progress = nullptr;
    LineMonitor *monitor = nullptr;
    ConversionOptionsBox *conversionBox = nullptr;
    // The loaded picture as kept for re-conversion, its own size, its file.
    QImage pictureSource;
    QSize pictureSize;
    QString pictureFile;
    LogPaneBound *logBound = nullptr; // keeps received replies within bounds
    // The bridge of an rfc2217:// or socket:// port while it connects or is
    // open: serial/connection.cpp.
    Network::NetworkPort *network = nullptr;

    // Controller replies are UTF-8 text; one decoder per connection keeps a
    // character whole when the tty delivers it in two reads.
    QStringDecoder replyDecoder{QStringDecoder::Utf8};
};

#endif // MAINWINDOW_H

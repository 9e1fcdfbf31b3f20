#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/windowmessages.h"
#include "monitor/linemonitor.h"
#include "serial/settingsdialog.h"

#include "app/logpanebound.h"

#include <QLabel>

#include <cerrno>
#include <cstring>
#include <termios.h>

// An XOFF from the controller stops the tty's output until an XON arrives, and
// the stop outlives the connection: the tty keeps it, whatever the next open
// sets. Restart output so that a connection starts with the line running and
// closing does not wait on a held line. The kernel's TCOON only undoes its own
// TCOOFF, so stop output first; the restart then ends an XOFF stop as well.
static void restartOutput(int handle)
{
    ::tcflow(handle, TCOOFF);
    ::tcflow(handle, TCOON);
}

void MainWindow::openSerialPort()
{
    const SerialSettings p = settings->settings();
    serial->setPortName(p.portName);
    serial->setBaudRate(p.baudRate);
    serial->setDataBits(p.dataBits);
    serial->setParity(p.parity);
    serial->setStopBits(p.stopBits);
    serial->setFlowControl(p.flowControl);

    if (serial->open(QIODevice::ReadWrite)) {
        restartOutput(serial->handle());
        replyDecoder = QStringDecoder(QStringDecoder::Utf8);
        monitor->restartClock();
        ui->actionConnect->setEnabled(false);
        ui->actionDisconnect->setEnabled(true);
        ui->actionConfigure->setEnabled(false);
        status->setText(tr("Connected to %1 : %2, %3, %4, %5, %6")
                            .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText,
                                 p.stopBitsText, p.flowControlText));
    } else {
        WindowMessages::critical(this, tr("Error"), serial->errorString());
        status->setText(tr("Open error"));
    }
}

void MainWindow::closeSerialPort()
{
    if (serial->isOpen()) {
        restartOutput(serial->handle());
        serial->close();
    }
    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(false);
    ui->actionConfigure->setEnabled(true);
    status->setText(tr("Disconnected"));
}

// A tty whose far end is gone (adapter pulled, pty master closed) is hung up:
// every read returns nothing and the kernel answers terminal requests on the
// handle with EIO.
bool MainWindow::lineHungUp() const
{
    termios attributes;
    return ::tcgetattr(serial->handle(), &attributes) == -1 && errno == EIO;
}

bool MainWindow::lineAnswers() const
{
    termios attributes;
    return ::tcgetattr(serial->handle(), &attributes) == 0;
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    // The serial module reports a vanished device as a stream of zero-byte
    // ReadErrors, and ResourceError only after the next write. Either way the
    // port keeps signalling until it is closed, so close it before the modal
    // box runs its own event loop; otherwise the boxes would stack up.
    if (!serial->isOpen())
        return;
    QString reason;
    if (error == QSerialPort::ResourceError && lineAnswers()) {
        // An XOFF that arrives between the port's check that the tty may be
        // written and its write makes the write fail with EAGAIN, which the
        // serial module reports as a resource error. The line is fine and the
        // bytes stay queued: the port writes them when the tty takes output
        // again. A device that is really gone no longer answers.
        serial->clearError();
        return;
    }
    if (error == QSerialPort::ResourceError)
        reason = serial->errorString();
    else if (error == QSerialPort::ReadError && lineHungUp())
        reason = QString::fromLocal8Bit(std::strerror(EIO)); // the read's own errno is stale
    else
        return;

    serial->close();
    WindowMessages::critical(this, tr("Critical Error"), reason);
    closeSerialPort();
}

void MainWindow::readData()
{
    const QByteArray data = serial->readAll();
    monitor->recordReceived(data);
    ui->editTelvar->insertPlainText(replyDecoder.decode(data));
    logBound->trim();
}

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/windowmessages.h"
#include "monitor/linemonitor.h"
#include "network/networkport.h"
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

// What a pseudo-terminal cannot keep of the chosen settings (it forces 8 data
// bits, no parity and whole stop bits): a network port's bridge sends these
// to the remote port as chosen.
static Network::LineSettings framingOf(const SerialSettings &p)
{
    using Parity = Network::LineSettings::Parity;
    Network::LineSettings framing;
    framing.dataBits = int(p.dataBits);
    switch (p.parity) {
    case QSerialPort::EvenParity: framing.parity = Parity::Even; break;
    case QSerialPort::OddParity: framing.parity = Parity::Odd; break;
    case QSerialPort::MarkParity: framing.parity = Parity::Mark; break;
    case QSerialPort::SpaceParity: framing.parity = Parity::Space; break;
    default: framing.parity = Parity::None; break;
    }
    framing.stopBits = Network::LineSettings::StopBits(int(p.stopBits));
    return framing;
}

void MainWindow::openSerialPort()
{
    const SerialSettings p = settings->settings();
    // Configures the closed port and opens it on `device`: the chosen port,
    // or the pseudo-terminal that a network port's bridge made.
    const auto open = [this, p](const QString &device) {
        serial->setPortName(device);
        serial->setBaudRate(p.baudRate);
        serial->setDataBits(p.dataBits);
        serial->setParity(p.parity);
        serial->setStopBits(p.stopBits);
        serial->setFlowControl(p.flowControl);
        if (!serial->open(QIODevice::ReadWrite))
            return false;
        restartOutput(serial->handle());
        replyDecoder = QStringDecoder(QStringDecoder::Utf8);
        monitor->restartClock();
        return true;
    };
    const auto announce = [this, p] {
        ui->actionConnect->setEnabled(false);
        ui->actionDisconnect->setEnabled(true);
        ui->actionConfigure->setEnabled(false);
        status->setText(tr("Connected to %1 : %2, %3, %4, %5, %6")
                            .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText,
                                 p.stopBitsText, p.flowControlText));
    };
    const auto refuse = [this](const QString &reason) {
        WindowMessages::critical(this, tr("Error"), reason);
        status->setText(tr("Open error"));
    };

    Network::Address address;
    QString wrong;
    switch (Network::parsePortName(p.portName, &address, &wrong)) {
    case Network::NameKind::Device:
        break;
    case Network::NameKind::Bad:
        refuse(wrong);
        return;
    case Network::NameKind::Network: {
        // Connecting takes round trips: the window goes on meanwhile, with
        // Connect off so that it cannot be pressed twice and Disconnect on to
        // give up. The port opens on the bridge's pseudo-terminal once the far
        // end is there, and the connection counts once the remote port has
        // answered its settings.
        auto *bridge = new Network::NetworkPort(address, this);
        const auto fail = [this, refuse](const QString &reason) {
            closeSerialPort();
            refuse(reason);
        };
        connect(bridge, &Network::NetworkPort::connected, this, [this, bridge, open, p, fail] {
            if (!open(bridge->devicePath())) {
                fail(serial->errorString());
                return;
            }
            bridge->portOpened(framingOf(p));
        });
        connect(bridge, &Network::NetworkPort::ready, this, [this, bridge, announce] {
            for (const QString &note : bridge->notes())
                ui->editTelvar->appendPlainText(note);
            announce();
        });
        connect(bridge, &Network::NetworkPort::failed, this, [bridge, fail] { fail(bridge->errorString()); });
        if (network)
            closeSerialPort();
        network = bridge;
        ui->actionConnect->setEnabled(false);
        ui->actionDisconnect->setEnabled(true);
        ui->actionConfigure->setEnabled(false);
        status->setText(tr("Connecting to %1...").arg(p.portName));
        if (!bridge->start())
            fail(bridge->errorString());
        return;
    }
    }

    if (open(p.portName))
        announce();
    else
        refuse(serial->errorString());
}

void MainWindow::closeSerialPort()
{
    if (serial->isOpen()) {
        restartOutput(serial->handle());
        serial->close();
    }
    if (network) {
        network->stop(); // it deletes itself once what it holds has gone out
        network = nullptr;
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
    // A network port's bridge hangs the line up when the connection drops,
    // and knows why; the port saw only the hang-up (or a write it cut short).
    if (network && !network->errorString().isEmpty() && lineHungUp())
        reason = network->errorString();

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

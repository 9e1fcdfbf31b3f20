#include "serial/heldoutput.h"

#include <QSerialPort>

#include <sys/ioctl.h>

// While held, look again often, so that the normal text comes back soon after
// the controller releases a line whose driver still had bytes to send.
static constexpr int HeldPollMs = 250;

HeldOutputWatch::HeldOutputWatch(QSerialPort *port, QObject *parent)
    : QObject(parent)
    , port(port)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &HeldOutputWatch::check);
}

void HeldOutputWatch::watch()
{
    if (timer.isActive())
        return;
    lastDriverQueue = driverQueue();
    timer.start(QuietMs);
}

void HeldOutputWatch::moved()
{
    setHeld(false);
    lastDriverQueue = driverQueue();
    timer.start(QuietMs);
}

void HeldOutputWatch::stop()
{
    timer.stop();
    setHeld(false);
}

void HeldOutputWatch::check()
{
    const int queue = driverQueue();
    if (queue < lastDriverQueue) {
        // The driver is still sending what it took earlier: a slow line.
        lastDriverQueue = queue;
        setHeld(false);
    } else if (port->flowControl() == QSerialPort::SoftwareControl) {
        setHeld(true);
    }
    timer.start(held ? HeldPollMs : QuietMs);
}

void HeldOutputWatch::setHeld(bool on)
{
    if (held == on)
        return;
    held = on;
    emit heldChanged(held);
}

// Bytes the tty driver has taken but not yet sent (none on a pseudo-terminal,
// whose output goes straight to the other side or not at all).
int HeldOutputWatch::driverQueue() const
{
    int bytes = 0;
    if (port->handle() < 0 || ::ioctl(port->handle(), TIOCOUTQ, &bytes) != 0)
        return 0;
    return bytes;
}

#ifndef HELDOUTPUT_H
#define HELDOUTPUT_H

// Tells when the line's output is held by the controller. With XON/XOFF flow
// control the tty stops all output when the controller sends XOFF (13 hex)
// and resumes only at XON (11 hex). A controller that never sends the XON (a
// binary status reply that happens to contain 13, a controller reset while
// holding) stops the printer for good, and nothing else in the program would
// show it: the port just keeps its queue.
//
// Held means: bytes are queued, none has gone out for two seconds, and the
// tty's own output queue has not shrunk meanwhile. The last part matters on a
// slow real line: a UART driver takes a few kilobytes at once, and at 9600
// baud it needs seconds to send them before the port may write again, while
// its queue visibly drains. A pseudo-terminal has no such queue: there, a far
// end that stops reading for two seconds looks the same as one that sent XOFF.

#include <QObject>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QSerialPort;
QT_END_NAMESPACE

class HeldOutputWatch : public QObject
{
    Q_OBJECT

public:
    explicit HeldOutputWatch(QSerialPort *port, QObject *parent = nullptr);

    // Bytes were queued; watch them from now on unless already watching.
    void watch();
    // Bytes went out to the tty.
    void moved();
    // The queue is empty or the port closed.
    void stop();
    bool isHeld() const { return held; }

    static constexpr int QuietMs = 2000;

signals:
    void heldChanged(bool held);

private:
    void check();
    void setHeld(bool on);
    int driverQueue() const;

    QSerialPort *port = nullptr;
    QTimer timer;
    int lastDriverQueue = 0;
    bool held = false;
};

#endif // HELDOUTPUT_H

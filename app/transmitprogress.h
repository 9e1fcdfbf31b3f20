#ifndef TRANSMITPROGRESS_H
#define TRANSMITPROGRESS_H

// The bar on the right of the status bar that shows how much of what the
// scripts handed to the port has gone out. At 9600 baud a long script takes
// seconds on the wire while its handler returned long ago; this is the only
// sign that the port is still busy.
//
// The port tells when bytes leave (bytesWritten) but not when they are
// queued, so the encoder reports each write with noteQueued(). The total is
// counted here rather than read back from bytesToWrite(): the port takes a
// chunk out of its queue when it hands it to the tty but reports it as written
// only on the next write notification, so for a while those bytes are in
// neither count. The count runs from the first queued byte until everything
// queued has been reported written; a script started meanwhile adds to the
// same count. Closing the port drops its queue and hides the bar.
//
// The bar repaints itself at once whenever its text changes, and its text
// carries the byte count; on a fast link the port reports a written chunk
// many thousand times a second, so the count is shown at most every 50 ms.
// The range follows every write at once (it only schedules a repaint).
//
// When the controller holds the line (XOFF and no XON), the bar says so
// instead of counting, and heldChanged() lets the window explain it.

#include <QProgressBar>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QSerialPort;
QT_END_NAMESPACE

class HeldOutputWatch;

class TransmitProgress : public QProgressBar
{
    Q_OBJECT

public:
    explicit TransmitProgress(QSerialPort *port, QWidget *parent = nullptr);

    // Called after every write to the port with what write() returned.
    void noteQueued(qint64 bytes);

    // What a held line means and how to release it, for a tooltip.
    static QString heldExplanation();

    static constexpr int RepaintIntervalMs = 50;

signals:
    void heldChanged(bool held);

private:
    void noteWritten(qint64 bytes);
    void showCount();
    void finish();
    void showHeld(bool held);

    qint64 queued = 0; // since the queue was last empty
    qint64 sent = 0;
    QTimer repaintTimer;
    HeldOutputWatch *heldWatch = nullptr;
};

#endif // TRANSMITPROGRESS_H

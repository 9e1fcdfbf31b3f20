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

#include <QProgressBar>

QT_BEGIN_NAMESPACE
class QSerialPort;
QT_END_NAMESPACE

class TransmitProgress : public QProgressBar
{
    Q_OBJECT

public:
    explicit TransmitProgress(QSerialPort *port, QWidget *parent = nullptr);

    // Called after every write to the port with what write() returned.
    void noteQueued(qint64 bytes);

private:
    void noteWritten(qint64 bytes);
    void showCount();
    void finish();

    qint64 queued = 0; // since the queue was last empty
    qint64 sent = 0;
};

#endif // TRANSMITPROGRESS_H

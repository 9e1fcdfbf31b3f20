#include "app/transmitprogress.h"

#include "serial/heldoutput.h"

#include <QSerialPort>

TransmitProgress::TransmitProgress(QSerialPort *port, QWidget *parent)
    : QProgressBar(parent)
    , heldWatch(new HeldOutputWatch(port, this))
{
    setObjectName(QStringLiteral("transmitProgress"));
    setFormat(tr("%v of %m bytes sent"));
    setTextVisible(true);
    // Wide enough for a raster image's byte count, so the status bar does not
    // jump as the numbers grow.
    setFixedWidth(fontMetrics().horizontalAdvance(tr("%1 of %1 bytes sent").arg(9999999)) + 24);
    // Hidden explicitly, so that the status bar does not show it when adding it.
    hide();

    repaintTimer.setSingleShot(true);
    repaintTimer.setInterval(RepaintIntervalMs);
    connect(&repaintTimer, &QTimer::timeout, this, &TransmitProgress::showCount);
    connect(heldWatch, &HeldOutputWatch::heldChanged, this, &TransmitProgress::showHeld);
    connect(port, &QSerialPort::bytesWritten, this, &TransmitProgress::noteWritten);
    connect(port, &QIODevice::aboutToClose, this, &TransmitProgress::finish);
}

QString TransmitProgress::heldExplanation()
{
    return tr("The controller has sent XOFF (13 hex): the computer sends nothing more until "
              "the controller sends XON (11 hex), and nothing has gone out for %1 seconds. The "
              "controller sends XON by itself once it is ready again (paper loaded, error "
              "cleared). Disconnect and Connect drop the queued bytes and start the line again.")
        .arg(HeldOutputWatch::QuietMs / 1000);
}

void TransmitProgress::noteQueued(qint64 bytes)
{
    // A write to a closed port is refused (-1) and queues nothing.
    if (bytes <= 0)
        return;
    queued += bytes;
    setRange(0, int(queued));
    if (isHidden()) {
        showCount();
        show();
    }
    heldWatch->watch();
}

void TransmitProgress::noteWritten(qint64 bytes)
{
    sent += bytes;
    heldWatch->moved();
    if (sent >= queued)
        finish();
    else if (!repaintTimer.isActive())
        repaintTimer.start();
}

void TransmitProgress::showCount()
{
    // The bar counts in int; the largest script, a full-size raster image,
    // is a few megabytes.
    setRange(0, int(queued));
    setValue(int(sent));
}

void TransmitProgress::showHeld(bool held)
{
    setFormat(held ? tr("Held by the controller (XOFF)") : tr("%v of %m bytes sent"));
    emit heldChanged(held);
}

void TransmitProgress::finish()
{
    repaintTimer.stop();
    heldWatch->stop();
    queued = 0;
    sent = 0;
    hide();
    reset();
}

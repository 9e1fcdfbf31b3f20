#include "app/transmitprogress.h"

#include <QSerialPort>

TransmitProgress::TransmitProgress(QSerialPort *port, QWidget *parent)
    : QProgressBar(parent)
{
    setObjectName(QStringLiteral("transmitProgress"));
    setFormat(tr("%v of %m bytes sent"));
    setTextVisible(true);
    // Wide enough for a raster image's byte count, so the status bar does not
    // jump as the numbers grow.
    setFixedWidth(fontMetrics().horizontalAdvance(tr("%1 of %1 bytes sent").arg(9999999)) + 24);
    // Hidden explicitly, so that the status bar does not show it when adding it.
    hide();

    connect(port, &QSerialPort::bytesWritten, this, &TransmitProgress::noteWritten);
    connect(port, &QIODevice::aboutToClose, this, &TransmitProgress::finish);
}

void TransmitProgress::noteQueued(qint64 bytes)
{
    // A write to a closed port is refused (-1) and queues nothing.
    if (bytes <= 0)
        return;
    queued += bytes;
    showCount();
    show();
}

void TransmitProgress::noteWritten(qint64 bytes)
{
    sent += bytes;
    if (sent >= queued)
        finish();
    else
        showCount();
}

void TransmitProgress::showCount()
{
    // The bar counts in int; the largest script, a full-size raster image,
    // is a few megabytes.
    setRange(0, int(queued));
    setValue(int(sent));
}

void TransmitProgress::finish()
{
    queued = 0;
    sent = 0;
    hide();
    reset();
}

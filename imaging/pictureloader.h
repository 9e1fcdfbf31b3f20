#ifndef PICTURELOADER_H
#define PICTURELOADER_H

// Reads a picture file for the Bitmaps tab without ever hanging and with a
// reason a person can act on:
//
// - only regular files are opened: a named pipe would block the window until
//   something writes to it, a device may never end;
// - a file that cannot be opened says why ("Permission denied"), where the
//   image reader would only say "File not found";
// - the decoder may allocate what the picture's header says it needs, up to
//   1 GiB, instead of Qt's fixed 128 MB; a header asking for more is refused
//   before anything is allocated, with the size in the reason;
// - with a fit width, a wider picture is decoded at that width where the
//   format can do so (JPEG scales in the decoder), so a camera-sized photo
//   never exists at full size in memory.

#include <QImage>
#include <QSize>
#include <QString>

struct PictureRead
{
    QImage image; // upright; null when refused
    QString error; // why it was refused, for the "Cannot load" box
    QSize size;    // the picture's own size, upright, before any fitting
};

// Reads `fileName`; with `fitWidth` > 0 a wider picture comes back scaled to
// that width (see fitted()).
PictureRead readPicture(const QString &fileName, int fitWidth = 0);

// The most a picture may take once decoded.
constexpr qint64 maxDecodedBytes = qint64(1) << 30;

#endif // PICTURELOADER_H

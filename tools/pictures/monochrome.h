#ifndef TELVAR_PICTURES_MONOCHROME_H
#define TELVAR_PICTURES_MONOCHROME_H

#include <QByteArray>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>

// A picture for the print head: one bit per dot in the raster layout that
// the controller reads (rows top to bottom, MSB = leftmost dot, 1 = black).
struct MonoPicture {
    QString arrayName;   // C++ name of the array, e.g. "qrSampleBitmap"
    QString fileName;    // below demos/data/
    QString description; // one line for the generated file's header
    int width = 0;       // dots; a multiple of 8
    int rows = 0;
    QByteArray bits;     // width / 8 * rows bytes

    int bytesPerRow() const { return width / 8; }
};

// A white canvas to draw a picture on; any grey is later cut at 50 %.
QImage whiteCanvas(int width, int rows);

// Dots darker than mid grey become printed dots. Packs the bits by hand, so
// the result doesn't depend on QImage's mono bit order or colour table.
QByteArray packDots(const QImage &canvas);

// The packed dots as a black-on-white image, enlarged `zoom` times.
QImage unpackDots(const MonoPicture &picture, int zoom);

// C++ source defining the array, one row of dots per source line.
QByteArray cppSource(const MonoPicture &picture);

// DejaVu Sans (Bold) at a pixel size; exits if the font is missing, since
// any substitute would change the pictures.
QFont dejaVu(int pixelSize, bool bold);

// Outline of `text`, scaled evenly to fit `box` and centred in it.
QPainterPath fittedText(const QString &text, const QFont &font, const QRectF &box);

#endif

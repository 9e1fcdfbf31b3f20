#ifndef PRINTABLEMONO_H
#define PRINTABLEMONO_H

class QImage;

// Reduces any image to what the print head can do: one bit per dot, rows of
// whole 32-bit words, the leftmost dot in the most significant bit, a 1 bit a
// printed (dark) dot and every fill bit beyond the width 0. The colour table of
// the result is white for 0 and black for 1, so a pixmap made from it shows
// exactly what the controller will print. A null image gives a null image.
QImage printableMono(const QImage &image);

#endif // PRINTABLEMONO_H

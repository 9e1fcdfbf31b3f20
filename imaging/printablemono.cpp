#include "imaging/printablemono.h"

#include <QImage>
#include <QPainter>

// Paper is white: a pixel is printed when it is dark once laid on white paper,
// so a transparent pixel stays blank whatever colour it carries.
static bool printsDark(QRgb colour)
{
    const int alpha = qAlpha(colour);
    const int onPaper = (qGray(colour) * alpha + 255 * (255 - alpha)) / 255;
    return onPaper < 128;
}

// The colour a pixel index stands for. Without an entry for it, the index
// means what Qt itself shows for it: 0 black, 1 white.
static QRgb indexColour(const QImage &mono, int index)
{
    if (index < mono.colorCount())
        return mono.color(index);
    return index == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
}

// The readers hand out one-bit images with either palette order, and Qt's own
// reductions leave the fill bits of each row undefined. The controller sees
// only the bits, so they are rewritten here to mean "dark" and the fill is
// cleared: otherwise a file prints as its negative or with stray dots at the
// right edge.
static QImage normaliseMono(const QImage &image)
{
    // XBM and some other readers store the leftmost pixel in the least
    // significant bit; the controller reads the most significant bit first.
    const QImage mono = image.format() == QImage::Format_Mono
        ? image
        : image.convertToFormat(QImage::Format_Mono);
    if (mono.isNull())
        return mono;

    const bool zeroDark = printsDark(indexColour(mono, 0));
    const bool oneDark = printsDark(indexColour(mono, 1));

    QImage out(mono.size(), QImage::Format_Mono);
    if (out.isNull())
        return out;
    out.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    out.setDotsPerMeterX(mono.dotsPerMeterX());
    out.setDotsPerMeterY(mono.dotsPerMeterY());

    const int width = mono.width();
    const qsizetype fullBytes = width / 8;
    const int partBits = width % 8;
    const uchar partMask = uchar(0xFF00 >> partBits);
    const qsizetype rowBytes = out.bytesPerLine();
    for (int y = 0; y < mono.height(); ++y) {
        const uchar *src = mono.constScanLine(y);
        uchar *dst = out.scanLine(y);
        qsizetype i = 0;
        const qsizetype used = fullBytes + (partBits ? 1 : 0);
        for (; i < used; ++i) {
            const uchar bits = src[i];
            dst[i] = uchar((oneDark ? bits : 0) | (zeroDark ? ~bits : 0));
        }
        if (partBits)
            dst[fullBytes] &= partMask;
        for (; i < rowBytes; ++i)
            dst[i] = 0;
    }
    return out;
}

QImage printableMono(const QImage &image)
{
    if (image.isNull())
        return QImage();
    if (image.depth() <= 1)
        return normaliseMono(image);

    QImage source = image;
    if (image.hasAlphaChannel()) {
        // Reducing straight from an alpha channel turns transparent pixels
        // black, and a logo on a transparent background would print as a
        // solid block. Lay it on white paper first.
        QImage paper(image.size(), QImage::Format_RGB32);
        if (paper.isNull())
            return paper;
        paper.fill(Qt::white);
        QImage unscaled = image;
        unscaled.setDevicePixelRatio(1.0);
        QPainter painter(&paper);
        painter.drawImage(0, 0, unscaled);
        painter.end();
        source = paper;
    }
    return normaliseMono(source.convertToFormat(QImage::Format_Mono));
}

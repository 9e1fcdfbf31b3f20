#ifndef DITHERING_H
#define DITHERING_H

// How a picture becomes dots: optionally scaled to the width of the head, then
// reduced to one bit per dot by one of several ditherings, optionally
// inverted. Every result is in the controller's layout (see printablemono.h),
// so what the preview shows is what is printed.

#include <QSize>
#include <QString>

class QImage;

// A 58 mm head has 384 dots per line.
constexpr int printHeadDots = 384;

enum class Dithering {
    ErrorDiffusion, // Qt's own reduction, the one the tool has always used
    Threshold,      // dark below a level, no dithering at all
    Ordered,        // 8x8 Bayer matrix
    Atkinson,
    FloydSteinberg,
};

struct ConversionOptions
{
    bool fit = false;
    Dithering dithering = Dithering::ErrorDiffusion;
    int level = 128; // Threshold only: a grey below it prints
    bool invert = false;

    bool isDefault() const
    {
        return !fit && dithering == Dithering::ErrorDiffusion && !invert;
    }
};

// The size of `size` scaled to `width` with its aspect ratio kept; a narrower
// picture keeps its size.
QSize fittedSize(QSize size, int width);
// The picture scaled smoothly to fittedSize().
QImage fitted(const QImage &picture, int width);

// The printable image of `picture` under `options`.
QImage printableImage(const QImage &picture, const ConversionOptions &options);

// The log line naming a conversion, e.g. "Converted: Atkinson, fitted to
// 384 x 288"; `scaled` tells whether the picture had to be made narrower.
QString conversionText(const ConversionOptions &options, QSize result, bool scaled);

#endif // DITHERING_H

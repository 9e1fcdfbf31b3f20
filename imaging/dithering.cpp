#include "imaging/dithering.h"

#include "imaging/printablemono.h"

#include <QImage>

#include <cstring>
#include <vector>

QSize fittedSize(QSize size, int width)
{
    if (size.width() <= width || size.width() <= 0)
        return size;
    return {width, qMax(1, qRound(double(size.height()) * width / size.width()))};
}

QImage fitted(const QImage &picture, int width)
{
    const QSize target = fittedSize(picture.size(), width);
    if (target == picture.size())
        return picture;
    return picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace {

// The grey of each pixel as it looks laid on white paper, 0 black to 255
// white: a transparent pixel is paper whatever colour it carries.
std::vector<uchar> greyOnPaper(const QImage &picture)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    std::vector<uchar> grey(size_t(argb.width()) * size_t(argb.height()));
    uchar *out = grey.data();
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            *out++ = uchar((qGray(line[x]) * alpha + 255 * (255 - alpha)) / 255);
        }
    }
    return grey;
}

QImage blankDots(QSize size)
{
    QImage dots(size, QImage::Format_Mono);
    if (dots.isNull())
        return dots;
    dots.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    // QImage::fill() leaves the bytes past the width as they were.
    for (int y = 0; y < dots.height(); ++y)
        memset(dots.scanLine(y), 0, size_t(dots.bytesPerLine()));
    return dots;
}

inline void setDark(uchar *line, int x)
{
    line[x >> 3] |= uchar(0x80 >> (x & 7));
}

// Bayer's 8x8 matrix: each threshold as far from the ones before it as the
// grid allows, so any level gives an even pattern.
constexpr uchar bayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

struct Spread
{
    int dx, dy;
    float share;
};

constexpr Spread floydSteinberg[] = {
    {1, 0, 7 / 16.f}, {-1, 1, 3 / 16.f}, {0, 1, 5 / 16.f}, {1, 1, 1 / 16.f}};
// Atkinson passes on only six eighths of the error, which keeps light and dark
// areas clean at the cost of some tone.
constexpr Spread atkinson[] = {{1, 0, 1 / 8.f},  {2, 0, 1 / 8.f}, {-1, 1, 1 / 8.f},
                               {0, 1, 1 / 8.f},  {1, 1, 1 / 8.f}, {0, 2, 1 / 8.f}};

// Error diffusion with the given spread, rows left to right. Three rows of
// error are kept, the furthest a spread reaches down.
template <size_t N>
void diffuse(const std::vector<uchar> &grey, QImage &dots, const Spread (&spread)[N])
{
    const int width = dots.width();
    const int pad = 2;
    const size_t stride = size_t(width) + 2 * pad;
    std::vector<float> error(3 * stride, 0.f);
    for (int y = 0; y < dots.height(); ++y) {
        float *row = &error[size_t(y % 3) * stride + pad];
        const uchar *in = &grey[size_t(y) * size_t(width)];
        uchar *line = dots.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const float value = in[x] + row[x];
            const bool dark = value < 128.f;
            if (dark)
                setDark(line, x);
            const float rest = value - (dark ? 0.f : 255.f);
            for (const Spread &s : spread)
                error[size_t((y + s.dy) % 3) * stride + pad + size_t(x + s.dx)] += rest * s.share;
        }
        std::fill(row - pad, row - pad + stride, 0.f);
    }
}

QImage dithered(const QImage &picture, Dithering dithering, int level)
{
    QImage dots = blankDots(picture.size());
    if (dots.isNull())
        return dots;
    const std::vector<uchar> grey = greyOnPaper(picture);
    const int width = dots.width();
    switch (dithering) {
    case Dithering::Threshold:
    case Dithering::Ordered:
        for (int y = 0; y < dots.height(); ++y) {
            const uchar *in = &grey[size_t(y) * size_t(width)];
            uchar *line = dots.scanLine(y);
            for (int x = 0; x < width; ++x) {
                // The matrix's 64 steps spread evenly over 0..255, each in the
                // middle of its band: a flat 50 % grey prints half the dots.
                const int below = dithering == Dithering::Threshold ? level
                                                                    : bayer[y % 8][x % 8] * 4 + 2;
                if (in[x] < below)
                    setDark(line, x);
            }
        }
        break;
    case Dithering::Atkinson:
        diffuse(grey, dots, atkinson);
        break;
    case Dithering::FloydSteinberg:
        diffuse(grey, dots, floydSteinberg);
        break;
    case Dithering::ErrorDiffusion:
        break;
    }
    return dots;
}

// Swaps printed and blank dots; the fill beyond the width stays blank.
void invertDots(QImage &dots)
{
    const int width = dots.width();
    const int fullBytes = width / 8;
    const uchar partMask = uchar(0xFF00 >> (width % 8));
    for (int y = 0; y < dots.height(); ++y) {
        uchar *line = dots.scanLine(y);
        for (int i = 0; i < fullBytes; ++i)
            line[i] = uchar(~line[i]);
        if (partMask)
            line[fullBytes] = uchar(~line[fullBytes] & partMask);
    }
}

QString ditheringName(Dithering dithering, int level)
{
    switch (dithering) {
    case Dithering::ErrorDiffusion:
        return QStringLiteral("Error diffusion");
    case Dithering::Threshold:
        return QStringLiteral("Threshold at %1").arg(level);
    case Dithering::Ordered:
        return QStringLiteral("Ordered 8x8");
    case Dithering::Atkinson:
        return QStringLiteral("Atkinson");
    case Dithering::FloydSteinberg:
        return QStringLiteral("Floyd-Steinberg");
    }
    return QString();
}

} // namespace

QImage printableImage(const QImage &picture, const ConversionOptions &options)
{
    if (picture.isNull())
        return QImage();
    const QImage source = options.fit ? fitted(picture, printHeadDots) : picture;
    QImage dots = options.dithering == Dithering::ErrorDiffusion
        ? printableMono(source)
        : dithered(source, options.dithering, options.level);
    if (options.invert && !dots.isNull())
        invertDots(dots);
    return dots;
}

QString conversionText(const ConversionOptions &options, QSize result, bool scaled)
{
    return QStringLiteral("Converted: %1%2, %3%4 x %5")
        .arg(ditheringName(options.dithering, options.level),
             options.invert ? QStringLiteral(", inverted") : QString(),
             scaled ? QStringLiteral("fitted to ") : QString())
        .arg(result.width())
        .arg(result.height());
}

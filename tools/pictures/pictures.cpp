// The monochrome demonstration pictures. Thermal heads print a dot or
// nothing, so everything is drawn black on white and cut at 50 % grey; fine
// detail below two dots would print unevenly and is avoided.

#include "pictures.h"

#include "demos/data/bitmaps.h"

#include <QPainter>
#include <QtMath>

#include <qrencode.h>

#include <cstdio>
#include <memory>

namespace {

MonoPicture makePicture(const char *arrayName, const char *fileName, const char *description,
                        const QImage &canvas)
{
    MonoPicture picture;
    picture.arrayName = QString::fromLatin1(arrayName);
    picture.fileName = QString::fromLatin1(fileName);
    picture.description = QString::fromLatin1(description);
    picture.width = canvas.width();
    picture.rows = canvas.height();
    picture.bits = packDots(canvas);
    return picture;
}

void startInk(QPainter &p, QImage &canvas)
{
    p.begin(&canvas);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
}

QPen inkPen(qreal width)
{
    QPen pen(Qt::black, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// ---------------------------------------------------------------- QR Code

bool renderQr(MonoPicture &out)
{
    // Version 2 at level M holds 26 bytes; the text is shorter.
    std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeString(qrSampleText, qrSampleVersion, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!code) {
        std::fprintf(stderr, "telvar-pictures: QR encoding failed\n");
        return false;
    }
    if (code->version != qrSampleVersion || code->width != qrSampleModules) {
        std::fprintf(stderr, "telvar-pictures: the QR text needs version %d, not %d\n", code->version,
                     qrSampleVersion);
        return false;
    }
    QImage canvas = whiteCanvas(qrSampleBitmapWidth, qrSampleBitmapRows);
    QPainter p;
    p.begin(&canvas);
    for (int my = 0; my < code->width; ++my) {
        for (int mx = 0; mx < code->width; ++mx) {
            if (code->data[my * code->width + mx] & 1)
                p.fillRect(qrSampleBorderDots + mx * qrSampleDotsPerModule,
                           qrSampleBorderDots + my * qrSampleDotsPerModule, qrSampleDotsPerModule,
                           qrSampleDotsPerModule, Qt::black);
        }
    }
    p.end();
    out = makePicture("qrSampleBitmap", "qrsamplebitmap.cpp",
                      "QR Code version 2-M, 8 x 8 dots per module, 16-dot white border", canvas);
    return true;
}

// ---------------------------------------------------------------- logo

// A printed slip: a strip with a zigzag tear at the bottom. Drawn in paper
// colour on the black emblem disc.
QPolygonF slipOutline(const QRectF &r, int teeth)
{
    QPolygonF poly;
    poly << r.topLeft() << r.topRight();
    const qreal w = r.width() / (teeth * 2);
    for (int i = teeth * 2; i >= 0; --i)
        poly << QPointF(r.left() + i * w, (i % 2) ? r.bottom() - 5 : r.bottom());
    return poly;
}

MonoPicture renderLogo()
{
    QImage canvas = whiteCanvas(sampleLogoBitmapWidth, sampleLogoBitmapRows);
    QPainter p;
    startInk(p, canvas);

    // Word mark.
    p.drawPath(fittedText(QStringLiteral("Telvar"), dejaVu(100, true), QRectF(4, 4, 276, 68)));
    // Rule under the word mark, running into the emblem.
    p.drawRoundedRect(QRectF(4, 80, 300, 9), 4.5, 4.5);

    // Emblem: a disc with a printed slip coming off a print head.
    const QPointF c(336, 47);
    p.drawEllipse(c, 46, 46);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(c.x() - 30, c.y() - 31, 60, 10), 4, 4); // print head
    p.drawPolygon(slipOutline(QRectF(c.x() - 20, c.y() - 21, 40, 56), 5));
    p.setBrush(Qt::black);
    p.drawRect(QRectF(c.x() - 30, c.y() - 25, 60, 2)); // paper slot
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(c.x() - 13, c.y() - 13 + i * 9, i == 3 ? 14 : 26, 4));
    p.drawRect(QRectF(c.x() + 5, c.y() + 14, 8, 4));
    p.end();
    return makePicture("sampleLogoBitmap", "samplelogobitmap.cpp",
                       "the maker's logo, word mark \"Telvar\" with the emblem at its right end", canvas);
}

// ---------------------------------------------------------------- pictograms

QPainterPath gear(QPointF c, qreal rOuter, qreal rRoot, qreal rHole, int teeth)
{
    QPolygonF poly;
    const qreal step = 2 * M_PI / teeth;
    auto pt = [&](qreal r, qreal a) { return c + QPointF(r * qCos(a), r * qSin(a)); };
    for (int i = 0; i < teeth; ++i) {
        const qreal a = i * step;
        poly << pt(rRoot, a - step * 0.32) << pt(rOuter, a - step * 0.18) << pt(rOuter, a + step * 0.18)
             << pt(rRoot, a + step * 0.32);
    }
    QPainterPath path;
    path.addPolygon(poly);
    path.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, rHole, rHole);
    return path.subtracted(hole);
}

// Each pictogram is drawn in a 20 x 20 cell with its origin at the top left.
void pictogram(QPainter &p, int which)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    switch (which) {
    case 0: // receipt printer
        p.setPen(inkPen(2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(5, 1, 10, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRoundedRect(QRectF(1, 8, 18, 8), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 10.5, 12, 2));
        p.setBrush(Qt::black);
        p.drawRect(QRectF(4, 16, 2, 3));
        p.drawRect(QRectF(14, 16, 2, 3));
        break;
    case 1: { // paper roll
        p.drawRect(QRectF(8, 13, 11, 5));
        p.drawEllipse(QPointF(8, 9), 8, 8);
        // wound paper around a hollow core
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 9), 6, 6);
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(8, 9), 4, 4);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 9), 1.8, 1.8);
        // torn end of the paper
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(20, 12), QPointF(17.5, 14.2), QPointF(20, 15.5), QPointF(17.5, 17),
                                 QPointF(20, 19)}));
        break;
    }
    case 2: // scissors
        p.setPen(inkPen(2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(4, 5), 2.8, 2.8);
        p.drawEllipse(QPointF(4, 15), 2.8, 2.8);
        p.setPen(inkPen(2.4));
        p.drawLine(QPointF(6.5, 7), QPointF(19, 14.5));
        p.drawLine(QPointF(6.5, 13), QPointF(19, 5.5));
        break;
    case 3: { // bar code
        static const int bars[] = {2, 1, 1, 1, 1, 2, 3, 1, 1, 2, 2, 1, 1};
        qreal x = 1;
        bool ink = true;
        for (int w : bars) {
            if (ink)
                p.drawRect(QRectF(x, 2, w, 16));
            x += w;
            ink = !ink;
        }
        break;
    }
    case 4: // gear
        p.drawPath(gear(QPointF(10, 10), 9.6, 7, 3, 8));
        break;
    case 5: // check mark
        p.setPen(inkPen(3.4));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3, 10.5), QPointF(8, 15.5), QPointF(17, 3.5)}));
        break;
    case 6: // cross mark
        p.setPen(inkPen(3.4));
        p.drawLine(QPointF(4, 4), QPointF(16, 16));
        p.drawLine(QPointF(16, 4), QPointF(4, 16));
        break;
    case 7: // battery
        p.setPen(inkPen(2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1, 5, 15, 10));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(16, 8, 3, 4));
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(3.5 + i * 4, 7.5, 2.5, 5));
        break;
    case 8: // lightning bolt
        p.drawPolygon(QPolygonF({QPointF(12, 0.5), QPointF(3.5, 11), QPointF(9, 11), QPointF(7, 19.5),
                                 QPointF(16.5, 8), QPointF(11, 8), QPointF(14, 0.5)}));
        break;
    case 9: // clock
        p.setPen(inkPen(2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
        p.drawLine(QPointF(10, 10), QPointF(10, 4.5));
        p.drawLine(QPointF(10, 10), QPointF(14, 12));
        break;
    }
}

MonoPicture renderPictograms()
{
    QImage canvas = whiteCanvas(windingsIconsBitmapWidth, windingsIconsBitmapRows);
    QPainter p;
    startInk(p, canvas);
    const int count = 10;
    const qreal pitch = qreal(windingsIconsBitmapWidth) / count;
    for (int i = 0; i < count; ++i) {
        p.save();
        p.translate(qRound(i * pitch + (pitch - 20) / 2), 0);
        pictogram(p, i);
        p.restore();
    }
    p.end();
    return makePicture("windingsIconsBitmap", "windingsiconsbitmap.cpp",
                       "pictograms: printer, paper roll, scissors, bar code, gear, check, cross, "
                       "battery, lightning, clock",
                       canvas);
}

MonoPicture renderCircledDigits()
{
    QImage canvas = whiteCanvas(windingsDigitsBitmapWidth, windingsDigitsBitmapRows);
    QPainter p;
    startInk(p, canvas);
    const QFont font = dejaVu(13, true);
    for (int i = 0; i < 4; ++i) {
        // Cells of 18 dots; the rings stay one dot clear of the cell edges
        // so the four symbols print apart.
        const QPointF c(9 + 18 * i, 10);
        p.setPen(inkPen(1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 7.5, 7.5);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPath(fittedText(QString::number(i + 1), font, QRectF(c.x() - 3.5, c.y() - 4.5, 7, 9)));
    }
    p.end();
    return makePicture("windingsDigitsBitmap", "windingsdigitsbitmap.cpp", "circled digits 1 to 4",
                       canvas);
}

// ---------------------------------------------------------------- lettering

MonoPicture renderLettering()
{
    QImage canvas = whiteCanvas(sampleRasterBitmapWidth, sampleRasterBitmapRows);
    QPainter p;
    startInk(p, canvas);
    const QFont font = dejaVu(100, true);
    const char *words[] = {"Telvar", "thermal", "printer", "RC30x"};
    const qreal band = sampleRasterBitmapRows / 4.0;
    for (int i = 0; i < 4; ++i)
        p.drawPath(fittedText(QString::fromLatin1(words[i]), font,
                              QRectF(4, i * band + 4, sampleRasterBitmapWidth - 8, band - 8)));
    p.end();
    return makePicture("sampleRasterBitmap", "samplerasterbitmap.cpp",
                       "lettering \"Telvar\", \"thermal\", \"printer\", \"RC30x\" in four lines", canvas);
}

// ---------------------------------------------------------------- receipt header

// A shopping basket with a milk bottle, a loaf and an apple in it.
void basketEmblem(QPainter &p, QPointF top)
{
    const qreal cx = top.x();
    const qreal y0 = top.y();
    const qreal rimY = y0 + 64;
    p.save();
    // Handle, behind the goods.
    p.setPen(inkPen(7));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cx - 62, y0 + 2, 124, 124), 0, 180 * 16);

    // Milk bottle, standing up at the left.
    QPainterPath bottle;
    bottle.moveTo(cx - 46, rimY);
    bottle.lineTo(cx - 46, y0 + 28);
    bottle.quadTo(cx - 46, y0 + 18, cx - 38, y0 + 14);
    bottle.lineTo(cx - 38, y0 + 4);
    bottle.lineTo(cx - 22, y0 + 4);
    bottle.lineTo(cx - 22, y0 + 14);
    bottle.quadTo(cx - 14, y0 + 18, cx - 14, y0 + 28);
    bottle.lineTo(cx - 14, rimY);
    bottle.closeSubpath();
    p.setPen(inkPen(4));
    p.setBrush(Qt::white);
    p.drawPath(bottle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(cx - 40, y0 - 1, 20, 7));     // cap
    p.drawRect(QRectF(cx - 46, y0 + 34, 32, 12));   // label band

    // Loaf lying across the right side.
    p.save();
    p.translate(cx + 34, y0 + 38);
    p.rotate(-30);
    p.setPen(inkPen(4));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(-30, -12, 60, 24), 12, 12);
    p.setPen(inkPen(3.5));
    for (int i = -1; i <= 1; ++i)
        p.drawLine(QPointF(i * 14 - 4, -6), QPointF(i * 14 + 4, 6));
    p.restore();

    // Apple in front, between the two.
    p.setPen(inkPen(4));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(cx + 2, rimY - 12), 13, 12);
    p.drawLine(QPointF(cx + 1, rimY - 24), QPointF(cx - 1, rimY - 31));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(cx + 1, rimY - 36, 11, 6));

    // Basket: a rim and a tapered woven body.
    p.drawRoundedRect(QRectF(cx - 76, rimY, 152, 14), 5, 5);
    QPolygonF body;
    const qreal bodyTop = rimY + 14;
    const qreal bodyBottom = rimY + 60;
    body << QPointF(cx - 68, bodyTop) << QPointF(cx + 68, bodyTop) << QPointF(cx + 56, bodyBottom)
         << QPointF(cx - 56, bodyBottom);
    p.drawPolygon(body);
    // Gaps in the weave: three rows of slots, following the taper.
    p.setBrush(Qt::white);
    for (int row = 0; row < 3; ++row) {
        const qreal y = bodyTop + 6 + row * 14;
        const qreal half = 68 - (y + 5 - bodyTop) * 12 / 46 - 10;
        const int slotCount = 7;
        const qreal pitch = 2 * half / slotCount;
        for (int i = 0; i < slotCount; ++i)
            p.drawRoundedRect(QRectF(cx - half + i * pitch + 3, y, pitch - 6, 8), 2, 2);
    }
    p.restore();
}

MonoPicture renderReceiptHeader()
{
    QImage canvas = whiteCanvas(receiptHeaderBitmapWidth, receiptHeaderBitmapRows);
    QPainter p;
    startInk(p, canvas);
    const qreal w = receiptHeaderBitmapWidth;
    p.drawPath(fittedText(QStringLiteral("Telvar Corner Market"), dejaVu(60, true), QRectF(8, 6, w - 16, 32)));
    basketEmblem(p, QPointF(w / 2, 46));
    const QFont detail = dejaVu(19, false);
    const char *lines[] = {"12 Harbour Lane, Sampletown", "Tel 0123 456789", "www.example.com"};
    for (int i = 0; i < 3; ++i) {
        QPainterPath text;
        text.addText(0, 0, detail, QString::fromLatin1(lines[i]));
        const qreal baseline = 196 + i * 24;
        p.drawPath(text.translated((w - text.boundingRect().width()) / 2 - text.boundingRect().left(), baseline));
    }
    p.end();
    return makePicture("receiptHeaderBitmap", "receiptheaderbitmap.cpp",
                       "receipt header of a sample shop: name, basket emblem, address and contact lines",
                       canvas);
}

} // namespace

std::vector<MonoPicture> renderPictures()
{
    std::vector<MonoPicture> pictures;
    MonoPicture qr;
    if (!renderQr(qr))
        return {};
    pictures.push_back(qr);
    pictures.push_back(renderLogo());
    pictures.push_back(renderPictograms());
    pictures.push_back(renderCircledDigits());
    pictures.push_back(renderLettering());
    pictures.push_back(renderReceiptHeader());
    return pictures;
}

// Colour icons for the tool bar actions and the application itself. Each is
// drawn in a fixed design grid and scaled to the requested pixel size, on a
// transparent background.

#include "icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <functional>

namespace {

using DrawFn = std::function<void(QPainter &)>;

QImage renderIcon(int pixels, qreal designUnits, const DrawFn &draw)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(pixels / designUnits, pixels / designUnits);
    draw(p);
    p.end();
    // Straight (non-premultiplied) alpha for the file; fully transparent
    // pixels come out as 0,0,0,0.
    return image.convertToFormat(QImage::Format_ARGB32);
}

QPen outline(const QColor &c, qreal w)
{
    QPen pen(c, w);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// An eraser lying at an angle, rubbing out a smudge.
void drawClear(QPainter &p)
{
    p.setPen(outline(QColor(150, 150, 150), 1.4));
    p.drawLine(QPointF(4, 28.5), QPointF(28, 28.5));
    p.setPen(outline(QColor(120, 120, 120), 1.0));
    p.drawLine(QPointF(3, 25), QPointF(7, 25));
    p.drawLine(QPointF(2, 22.5), QPointF(5, 22.5));

    p.save();
    p.translate(17, 15);
    p.rotate(-38);
    const QRectF body(-12, -6, 24, 12);
    QPainterPath whole;
    whole.addRoundedRect(body, 2.5, 2.5);
    // Pink rubber end (the one touching the paper, on the left).
    QPainterPath rubber;
    rubber.addRect(QRectF(-12, -6, 11, 12));
    QLinearGradient pink(0, -6, 0, 6);
    pink.setColorAt(0, QColor(250, 150, 170));
    pink.setColorAt(1, QColor(215, 80, 110));
    p.fillPath(whole.intersected(rubber), pink);
    // Blue sleeve.
    QPainterPath sleeve;
    sleeve.addRect(QRectF(-1, -6, 13, 12));
    QLinearGradient blue(0, -6, 0, 6);
    blue.setColorAt(0, QColor(110, 170, 240));
    blue.setColorAt(1, QColor(40, 90, 180));
    p.fillPath(whole.intersected(sleeve), blue);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1.0));
    p.drawLine(QPointF(1, -3), QPointF(10, -3));
    p.setPen(outline(QColor(60, 40, 60), 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(whole);
    p.drawLine(QPointF(-1, -6), QPointF(-1, 6));
    p.restore();
}

// The two halves of a cable connector, drawn along the x axis around the
// origin; `gap` pulls them apart, a negative gap pushes the plug home.
void drawConnectorPair(QPainter &p, qreal gap, const QColor &cable)
{
    const QColor dark(45, 45, 55);
    p.setPen(outline(cable, 3.2));
    p.drawLine(QPointF(-23, 0), QPointF(-10 - gap, 0));
    p.drawLine(QPointF(10 + gap, 0), QPointF(23, 0));

    QLinearGradient bodyGrad(0, -6, 0, 6);
    bodyGrad.setColorAt(0, QColor(120, 125, 140));
    bodyGrad.setColorAt(1, QColor(55, 58, 70));
    p.setBrush(bodyGrad);
    p.setPen(outline(dark, 1.0));
    // Plug with its two prongs.
    p.drawRoundedRect(QRectF(-11 - gap, -6, 9, 12), 2, 2);
    p.setBrush(QColor(225, 190, 80));
    p.setPen(outline(QColor(130, 100, 30), 0.7));
    p.drawRect(QRectF(-2 - gap, -4.2, 6, 2.4));
    p.drawRect(QRectF(-2 - gap, 1.8, 6, 2.4));
    // Socket.
    p.setBrush(bodyGrad);
    p.setPen(outline(dark, 1.0));
    p.drawRoundedRect(QRectF(2 + gap, -6, 9, 12), 2, 2);
}

void drawConnect(QPainter &p)
{
    p.save();
    p.translate(16, 16);
    p.rotate(-45);
    drawConnectorPair(p, -1.5, QColor(40, 40, 40));
    p.restore();
    // A small green dot: the link is up.
    p.setBrush(QColor(60, 190, 70));
    p.setPen(outline(QColor(20, 100, 30), 1.0));
    p.drawEllipse(QPointF(25.5, 25.5), 4, 4);
}

void drawDisconnect(QPainter &p)
{
    p.save();
    p.translate(16, 16);
    p.rotate(-45);
    drawConnectorPair(p, 3.5, QColor(40, 40, 40));
    // Sparks across the gap.
    p.setPen(outline(QColor(220, 40, 30), 1.4));
    p.drawLine(QPointF(-1.5, -9), QPointF(-0.5, -12.5));
    p.drawLine(QPointF(1.5, 9), QPointF(0.5, 12.5));
    p.drawLine(QPointF(3.5, -8.5), QPointF(6, -11));
    p.drawLine(QPointF(-3.5, 8.5), QPointF(-6, 11));
    p.restore();
}

QPainterPath gearPath(QPointF c, qreal rOuter, qreal rRoot, qreal rHole, int teeth)
{
    QPolygonF poly;
    const qreal step = 2 * M_PI / teeth;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = i * step;
        const qreal tipHalf = step * 0.20;
        const qreal rootHalf = step * 0.30;
        auto pt = [&](qreal r, qreal ang) { return c + QPointF(r * qCos(ang), r * qSin(ang)); };
        poly << pt(rRoot, a - rootHalf) << pt(rOuter, a - tipHalf)
             << pt(rOuter, a + tipHalf) << pt(rRoot, a + rootHalf);
        poly << pt(rRoot, a + step / 2);
    }
    poly << poly.first();
    QPainterPath gear;
    gear.addPolygon(poly);
    QPainterPath hole;
    hole.addEllipse(c, rHole, rHole);
    return gear.subtracted(hole);
}

void drawSettings(QPainter &p)
{
    const QPointF c(16, 16);
    QPainterPath gear = gearPath(c, 14.5, 10.5, 4.5, 8);
    QRadialGradient steel(QPointF(12, 11), 18);
    steel.setColorAt(0, QColor(220, 225, 232));
    steel.setColorAt(0.6, QColor(140, 148, 160));
    steel.setColorAt(1, QColor(90, 96, 108));
    p.setPen(outline(QColor(50, 54, 62), 1.2));
    p.setBrush(steel);
    p.drawPath(gear);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(70, 75, 85), 1.0));
    p.drawEllipse(c, 7.5, 7.5);
}

// A door standing open with an arrow leaving through it.
void drawExit(QPainter &p)
{
    p.setPen(outline(QColor(60, 60, 65), 1.2));
    p.setBrush(QColor(235, 235, 225));
    p.drawRect(QRectF(4, 3, 15, 26));
    // Door leaf swung inwards, hinged on the left post.
    QPolygonF leaf;
    leaf << QPointF(4, 3) << QPointF(13, 6) << QPointF(13, 31) << QPointF(4, 29);
    QLinearGradient wood(4, 0, 13, 0);
    wood.setColorAt(0, QColor(165, 105, 55));
    wood.setColorAt(1, QColor(120, 70, 30));
    p.setBrush(wood);
    p.setPen(outline(QColor(70, 40, 15), 1.1));
    p.drawPolygon(leaf);
    p.setBrush(QColor(240, 200, 80));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(11, 17.5), 1.1, 1.1);

    QPolygonF arrow;
    arrow << QPointF(15, 13.5) << QPointF(23, 13.5) << QPointF(23, 9) << QPointF(30.5, 16.5)
          << QPointF(23, 24) << QPointF(23, 19.5) << QPointF(15, 19.5);
    QLinearGradient red(0, 9, 0, 24);
    red.setColorAt(0, QColor(240, 90, 70));
    red.setColorAt(1, QColor(180, 25, 20));
    p.setBrush(red);
    p.setPen(outline(QColor(110, 15, 10), 1.1));
    p.drawPolygon(arrow);
}

// The application: a small receipt printer with a printed slip coming out
// of its top slot. Design grid of 128 units.
void drawPrinter(QPainter &p, bool detailed)
{
    // Shadow on the desk.
    QRadialGradient shadow(QPointF(64, 116), 56);
    shadow.setColorAt(0, QColor(0, 0, 0, 90));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QRectF(10, 108, 108, 16));

    // The receipt, torn off along a zigzag at the top.
    QPolygonF paper;
    paper << QPointF(36, 64);
    const int teeth = 8;
    for (int i = 0; i <= teeth * 2; ++i)
        paper << QPointF(36 + i * (56.0 / (teeth * 2)), (i % 2) ? 6 : 11);
    paper << QPointF(92, 64);
    p.setBrush(QColor(252, 252, 248));
    p.setPen(outline(QColor(140, 140, 135), detailed ? 1.5 : 2.5));
    p.drawPolygon(paper);
    p.setPen(QPen(QColor(120, 120, 125), detailed ? 3 : 4.5, Qt::SolidLine, Qt::FlatCap));
    const qreal lines[][2] = {{44, 64}, {44, 84}, {44, 74}, {44, 80}};
    const int lineCount = detailed ? 4 : 3;
    for (int i = 0; i < lineCount; ++i) {
        const qreal y = 18 + i * (detailed ? 8 : 12);
        p.drawLine(QPointF(lines[i][0], y), QPointF(lines[i][1], y));
    }
    if (detailed) {
        // Total line in bold.
        p.setPen(QPen(QColor(60, 60, 65), 4, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(66, 51), QPointF(84, 51));
    }

    // Printer body.
    QLinearGradient body(0, 58, 0, 112);
    body.setColorAt(0, QColor(95, 100, 112));
    body.setColorAt(0.35, QColor(62, 66, 76));
    body.setColorAt(1, QColor(32, 34, 40));
    p.setBrush(body);
    p.setPen(outline(QColor(20, 20, 24), 2));
    p.drawRoundedRect(QRectF(12, 58, 104, 54), 12, 12);
    // Paper cover and the exit slot.
    QLinearGradient cover(0, 58, 0, 78);
    cover.setColorAt(0, QColor(150, 156, 168));
    cover.setColorAt(1, QColor(100, 105, 118));
    p.setBrush(cover);
    p.setPen(outline(QColor(30, 30, 36), 1.5));
    p.drawRoundedRect(QRectF(18, 62, 92, 18), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(15, 15, 18));
    p.drawRoundedRect(QRectF(32, 62, 64, 4), 2, 2);
    // Tear bar.
    p.setBrush(QColor(205, 210, 218));
    p.drawRect(QRectF(34, 66, 60, 2.5));

    // Status LED and feed button.
    QRadialGradient led(QPointF(94, 94), 6);
    led.setColorAt(0, QColor(170, 255, 150));
    led.setColorAt(1, QColor(30, 160, 40));
    p.setBrush(led);
    p.setPen(outline(QColor(10, 60, 15), 1.2));
    p.drawEllipse(QPointF(96, 95), 5, 5);
    p.setBrush(QColor(180, 185, 195));
    p.setPen(outline(QColor(25, 25, 30), 1.2));
    p.drawRoundedRect(QRectF(72, 90, 14, 10), 3, 3);
    if (detailed) {
        // Ventilation slits on the left of the front.
        p.setPen(QPen(QColor(20, 20, 24), 2.5, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(24 + i * 8, 90), QPointF(24 + i * 8, 102));
    }
}

} // namespace

std::vector<NamedIcon> renderIcons()
{
    std::vector<NamedIcon> icons;
    icons.push_back({QStringLiteral("resources/images/clear.png"), renderIcon(32, 32, drawClear)});
    icons.push_back({QStringLiteral("resources/images/disconnect.png"), renderIcon(32, 32, drawDisconnect)});
    icons.push_back({QStringLiteral("resources/images/settings.png"), renderIcon(32, 32, drawSettings)});
    icons.push_back({QStringLiteral("resources/images/application-exit.png"), renderIcon(32, 32, drawExit)});
    icons.push_back({QStringLiteral("resources/images/connect.png"), renderIcon(32, 32, drawConnect)});
    icons.push_back({QStringLiteral("resources/icons/printer-telvar.png"),
                     renderIcon(128, 128, [](QPainter &p) { drawPrinter(p, true); })});
    icons.push_back({QStringLiteral("resources/icons/printer-telvar-48.png"),
                     renderIcon(48, 128, [](QPainter &p) { drawPrinter(p, false); })});
    return icons;
}

#include "render/renderer.h"
#include "render/barcodedata.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <cstring>

#include <qrencode.h>
#include <zint.h>

namespace Paper {

using namespace Line;

namespace {

constexpr int kDotsPerMm = 8;
constexpr int kStandardPitch = 11, kStandardHeight = 24;
constexpr int kSmallPitch = 8, kSmallHeight = 16;
// The paper grows by doubling, from this many rows to the cap.
constexpr int kPaperGrowth = 256;
// All stored bitmaps together; the locations are bytes, so at most 256 of them.
constexpr qsizetype kMaxStoredBitmapBytes = 4 * 1024 * 1024;

constexpr uchar kWhite = 255;
// Grey of a printed dot for darkness 1 (lightest) to 8 (darkest); 0 is the
// controller's default, level 4.
constexpr int kInk[9] = {80, 200, 170, 130, 80, 56, 36, 18, 0};

bool isWideChar(QChar ch)
{
    const ushort u = ch.unicode();
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF)
        || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF)
        || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
        || (u >= 0xFFE0 && u <= 0xFFE6);
}

int zintSymbology(int s)
{
    switch (s) {
    case 0x41: return BARCODE_UPCA;
    case 0x42: return BARCODE_UPCE;
    case 0x43: return BARCODE_EANX; // 12 digits: EAN-13
    case 0x44: return BARCODE_EANX; // 7 digits: EAN-8
    case 0x45: return BARCODE_CODE39;
    case 0x46: return BARCODE_C25INTER;
    case 0x47: return BARCODE_CODABAR;
    case 0x48: return BARCODE_CODE93;
    case 0x49: return BARCODE_CODE128;
    case 0x4A: return BARCODE_GS1_128;
    }
    return 0;
}

// The human-readable text drawn above the bars (`bars`: black where ink goes).
QImage withTextAbove(const QImage &bars, const QString &text)
{
    constexpr int strip = 22;
    QImage out(bars.width(), bars.height() + strip, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(18);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 0, out.width(), strip - 2), Qt::AlignHCenter | Qt::AlignBottom, text);
    p.drawImage(0, strip, bars);
    return out;
}

} // namespace

Renderer::Renderer()
{
    resetSettings();
}

void Renderer::resetSettings()
{
    m_bold = m_doubleStrike = m_italic = m_reverse = m_upsideDown = false;
    m_underline = 0;
    m_sizeX = m_sizeY = 1;
    m_charSpacing = 0;
    m_small = false;
    m_gray = 0;
    m_align = 0;
    m_left = 0;
    m_rightEnd = 0;
    m_areaWidth = -1;
    m_spacing = 33;
    m_tabs.clear();
    m_barHeight = 80;
    m_barWidth = 3;
    m_barText = 1;
    m_qrModule = 3;
    m_qrLevel = 1;
    m_qrData.clear();
    m_graphics = Bitmap();
    m_line.clear();
    m_x = 0;
}

void Renderer::setPrintWidth(int dots)
{
    m_width = dots;
    m_paper = QImage();
    m_y = 0;
    m_drawn = false;
    m_capped = false;
    m_line.clear();
    m_x = 0;
}

bool Renderer::hasContent() const
{
    return m_drawn || m_y > 0 || !m_line.isEmpty();
}

int Renderer::ink() const
{
    return kInk[qBound(0, m_gray, 8)];
}

int Renderer::areaLeft() const
{
    return qMin(m_left, m_width - 2 * kStandardPitch);
}

int Renderer::areaRight() const
{
    // A print area width (GS W) runs from the margin, at least one character wide.
    if (m_areaWidth >= 0)
        return qMin(m_width, areaLeft() + qMax(m_areaWidth, kStandardPitch));
    const int right = m_rightEnd;
    // An end of the print area left of the margin or past the paper means the
    // whole width.
    if (m_rightEnd == 0 || right > m_width || right < areaLeft() + 2 * kStandardPitch)
        return m_width;
    return right;
}

int Renderer::alignOffset(int extent) const
{
    const int room = qMax(0, areaRight() - areaLeft() - extent);
    if (m_align == 1)
        return room / 2;
    if (m_align == 2)
        return room;
    return 0;
}

bool Renderer::ensureRows(int rows)
{
    if (rows > kMaxPaperRows) {
        if (!m_capped)
            m_notes << QStringLiteral("paper capped at %1 mm (%2 dot rows): the rest of this job is not drawn")
                           .arg(kMaxPaperRows / kDotsPerMm)
                           .arg(kMaxPaperRows);
        m_capped = true;
        return false;
    }
    if (m_paper.isNull() || rows > m_paper.height()) {
        // The rows drawn so far are copied as they are, never painted again;
        // doubling keeps the copying to about the paper's own length.
        int height = m_paper.isNull() ? kPaperGrowth : m_paper.height();
        while (height < rows)
            height *= 2;
        QImage grown(m_width, qMin(kMaxPaperRows, height), QImage::Format_Grayscale8);
        if (grown.isNull()) {
            if (!m_capped)
                m_notes << QStringLiteral("paper not drawn past %1 dot rows: no memory for more").arg(m_y);
            m_capped = true;
            return false;
        }
        const int kept = m_paper.isNull() ? 0 : m_paper.height();
        for (int y = 0; y < kept; ++y)
            memcpy(grown.scanLine(y), m_paper.constScanLine(y), size_t(m_width));
        for (int y = kept; y < grown.height(); ++y)
            memset(grown.scanLine(y), kWhite, size_t(m_width));
        m_paper = grown;
    }
    return true;
}

void Renderer::drawGlyph(QImage &image, const Glyph &g, int x, int bottom)
{
    if (!g.image.isNull()) {
        const int top = bottom - g.image.height();
        for (int row = 0; row < g.image.height(); ++row) {
            if (top + row < 0 || top + row >= image.height())
                continue;
            uchar *line = image.scanLine(top + row);
            const QRgb *dots = reinterpret_cast<const QRgb *>(g.image.constScanLine(row));
            for (int col = 0; col < g.image.width() && x + col < image.width(); ++col)
                if (qGray(dots[col]) < 128)
                    line[x + col] = uchar(g.ink);
        }
        return;
    }
    if (g.text.isEmpty())
        return;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor inkColor(g.ink, g.ink, g.ink);
    const QRect cell(x, bottom - g.h, g.w, g.h);
    const bool reverse = g.attributes & 0x40;
    if (reverse)
        p.fillRect(cell, inkColor);

    const int baseHeight = g.small ? kSmallHeight : kStandardHeight;
    const int basePitch = g.small ? kSmallPitch : kStandardPitch;
    const bool wide = isWideChar(g.text.at(0));
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(baseHeight - 2);
    font.setBold(g.attributes & 0x08);
    font.setItalic(g.attributes & 0x02);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(reverse ? QColor(Qt::white) : inkColor);

    // Each glyph is squeezed or stretched into its cell of the fixed pitch.
    const qreal natural = qMax<qreal>(1, p.fontMetrics().horizontalAdvance(g.text));
    const qreal cellWidth = basePitch * (wide ? 2 : 1);
    const qreal sx = qMin<qreal>(1.0, cellWidth / natural) * g.sx;
    const qreal sy = g.sy;
    p.translate(x, bottom - g.h);
    p.scale(sx, sy);
    const qreal drawWidth = g.w / sx;
    p.drawText(QRectF(0, 0, drawWidth, baseHeight), Qt::AlignHCenter | Qt::AlignVCenter, g.text);
    p.resetTransform();
    if (g.underline > 0)
        p.fillRect(QRect(x, bottom - g.underline, g.w, g.underline), reverse ? QColor(Qt::white) : inkColor);
}

void Renderer::printLine(int advance)
{
    int height = 0, textHeight = 0, extent = 0;
    for (const Glyph &g : m_line) {
        height = qMax(height, g.h);
        if (g.image.isNull())
            textHeight = qMax(textHeight, g.h);
        extent = qMax(extent, g.x + g.w);
    }
    if (!m_line.isEmpty() && !m_capped && ensureRows(m_y + height)) {
        const int offset = areaLeft() + alignOffset(extent);
        if (m_lineUpsideDown) {
            // The whole line turned by 180 degrees within the paper's width.
            QImage band(m_width, height, QImage::Format_Grayscale8);
            band.fill(kWhite);
            for (const Glyph &g : m_line)
                drawGlyph(band, g, offset + g.x, height);
            // Laid over the paper, the darker dot wins.
            const QImage turned = band.mirrored(true, true);
            for (int row = 0; row < height; ++row) {
                uchar *line = m_paper.scanLine(m_y + row);
                const uchar *dots = turned.constScanLine(row);
                for (int x = 0; x < m_width; ++x)
                    line[x] = qMin(line[x], dots[x]);
            }
        } else {
            for (const Glyph &g : m_line)
                drawGlyph(m_paper, g, offset + g.x, m_y + height);
        }
        m_drawn = true;
    }
    // Text keeps two dots between lines; column images touch at a spacing of
    // their own height.
    const int step = m_line.isEmpty() ? advance : qMax(advance, qMax(height, textHeight + 2));
    m_line.clear();
    m_x = 0;
    if (!m_capped && ensureRows(m_y + step))
        m_y += step;
}

void Renderer::printLineIfAny()
{
    if (!m_line.isEmpty())
        printLine(m_spacing);
}

void Renderer::addText(const QString &text)
{
    for (QChar ch : text) {
        Glyph g;
        g.text = ch;
        g.small = m_small;
        g.attributes = (m_italic ? 0x02 : 0) | (m_bold || m_doubleStrike ? 0x08 : 0) | (m_reverse ? 0x40 : 0);
        g.underline = m_underline < 0 ? (m_small ? 1 : 2) : m_underline;
        g.sx = m_sizeX;
        g.sy = m_sizeY;
        g.ink = ink();
        const int pitch = m_small ? kSmallPitch : kStandardPitch;
        g.w = pitch * (isWideChar(ch) ? 2 : 1) * m_sizeX;
        g.h = (m_small ? kSmallHeight : kStandardHeight) * m_sizeY;
        addToLine(g);
    }
}

void Renderer::addToLine(Glyph g)
{
    if (m_x + g.w > areaRight() - areaLeft() && !m_line.isEmpty())
        printLine(m_spacing);
    if (m_line.isEmpty())
        m_lineUpsideDown = m_upsideDown;
    g.x = m_x;
    m_x += g.w + (g.image.isNull() ? m_charSpacing * g.sx : 0);
    m_line.append(g);
}

// ESC *: columns of 8 dots, each three dot rows tall, or of 24 dots; single
// density draws every column two dots wide. The image joins the line.
void Renderer::columnImage(const Command &c)
{
    const int m = c.param[0], columns = c.param[1];
    const int perColumn = m >= 32 ? 3 : 1, sx = m & 1 ? 1 : 2, sy = m >= 32 ? 1 : 3;
    const int room = areaRight() - areaLeft();
    int width = columns * sx;
    if (width <= 0)
        return;
    if (m_x + width > room && !m_line.isEmpty())
        printLine(m_spacing);
    if (m_x + width > room) {
        // What is left of the area right of the position; none when a margin
        // set after the position moved the area's end left of it.
        width = room - m_x;
        if (width <= 0) {
            m_notes << QStringLiteral("column image not printed: the position is past the end of the print area");
            return;
        }
        m_notes << QStringLiteral("column image cut off at the edge of the print area");
    }
    QImage image(width, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    const uchar *bytes = reinterpret_cast<const uchar *>(c.data.constData());
    for (int col = 0; col < columns && col * sx < width; ++col)
        for (int dot = 0; dot < 8 * perColumn; ++dot) {
            const qsizetype index = qsizetype(col) * perColumn + dot / 8;
            if (index < c.data.size() && (bytes[index] & (0x80 >> (dot % 8))))
                for (int dx = 0; dx < sx && col * sx + dx < width; ++dx)
                    for (int dy = 0; dy < sy; ++dy)
                        image.setPixel(col * sx + dx, dot * sy + dy, qRgb(0, 0, 0));
        }
    Glyph g;
    g.image = image;
    g.w = width;
    g.h = 24;
    g.ink = ink();
    addToLine(g);
}

void Renderer::drawBits(const QByteArray &data, int widthBytes, int rows, int mode, int align)
{
    if (widthBytes <= 0 || rows <= 0)
        return;
    printLineIfAny();
    const int sx = mode & 1 ? 2 : 1, sy = mode & 2 ? 2 : 1;
    // Only rows that arrived are drawn: a header that announced more leaves
    // no stretch of blank paper behind.
    const qint64 rowsThere = qMin<qint64>(rows, (data.size() + widthBytes - 1) / widthBytes);
    const int room = areaRight() - areaLeft();
    const int dots = int(qMin<qint64>(qint64(widthBytes) * 8 * sx, room));
    int savedAlign = m_align;
    m_align = align;
    const int left = areaLeft() + alignOffset(dots);
    m_align = savedAlign;
    const uchar inkGrey = uchar(ink());
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    for (qint64 row = 0; row < rowsThere; ++row) {
        if (m_capped || !ensureRows(m_y + sy))
            break;
        for (int r = 0; r < sy; ++r) {
            uchar *line = m_paper.scanLine(m_y + r);
            for (int dot = 0; dot < dots; ++dot) {
                const qint64 bit = dot / sx;
                const qint64 index = row * widthBytes + bit / 8;
                if (index < data.size() && (bytes[index] & (0x80 >> (bit % 8))))
                    line[left + dot] = inkGrey;
            }
        }
        m_y += sy;
    }
    m_drawn = true;
}

void Renderer::drawImage(const QImage &mono, int align)
{
    // `mono`: black where ink goes.
    const int room = areaRight() - areaLeft();
    int savedAlign = m_align;
    m_align = align;
    const int left = areaLeft() + alignOffset(qMin(room, mono.width()));
    m_align = savedAlign;
    const uchar inkGrey = uchar(ink());
    for (int row = 0; row < mono.height(); ++row) {
        if (m_capped || !ensureRows(m_y + 1))
            break;
        uchar *line = m_paper.scanLine(m_y);
        for (int x = 0; x < qMin(room, mono.width()); ++x)
            if (qGray(mono.pixel(x, row)) < 128)
                line[left + x] = inkGrey;
        ++m_y;
    }
    m_drawn = true;
}

void Renderer::barcode(int code, const QByteArray &wire)
{
    const int symbology = zintSymbology(code);
    if (!symbology) {
        m_notes << QStringLiteral("bar code not printed: unknown symbology");
        return;
    }
    if (wire.isEmpty()) {
        m_notes << QStringLiteral("bar code not printed: no data");
        return;
    }
    QByteArray data = wire;
    int inputMode = DATA_MODE;
    switch (code) {
    case 0x42: // UPC-E, also given as the UPC-A number it compresses
        if (data.size() == 11 || data.size() == 12) {
            data = upcaToUpce(wire);
            if (data.isEmpty()) {
                m_notes << QStringLiteral("bar code not printed: %1 has no UPC-E form").arg(QString::fromLatin1(wire));
                return;
            }
        }
        break;
    case 0x47: data = data.toUpper(); break; // start and stop letters of Codabar
    case 0x49: {
        QString error;
        int functions = 0;
        data = code128Characters(wire, &error, &functions);
        if (!error.isEmpty()) {
            m_notes << QStringLiteral("bar code not printed: %1").arg(error);
            return;
        }
        if (functions)
            m_notes << QStringLiteral("%1 function characters not drawn").arg(functions);
        break;
    }
    case 0x4A:
        // The application identifiers in parentheses or brackets, or plain
        // as receipt software sends them, read by their lengths.
        inputMode = GS1_MODE;
        if (data.startsWith('(')) {
            inputMode |= GS1PARENS_MODE;
        } else if (!data.startsWith('[')) {
            QString error;
            data = gs1Bracketed(wire, &error);
            if (data.isEmpty()) {
                m_notes << QStringLiteral("bar code not printed: %1").arg(error);
                return;
            }
        }
        break;
    }
    printLineIfAny();
    const int room = areaRight() - areaLeft();
    const int height = qMax(1, m_barHeight);
    for (int module = qMax(1, m_barWidth); module >= 1; --module) {
        zint_symbol *symbol = ZBarcode_Create();
        symbol->symbology = symbology;
        symbol->scale = module / 2.0f; // zint draws one module as two pixels at scale 1
        symbol->height = float(height) / module;
        symbol->show_hrt = m_barText ? 1 : 0;
        symbol->input_mode = inputMode;
        int result = ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char *>(data.constData()),
                                     int(data.size()));
        if (result < ZINT_ERROR)
            result = ZBarcode_Buffer(symbol, 0);
        if (result >= ZINT_ERROR) {
            m_notes << QStringLiteral("bar code not printed: %1").arg(QString::fromLatin1(symbol->errtxt));
            ZBarcode_Delete(symbol);
            return;
        }
        if (symbol->bitmap_width > room && module > 1) {
            ZBarcode_Delete(symbol);
            continue;
        }
        if (module != m_barWidth)
            m_notes << QStringLiteral("bar code narrowed to module width %1 to fit the print area").arg(module);
        QImage image(symbol->bitmap, symbol->bitmap_width, symbol->bitmap_height,
                     symbol->bitmap_width * 3, QImage::Format_RGB888);
        if (m_barText == 3)
            drawImage(withTextAbove(image.convertToFormat(QImage::Format_RGB32),
                                    QString::fromUtf8(reinterpret_cast<const char *>(symbol->text))),
                      m_align);
        else
            drawImage(image.copy(), m_align);
        ZBarcode_Delete(symbol);
        return;
    }
}

void Renderer::qr()
{
    if (m_qrData.isEmpty()) {
        m_notes << QStringLiteral("QR not printed: no data stored");
        return;
    }
    printLineIfAny();
    QRcode *code = QRcode_encodeData(int(m_qrData.size()), reinterpret_cast<const unsigned char *>(m_qrData.constData()),
                                     0, QRecLevel(m_qrLevel));
    if (!code) {
        m_notes << QStringLiteral("QR not printed: the data does not fit a QR symbol");
        return;
    }
    const int module = qBound(1, m_qrModule, 16);
    const int size = code->width * module;
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1)
                for (int dy = 0; dy < module; ++dy)
                    for (int dx = 0; dx < module; ++dx)
                        image.setPixel(x * module + dx, y * module + dy, qRgb(0, 0, 0));
    QRcode_free(code);
    if (size > areaRight() - areaLeft())
        m_notes << QStringLiteral("QR symbol wider than the print area: cut off");
    drawImage(image, m_align);
}

QStringList Renderer::apply(const Command &c)
{
    m_notes.clear();
    const int p0 = c.param[0];
    switch (c.op) {
    case Op::Text:
    case Op::DoubleByte: addText(c.text); break;
    case Op::LineFeed: printLine(m_spacing); break;
    case Op::CarriageReturn: printLineIfAny(); break;
    case Op::Tab: {
        const int room = areaRight() - areaLeft();
        for (int stop : m_tabs) {
            if (stop * kDotsPerMm > m_x && stop * kDotsPerMm < room) {
                m_x = stop * kDotsPerMm;
                break;
            }
        }
        break;
    }
    case Op::ClearBuffer:
        m_line.clear();
        m_x = 0;
        break;
    case Op::Reset: resetSettings(); break;
    case Op::FeedDots:
        if (m_line.isEmpty()) {
            if (!m_capped && ensureRows(m_y + p0))
                m_y += p0;
        } else {
            printLine(p0);
        }
        break;
    case Op::FeedLines:
        printLineIfAny();
        if (!m_capped && ensureRows(m_y + p0 * m_spacing))
            m_y += p0 * m_spacing;
        break;
    case Op::FontAttributes:
        m_italic = p0 & 0x02;
        m_bold = p0 & 0x08;
        m_reverse = p0 & 0x40;
        m_underline = p0 & 0x80 ? -1 : 0;
        m_sizeX = p0 & 0x20 ? 2 : 1;
        m_sizeY = p0 & 0x10 ? 2 : 1;
        break;
    case Op::Bold: m_bold = p0 & 1; break;
    case Op::DoubleStrike: m_doubleStrike = p0 & 1; break;
    case Op::Italic: m_italic = p0 & 1; break;
    case Op::Reverse: m_reverse = p0 & 1; break;
    case Op::UpsideDown: m_upsideDown = p0 & 1; break;
    case Op::Underline: {
        const int dots = p0 >= 0x30 ? p0 - 0x30 : p0;
        m_underline = dots == 1 || dots == 2 ? dots : 0;
        break;
    }
    case Op::CharacterSize:
        m_sizeX = ((p0 >> 4) & 7) + 1;
        m_sizeY = (p0 & 7) + 1;
        break;
    case Op::CharacterSpacing: m_charSpacing = p0; break;
    case Op::LeftMarginDots: m_left = p0; break;
    case Op::PrintAreaWidth:
        m_areaWidth = p0;
        m_rightEnd = 0;
        break;
    case Op::RelativePosition:
        if (m_x + p0 >= 0 && m_x + p0 < areaRight() - areaLeft())
            m_x += p0;
        break;
    case Op::Cut:
        printLineIfAny();
        if ((p0 == 0x41 || p0 == 0x42 || p0 == 0x61 || p0 == 0x62) && !m_capped && ensureRows(m_y + c.param[1]))
            m_y += c.param[1];
        break;
    case Op::ColumnImage: columnImage(c); break;
    case Op::GraphicsStore: {
        const int tone = c.param[3] & 0xFF, sx = c.param[2] & 0xFF, sy = (c.param[2] >> 8) & 0xFF;
        if (tone != 0x30) {
            m_notes << QStringLiteral("graphics not stored: only one-tone graphics (30) are drawn");
            break;
        }
        m_graphics.widthBytes = (p0 + 7) / 8;
        m_graphics.rows = c.param[1];
        m_graphics.data = c.data;
        m_graphicsScale = (sx == 2 ? 1 : 0) | (sy == 2 ? 2 : 0);
        if (c.announced != quint64(m_graphics.widthBytes) * quint64(m_graphics.rows))
            m_notes << QStringLiteral("graphics of %1x%2 dots need %3 bytes, %4 came")
                           .arg(p0)
                           .arg(c.param[1])
                           .arg(m_graphics.widthBytes * m_graphics.rows)
                           .arg(c.announced);
        break;
    }
    case Op::GraphicsPrint:
        if (m_graphics.rows == 0)
            m_notes << QStringLiteral("no graphics stored to print");
        drawBits(m_graphics.data, m_graphics.widthBytes, m_graphics.rows, m_graphicsScale, m_align);
        m_graphics = Bitmap();
        break;
    case Op::FontMode: m_small = p0 == 1; break;
    case Op::Align: m_align = p0 <= 2 ? p0 : m_align; break;
    case Op::LineSpacing: m_spacing = p0; break;
    case Op::LineSpacingDefault: m_spacing = 33; break;
    case Op::TabStops:
        m_tabs.clear();
        for (char s : c.data)
            m_tabs << uchar(s);
        break;
    case Op::LeftMargin: m_left = p0 * kDotsPerMm; break;
    case Op::RightMargin:
        m_rightEnd = p0 * kDotsPerMm;
        m_areaWidth = -1;
        break;
    case Op::AbsolutePosition:
        if (p0 < areaRight() - areaLeft())
            m_x = p0;
        break;
    case Op::GrayScale: m_gray = p0 <= 8 ? p0 : m_gray; break;
    case Op::Raster: drawBits(c.data, c.param[1], c.param[2], p0, m_align); break;
    case Op::StoreBitmap: {
        Bitmap b;
        b.widthBytes = c.param[2];
        b.rows = c.param[3];
        b.align = c.param[1];
        b.data = c.data;
        qsizetype stored = 0;
        for (auto it = m_bitmaps.cbegin(); it != m_bitmaps.cend(); ++it)
            if (it.key() != p0)
                stored += it->data.size();
        if (stored + b.data.size() > kMaxStoredBitmapBytes)
            m_notes << QStringLiteral("bitmap not stored: the flash holds %1 bytes of bitmaps at most")
                           .arg(kMaxStoredBitmapBytes);
        else
            m_bitmaps.insert(p0, b);
        break;
    }
    case Op::PrintStoredBitmap: {
        if (!m_bitmaps.contains(p0)) {
            m_notes << QStringLiteral("no bitmap stored under %1").arg(p0);
            break;
        }
        const Bitmap &b = m_bitmaps[p0];
        drawBits(b.data, b.widthBytes, b.rows, c.param[1], b.align <= 2 ? b.align : m_align);
        break;
    }
    case Op::BarcodeHeight: m_barHeight = p0; break;
    case Op::BarcodeWidth: m_barWidth = qBound(1, p0, 6); break;
    case Op::BarcodeText: {
        // 00 and 30 off; 03 and 33 above and below; every other value, this
        // controller's "on", below.
        const int where = p0 >= 0x30 && p0 <= 0x33 ? p0 - 0x30 : p0;
        m_barText = where == 0 ? 0 : where == 3 ? 3 : 1;
        break;
    }
    case Op::Barcode: barcode(p0, c.data); break;
    case Op::BarcodeZeroEnded: barcode(zeroEndedSymbology(p0), c.data); break;
    case Op::QrModuleSize: m_qrModule = p0; break;
    case Op::QrErrorCorrection: {
        const int level = p0 >= 0x30 ? p0 - 0x30 : p0;
        if (level >= 0 && level <= 3)
            m_qrLevel = level;
        break;
    }
    case Op::QrStore: m_qrData = c.data; break;
    case Op::QrPrint: qr(); break;
    default: break;
    }
    return m_notes;
}

QImage Renderer::finishPage(End end)
{
    printLineIfAny();
    const int side = sideStrip();
    const int top = kPageTop, tail = pageTail(end);
    QImage page(m_width + 2 * side, top + m_y + tail, QImage::Format_Grayscale8);
    page.fill(kWhite);
    if (!m_paper.isNull())
        for (int y = 0; y < m_y; ++y)
            memcpy(page.scanLine(top + y) + side, m_paper.constScanLine(y), size_t(m_width));
    QPainter p(&page);
    const int at = top + m_y + 24;
    switch (end) {
    case End::FullCut:
        p.setPen(QPen(QColor(90, 90, 90), 2, Qt::DashLine));
        p.drawLine(0, at, page.width(), at);
        break;
    case End::PartialCut:
        // A partial cut leaves a bridge of paper in the middle.
        p.setPen(QPen(QColor(90, 90, 90), 2, Qt::DotLine));
        p.drawLine(0, at, page.width() / 2 - 24, at);
        p.drawLine(page.width() / 2 + 24, at, page.width(), at);
        break;
    case End::LabelGap:
        p.fillRect(QRect(0, at - 8, page.width(), 16), QColor(215, 215, 215));
        break;
    case End::None: break;
    }
    p.end();

    m_paper = QImage();
    m_y = 0;
    m_drawn = false;
    m_capped = false;
    return page;
}

} // namespace Paper

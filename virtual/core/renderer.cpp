#include "renderer.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <qrencode.h>
#include <zint.h>

namespace Virtual {

namespace {

constexpr int kDotsPerMm = 8;
constexpr int kStandardPitch = 11, kStandardHeight = 24;
constexpr int kSmallPitch = 8, kSmallHeight = 16;
constexpr int kPaperGrowth = 1024;
// All stored bitmaps together; the locations are bytes, so at most 256 of them.
constexpr qsizetype kMaxStoredBitmapBytes = 4 * 1024 * 1024;

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
    }
    return 0;
}

} // namespace

Renderer::Renderer()
{
    resetSettings();
}

void Renderer::resetSettings()
{
    m_attributes = 0;
    m_small = false;
    m_gray = 0;
    m_align = 0;
    m_leftMm = 0;
    m_rightMm = 0;
    m_spacing = 33;
    m_tabs.clear();
    m_barHeight = 80;
    m_barWidth = 3;
    m_barText = true;
    m_qrModule = 3;
    m_qrLevel = 1;
    m_qrData.clear();
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
    return qMin(m_leftMm * kDotsPerMm, m_width - 2 * kStandardPitch);
}

int Renderer::areaRight() const
{
    const int right = m_rightMm * kDotsPerMm;
    // An end of the print area left of the margin or past the paper means the
    // whole width.
    if (m_rightMm == 0 || right > m_width || right < areaLeft() + 2 * kStandardPitch)
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
        const int height = qMin(kMaxPaperRows, ((rows / kPaperGrowth) + 1) * kPaperGrowth);
        QImage grown(m_width, height, QImage::Format_RGB32);
        grown.fill(Qt::white);
        if (!m_paper.isNull()) {
            QPainter p(&grown);
            p.drawImage(0, 0, m_paper);
        }
        m_paper = grown;
    }
    return true;
}

void Renderer::drawGlyph(QImage &image, const Glyph &g, int x, int bottom)
{
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
    const qreal sx = qMin<qreal>(1.0, cellWidth / natural) * (g.attributes & 0x20 ? 2 : 1);
    const qreal sy = g.attributes & 0x10 ? 2 : 1;
    p.translate(x, bottom - g.h);
    p.scale(sx, sy);
    const qreal drawWidth = g.w / sx;
    p.drawText(QRectF(0, 0, drawWidth, baseHeight), Qt::AlignHCenter | Qt::AlignVCenter, g.text);
    p.resetTransform();
    if (g.attributes & 0x80) {
        const int thickness = g.small ? 1 : 2;
        p.fillRect(QRect(x, bottom - thickness, g.w, thickness), reverse ? QColor(Qt::white) : inkColor);
    }
}

void Renderer::printLine(int advance)
{
    int height = 0, extent = 0;
    for (const Glyph &g : m_line) {
        height = qMax(height, g.h);
        extent = qMax(extent, g.x + g.w);
    }
    if (!m_line.isEmpty() && !m_capped && ensureRows(m_y + height)) {
        const int offset = areaLeft() + alignOffset(extent);
        for (const Glyph &g : m_line)
            drawGlyph(m_paper, g, offset + g.x, m_y + height);
        m_drawn = true;
    }
    const int step = m_line.isEmpty() ? advance : qMax(advance, height + 2);
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
    const int room = areaRight() - areaLeft();
    for (QChar ch : text) {
        Glyph g;
        g.text = ch;
        g.small = m_small;
        g.attributes = m_attributes;
        g.ink = ink();
        const int pitch = m_small ? kSmallPitch : kStandardPitch;
        g.w = pitch * (isWideChar(ch) ? 2 : 1) * (m_attributes & 0x20 ? 2 : 1);
        g.h = (m_small ? kSmallHeight : kStandardHeight) * (m_attributes & 0x10 ? 2 : 1);
        if (m_x + g.w > room && !m_line.isEmpty())
            printLine(m_spacing);
        g.x = m_x;
        m_x += g.w;
        m_line.append(g);
    }
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
    const QRgb inkRgb = qRgb(ink(), ink(), ink());
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    for (qint64 row = 0; row < rowsThere; ++row) {
        if (m_capped || !ensureRows(m_y + sy))
            break;
        for (int r = 0; r < sy; ++r) {
            QRgb *line = reinterpret_cast<QRgb *>(m_paper.scanLine(m_y + r));
            for (int dot = 0; dot < dots; ++dot) {
                const qint64 bit = dot / sx;
                const qint64 index = row * widthBytes + bit / 8;
                if (index < data.size() && (bytes[index] & (0x80 >> (bit % 8))))
                    line[left + dot] = inkRgb;
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
    const QRgb inkRgb = qRgb(ink(), ink(), ink());
    for (int row = 0; row < mono.height(); ++row) {
        if (m_capped || !ensureRows(m_y + 1))
            break;
        QRgb *line = reinterpret_cast<QRgb *>(m_paper.scanLine(m_y));
        for (int x = 0; x < qMin(room, mono.width()); ++x)
            if (qGray(mono.pixel(x, row)) < 128)
                line[left + x] = inkRgb;
        ++m_y;
    }
    m_drawn = true;
}

void Renderer::barcode(const Command &c)
{
    const int symbology = zintSymbology(c.param[0]);
    if (!symbology) {
        m_notes << QStringLiteral("bar code not printed: unknown symbology");
        return;
    }
    if (c.data.isEmpty()) {
        m_notes << QStringLiteral("bar code not printed: no data");
        return;
    }
    printLineIfAny();
    QByteArray data = c.data;
    if (c.param[0] == 0x47)
        data = data.toUpper(); // start and stop letters of Codabar
    const int room = areaRight() - areaLeft();
    const int height = qMax(1, m_barHeight);
    for (int module = qMax(1, m_barWidth); module >= 1; --module) {
        zint_symbol *symbol = ZBarcode_Create();
        symbol->symbology = symbology;
        symbol->scale = module / 2.0f; // zint draws one module as two pixels at scale 1
        symbol->height = float(height) / module;
        symbol->show_hrt = m_barText ? 1 : 0;
        symbol->input_mode = DATA_MODE;
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
    case Op::FontAttributes: m_attributes = p0; break;
    case Op::FontMode: m_small = p0 == 1; break;
    case Op::Align: m_align = p0 <= 2 ? p0 : m_align; break;
    case Op::LineSpacing: m_spacing = p0; break;
    case Op::LineSpacingDefault: m_spacing = 33; break;
    case Op::TabStops:
        m_tabs.clear();
        for (char s : c.data)
            m_tabs << uchar(s);
        break;
    case Op::LeftMargin: m_leftMm = p0; break;
    case Op::RightMargin: m_rightMm = p0; break;
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
    case Op::BarcodeText: m_barText = p0 != 0; break;
    case Op::Barcode: barcode(c); break;
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
    const int side = m_width == 576 ? 32 : 40; // the roll is 58 or 80 mm wide
    const int top = 16, tail = end == End::None ? 16 : 48;
    QImage page(m_width + 2 * side, top + m_y + tail, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    if (!m_paper.isNull())
        p.drawImage(QPoint(side, top), m_paper, QRect(0, 0, m_width, m_y));
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
    return page.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace Virtual

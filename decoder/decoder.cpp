#include "decoder.h"
#include "codetables.h"

#include <QStringDecoder>

namespace Line {

namespace {

constexpr uchar LF = 0x0A, CR = 0x0D, HT = 0x09, DLE = 0x10, ESC = 0x1B, FS = 0x1C,
                GS = 0x1D;

// A run of unknown bytes keeps at most this many of them for the listing.
constexpr int kMaxKeptUnknown = 64;

bool isPrefix(uchar b)
{
    return b == DLE || b == ESC || b == FS || b == GS;
}

// Single bytes are Latin-1, except 80, which the controller prints as the
// euro sign.
QChar singleByteChar(uchar b)
{
    return b == 0x80 ? QChar(0x20AC) : QChar(b);
}

bool isLetter(uchar b)
{
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

bool isCodeUnitHigh(uchar b)
{
    return b >= 0x01 && b <= 0x06;
}

Command make(Op op, int p0 = 0, int p1 = 0, int p2 = 0, int p3 = 0)
{
    Command c;
    c.op = op;
    c.param[0] = p0;
    c.param[1] = p1;
    c.param[2] = p2;
    c.param[3] = p3;
    return c;
}

} // namespace

bool Command::operator==(const Command &o) const
{
    return op == o.op && param[0] == o.param[0] && param[1] == o.param[1]
        && param[2] == o.param[2] && param[3] == o.param[3] && data == o.data
        && announced == o.announced && received == o.received && text == o.text
        && truncated == o.truncated;
}

void Decoder::reset()
{
    *this = Decoder();
}

QList<Command> Decoder::feed(const QByteArray &bytes)
{
    QList<Command> out;
    m_buf.append(bytes);
    while (m_pos < m_buf.size()) {
        if (m_inData) {
            feedData(out);
            continue;
        }
        m_step = streamPos();
        const qsizetype before = out.size();
        const Step step = parseOne(out);
        // Runs and data commands know their extent; a command parsed whole
        // in this step spans the bytes the step consumed.
        for (qsizetype i = before; i < out.size(); ++i) {
            if (out[i].length == 0) {
                out[i].offset = m_step;
                out[i].length = streamPos() - m_step;
            }
        }
        if (step == Step::NeedMore)
            break;
    }
    m_buf.remove(0, m_pos);
    m_base += quint64(m_pos);
    m_pos = 0;
    return out;
}

bool Decoder::awaitsQueryByte() const
{
    const uchar *p = reinterpret_cast<const uchar *>(m_buf.constData()) + m_pos;
    return !m_inData && m_buf.size() - m_pos == 2 && p[0] == DLE && (p[1] == 0x04 || p[1] == 0x05);
}

QList<Command> Decoder::settle()
{
    QList<Command> out;
    if (awaitsQueryByte()) {
        Command c = make(m_buf.at(m_pos + 1) == 0x04 ? Op::Status : Op::Firmware);
        c.offset = streamPos();
        c.length = 2;
        out.append(c);
        m_pos += 2;
        m_buf.remove(0, m_pos);
        m_base += quint64(m_pos);
        m_pos = 0;
    }
    return out;
}

QList<Command> Decoder::flush()
{
    QList<Command> out = settle();
    if (m_inData) {
        m_dataCmd.truncated = true;
        m_dataCmd.length = streamPos() - m_dataCmd.offset;
        out.append(m_dataCmd);
        m_inData = false;
        m_dataCmd = Command();
    }
    endRuns(out);
    if (m_pos < m_buf.size()) {
        Command c = make(Op::Truncated);
        c.data = m_buf.mid(m_pos);
        c.received = c.data.size();
        c.offset = streamPos();
        c.length = c.received;
        out.append(c);
    }
    m_base += quint64(m_buf.size());
    m_buf.clear();
    m_pos = 0;
    return out;
}

void Decoder::endText(QList<Command> &out)
{
    if (m_text.isEmpty())
        return;
    Command c = make(Op::Text);
    c.text = m_text;
    placeRun(c);
    out.append(c);
    m_text.clear();
}

void Decoder::endDoubleByte(QList<Command> &out)
{
    if (m_dbBytes.isEmpty())
        return;
    Command c = make(Op::DoubleByte, m_dbKind);
    c.data = m_dbBytes;
    placeRun(c);
    if (m_dbKind == 'G') {
        QStringDecoder gb("GB2312");
        c.text = gb(m_dbBytes);
    } else {
        // JIS X 0208 in its 7-bit form is EUC-JP with the top bit cleared.
        QByteArray euc = m_dbBytes;
        for (char &ch : euc)
            ch = char(uchar(ch) | 0x80);
        QStringDecoder jp("EUC-JP");
        c.text = jp(euc);
    }
    out.append(c);
    m_dbBytes.clear();
    m_dbKind = 0;
}

void Decoder::endUnknown(QList<Command> &out)
{
    if (m_unknown.received == 0)
        return;
    placeRun(m_unknown);
    out.append(m_unknown);
    m_unknown = Command();
}

// A run ends where the byte that ends it starts, before that byte is consumed.
void Decoder::placeRun(Command &c) const
{
    c.offset = m_runStart;
    c.length = streamPos() - m_runStart;
}

void Decoder::endRuns(QList<Command> &out)
{
    endText(out);
    endDoubleByte(out);
    endUnknown(out);
}

void Decoder::unknown(QList<Command> &out, int count)
{
    endText(out);
    endDoubleByte(out);
    // Adjacent unknown bytes form one listing line; the run stays open until
    // something known follows, so chunking does not split it.
    if (m_unknown.received == 0)
        m_runStart = streamPos();
    m_unknown.op = Op::Unknown;
    m_unknown.received += count;
    const qsizetype room = kMaxKeptUnknown - m_unknown.data.size();
    if (room > 0)
        m_unknown.data.append(m_buf.mid(m_pos, qMin<qsizetype>(count, room)));
    m_pos += count;
}

void Decoder::startData(const Command &head, quint64 count, QList<Command> &out)
{
    m_dataCmd = head;
    m_dataCmd.announced = count;
    m_dataCmd.offset = m_step;
    m_dataCmd.length = streamPos() - m_step; // the header; data adds to it
    if (count == 0) {
        out.append(m_dataCmd);
        m_dataCmd = Command();
        return;
    }
    m_inData = true;
    m_dataLeft = count;
}

void Decoder::feedData(QList<Command> &out)
{
    const quint64 avail = quint64(m_buf.size() - m_pos);
    const quint64 take = qMin(avail, m_dataLeft);
    const quint64 room = kMaxKeptData > quint64(m_dataCmd.data.size())
        ? kMaxKeptData - quint64(m_dataCmd.data.size())
        : 0;
    if (room > 0)
        m_dataCmd.data.append(m_buf.constData() + m_pos, qsizetype(qMin(take, room)));
    m_dataCmd.received += take;
    m_dataCmd.length += take;
    m_dataLeft -= take;
    m_pos += qsizetype(take);
    if (m_dataLeft == 0)
        finishData(out);
}

void Decoder::finishData(QList<Command> &out)
{
    out.append(m_dataCmd);
    m_dataCmd = Command();
    m_inData = false;
}

QChar Decoder::singleByte(uchar b) const
{
    return b >= 0x80 && m_codeTable ? QChar(m_codeTable[b - 0x80]) : singleByteChar(b);
}

// A framed command: `head` bytes (prefix, command, letter and the length
// field), then a body of `body` bytes. Graphics frames are read; every other
// frame is skipped whole, its body kept for the listing.
Decoder::Step Decoder::frame(QList<Command> &out, const uchar *p, qsizetype avail, int head, quint64 body)
{
    const uchar letter = p[2];
    if (letter == 'L') {
        // m fn, then for function 112: tone, scale x, scale y, colour, width, height.
        const qsizetype peek = qsizetype(qMin<quint64>(body, 10));
        if (avail < head + peek)
            return Step::NeedMore;
        const uchar *b = p + head;
        const int eightL = p[1] == 0x38 ? kEightL : 0;
        if (body >= 10 && b[1] == 112) {
            m_pos += head + 10;
            startData(make(Op::GraphicsStore, b[6] | (b[7] << 8), b[8] | (b[9] << 8), b[3] | (b[4] << 8),
                           b[2] | (b[5] << 8) | eightL),
                      body - 10, out);
            return Step::Done;
        }
        if (body >= 2 && (b[1] == 50 || b[1] == 2)) {
            m_pos += head;
            startData(make(Op::GraphicsPrint, 0, 0, 0, eightL), body, out);
            return Step::Done;
        }
    }
    m_pos += head;
    startData(make(Op::Ignored, p[0], p[1], letter), body, out);
    return Step::Done;
}

Decoder::Step Decoder::parseOne(QList<Command> &out)
{
    const uchar *p = reinterpret_cast<const uchar *>(m_buf.constData()) + m_pos;
    const qsizetype avail = m_buf.size() - m_pos;
    const uchar b = p[0];
#define NEED(n)                                                                                    \
    if (avail < (n))                                                                               \
        return Step::NeedMore;

    if (b == LF || b == CR || b == HT || isPrefix(b))
        endRuns(out);

    switch (b) {
    case LF:
        out.append(make(Op::LineFeed));
        m_pos += 1;
        return Step::Done;
    case CR:
        out.append(make(Op::CarriageReturn));
        m_pos += 1;
        return Step::Done;
    case HT:
        out.append(make(Op::Tab));
        m_pos += 1;
        return Step::Done;
    case DLE: {
        NEED(2);
        if (p[1] == 0x04 || p[1] == 0x05) {
            // The real-time forms carry a byte 01..04; with any other byte
            // after them these are this controller's own queries.
            NEED(3);
            if (p[2] >= 0x01 && p[2] <= 0x04) {
                out.append(make(p[1] == 0x04 ? Op::RealTimeStatus : Op::RealTimeRequest, p[2]));
                m_pos += 3;
                return Step::Done;
            }
        }
        Op op;
        switch (p[1]) {
        case 0x04: op = Op::Status; break;
        case 0x05: op = Op::Firmware; break;
        case 0x14: op = Op::ClearBuffer; break;
        case 0x16: op = Op::Sleep; break;
        default: unknown(out, p[1] >= 0x20 ? 2 : 1); return Step::Done;
        }
        out.append(make(op));
        m_pos += 2;
        return Step::Done;
    }
    case ESC: {
        NEED(2);
        Op op = Op::Unknown;
        int length = 0; // total length of a command with fixed parameters
        switch (p[1]) {
        case 0x40: op = Op::Reset; length = 2; break;
        case 0x5A: op = Op::PrintHead; length = 3; break;
        case 0x4A: op = Op::FeedDots; length = 3; break;
        case 0x21: op = Op::FontAttributes; length = 3; break;
        case 0x61: op = Op::Align; length = 3; break;
        case 0x33: op = Op::LineSpacing; length = 3; break;
        case 0x32: op = Op::LineSpacingDefault; length = 2; break;
        case 0x64: op = Op::FeedLines; length = 3; break;
        case 0x6C: op = Op::LeftMargin; length = 3; break;
        case 0x51: op = Op::RightMargin; length = 3; break;
        case 0x6D: op = Op::GrayScale; length = 3; break;
        case 0x4D: op = Op::FontMode; length = 3; break;
        case 0x69: op = Op::FullCut; length = 2; break;
        case 0x6E: op = Op::PartialCut; length = 2; break;
        case 0x45: op = Op::Bold; length = 3; break;
        case 0x2D: op = Op::Underline; length = 3; break;
        case 0x34: op = Op::Italic; length = 3; break;
        case 0x47: op = Op::DoubleStrike; length = 3; break;
        case 0x74: op = Op::CodeTable; length = 3; break;
        case 0x20: op = Op::CharacterSpacing; length = 3; break;
        case 0x7B: op = Op::UpsideDown; length = 3; break;
        case 0x52: // international character set
        case 0x56: // rotation by 90 degrees
        case 0x3D: // peripheral device
            op = Op::Ignored; length = 3; break;
        case 0x70: op = Op::Ignored; length = 5; break; // drawer pulse
        case 0x63: // paper sensors (3, 4) and panel buttons (5)
            NEED(3);
            if (p[2] < 0x33 || p[2] > 0x35) {
                unknown(out, 2);
                return Step::Done;
            }
            op = Op::Ignored;
            length = 4;
            break;
        case 0x5C: {
            NEED(4);
            out.append(make(Op::RelativePosition, qint16(p[2] | (p[3] << 8))));
            m_pos += 4;
            return Step::Done;
        }
        case 0x2A: {
            // Columns of 8 dots (m 0, 1: one byte each) or 24 dots (m 32, 33: three bytes).
            NEED(5);
            const uchar m = p[2];
            if (m != 0 && m != 1 && m != 32 && m != 33) {
                unknown(out, 2);
                return Step::Done;
            }
            const int columns = p[3] | (p[4] << 8);
            m_pos += 5;
            startData(make(Op::ColumnImage, m, columns), quint64(columns) * (m >= 32 ? 3 : 1), out);
            return Step::Done;
        }
        case 0x24: {
            NEED(4);
            Command c = make(Op::AbsolutePosition, p[2] | (p[3] << 8));
            out.append(c);
            m_pos += 4;
            return Step::Done;
        }
        case 0x44: {
            // Stops up to a 00; a list that never ends is cut off after the
            // most stops the controller keeps.
            Command c = make(Op::TabStops);
            qsizetype i = 2;
            while (true) {
                NEED(i + 1);
                if (p[i] == 0x00) {
                    c.data = QByteArray(reinterpret_cast<const char *>(p + 2), i - 2);
                    m_pos += i + 1;
                    break;
                }
                if (i - 2 == kMaxTabStops) {
                    c.data = QByteArray(reinterpret_cast<const char *>(p + 2), i - 2);
                    c.truncated = true;
                    m_pos += i;
                    break;
                }
                ++i;
            }
            out.append(c);
            return Step::Done;
        }
        default: unknown(out, p[1] >= 0x20 ? 2 : 1); return Step::Done;
        }
        NEED(length);
        if (op == Op::Ignored)
            out.append(make(op, ESC, p[1], p[2], length > 3 ? p[3] | (length > 4 ? p[4] << 8 : 0) : 0));
        else
            out.append(make(op, length > 2 ? p[2] : 0));
        if (op == Op::CodeTable)
            m_codeTable = codeTableUpperHalf(p[2]);
        else if (op == Op::Reset)
            m_codeTable = nullptr;
        m_pos += length;
        return Step::Done;
    }
    case FS: {
        NEED(2);
        switch (p[1]) {
        case 0x26:
            out.append(make(Op::DoubleByteOn));
            m_doubleByte = true;
            m_pos += 2;
            return Step::Done;
        case 0x2E:
            out.append(make(Op::DoubleByteOff));
            m_doubleByte = false;
            m_pos += 2;
            return Step::Done;
        case 0x70:
            NEED(4);
            out.append(make(Op::PrintStoredBitmap, p[2], p[3]));
            m_pos += 4;
            return Step::Done;
        case 0x2D: // Kanji underline
        case 0x43: // Kanji code system
        case 0x57: // Kanji quadruple size
            NEED(3);
            out.append(make(Op::Ignored, FS, p[1], p[2]));
            m_pos += 3;
            return Step::Done;
        case 0x53: // Kanji spacing
            NEED(4);
            out.append(make(Op::Ignored, FS, p[1], p[2], p[3]));
            m_pos += 4;
            return Step::Done;
        case 0x28:
            NEED(3);
            if (!isLetter(p[2])) {
                unknown(out, 2);
                return Step::Done;
            }
            NEED(5);
            return frame(out, p, avail, 5, quint64(p[3] | (p[4] << 8)));
        default: unknown(out, p[1] >= 0x20 ? 2 : 1); return Step::Done;
        }
    }
    case GS: {
        NEED(2);
        switch (p[1]) {
        case 0x28: {
            NEED(3);
            if (isLetter(p[2]) && p[2] != 0x6B) {
                NEED(5);
                return frame(out, p, avail, 5, quint64(p[3] | (p[4] << 8)));
            }
            if (p[2] != 0x6B) {
                NEED(4);
                out.append(make(Op::ComMode, p[2], p[3]));
                m_pos += 4;
                return Step::Done;
            }
            NEED(5);
            const int length = p[3] | (p[4] << 8);
            if (length < 3) {
                NEED(5 + length);
                Command c = make(Op::QrOther, length > 0 ? p[5] : 0, length > 1 ? p[6] : 0);
                c.truncated = true;
                out.append(c);
                m_pos += 5 + length;
                return Step::Done;
            }
            NEED(8);
            const uchar cn = p[5], fn = p[6], m = p[7];
            m_pos += 8;
            if (cn == 0x31 && length == 3 && fn == 0x43) {
                out.append(make(Op::QrModuleSize, m));
            } else if (cn == 0x31 && length == 3 && fn == 0x45) {
                out.append(make(Op::QrErrorCorrection, m));
            } else if (cn == 0x31 && length == 3 && fn == 0x51) {
                out.append(make(Op::QrPrint, m));
            } else if (cn == 0x31 && fn == 0x50 && m == 0x30) {
                startData(make(Op::QrStore), quint64(length - 3), out);
            } else {
                startData(make(Op::QrOther, cn, fn, m), quint64(length - 3), out);
            }
            return Step::Done;
        }
        case 0x61:
            NEED(3);
            out.append(make(Op::CallBack, p[2]));
            m_pos += 3;
            return Step::Done;
        case 0x06:
            out.append(make(Op::LabelHome));
            m_pos += 2;
            return Step::Done;
        case 0x76: {
            NEED(3);
            if (p[2] != 0x30) {
                unknown(out, 2);
                return Step::Done;
            }
            NEED(8);
            const int w = p[4] | (p[5] << 8), h = p[6] | (p[7] << 8);
            m_pos += 8;
            startData(make(Op::Raster, p[3], w, h), quint64(w) * quint64(h), out);
            return Step::Done;
        }
        case 0x68:
        case 0x77:
        case 0x48: {
            NEED(3);
            const Op op = p[1] == 0x68 ? Op::BarcodeHeight
                : p[1] == 0x77         ? Op::BarcodeWidth
                                       : Op::BarcodeText;
            out.append(make(op, p[2]));
            m_pos += 3;
            return Step::Done;
        }
        case 0x6B:
            NEED(3);
            if (p[2] <= 0x06) {
                // The older form: data up to a 00.
                for (qsizetype i = 3;; ++i) {
                    NEED(i + 1);
                    const bool end = p[i] == 0x00;
                    if (end || i - 3 == kMaxZeroEndedData) {
                        Command c = make(Op::BarcodeZeroEnded, p[2]);
                        c.data = QByteArray(reinterpret_cast<const char *>(p + 3), i - 3);
                        c.received = c.announced = quint64(c.data.size());
                        c.truncated = !end;
                        out.append(c);
                        m_pos += end ? i + 1 : i;
                        return Step::Done;
                    }
                }
            }
            NEED(4);
            m_pos += 4;
            startData(make(Op::Barcode, p[2], p[3]), p[3], out);
            return Step::Done;
        case 0x71: {
            NEED(8);
            const int w = p[4] | (p[5] << 8), h = p[6] | (p[7] << 8);
            m_pos += 8;
            startData(make(Op::StoreBitmap, p[2], p[3], w, h), quint64(w) * quint64(h), out);
            return Step::Done;
        }
        case 0x42: // reverse
        case 0x21: // character size
        case 0x66: // bar code text font
        case 0x72: // status request
        {
            NEED(3);
            const Op op = p[1] == 0x42 ? Op::Reverse : p[1] == 0x21 ? Op::CharacterSize : Op::Ignored;
            out.append(op == Op::Ignored ? make(op, GS, p[1], p[2]) : make(op, p[2]));
            m_pos += 3;
            return Step::Done;
        }
        case 0x4C:
        case 0x57:
            NEED(4);
            out.append(make(p[1] == 0x4C ? Op::LeftMarginDots : Op::PrintAreaWidth, p[2] | (p[3] << 8)));
            m_pos += 4;
            return Step::Done;
        case 0x56: {
            NEED(3);
            const uchar m = p[2];
            if (m == 0x00 || m == 0x01 || m == 0x30 || m == 0x31) {
                out.append(make(Op::Cut, m));
                m_pos += 3;
                return Step::Done;
            }
            if (m == 0x41 || m == 0x42 || m == 0x61 || m == 0x62) {
                NEED(4);
                out.append(make(Op::Cut, m, p[3]));
                m_pos += 4;
                return Step::Done;
            }
            unknown(out, 2);
            return Step::Done;
        }
        case 0x38: {
            NEED(3);
            if (p[2] != 'L') {
                unknown(out, 2);
                return Step::Done;
            }
            NEED(7);
            const quint64 body = quint64(p[3]) | (quint64(p[4]) << 8) | (quint64(p[5]) << 16) | (quint64(p[6]) << 24);
            return frame(out, p, avail, 7, body);
        }
        default: unknown(out, p[1] >= 0x20 ? 2 : 1); return Step::Done;
        }
    }
    default:
        break;
    }

    if (m_doubleByte && b >= 0x21 && b != 0x7F) {
        NEED(2);
        const uchar b2 = p[1];
        char kind = 0;
        if (b >= 0xA1 && b <= 0xFE && b2 >= 0xA1 && b2 <= 0xFE)
            kind = 'G';
        else if (b <= 0x7E && b2 >= 0x21 && b2 <= 0x7E)
            kind = 'J';
        if (!kind) {
            unknown(out, 1);
            return Step::Done;
        }
        endText(out);
        endUnknown(out);
        if (m_dbKind && m_dbKind != kind)
            endDoubleByte(out);
        if (m_dbBytes.isEmpty())
            m_runStart = streamPos();
        m_dbKind = kind;
        m_dbBytes.append(char(b));
        m_dbBytes.append(char(b2));
        m_pos += 2;
        return Step::Done;
    }

    if ((b >= 0x20 && b <= 0x7E) || b >= 0x80) {
        endDoubleByte(out);
        endUnknown(out);
        if (m_text.isEmpty())
            m_runStart = streamPos();
        m_text.append(singleByte(b));
        m_pos += 1;
        return Step::Done;
    }
    if (!m_doubleByte && (isCodeUnitHigh(b) || b == 0x1E)) {
        NEED(2);
        const uchar lo = p[1];
        if (b == 0x1E && (lo < 0xA0 || lo > 0xF9)) {
            unknown(out, 1);
            return Step::Done;
        }
        endDoubleByte(out);
        endUnknown(out);
        if (m_text.isEmpty())
            m_runStart = streamPos();
        m_text.append(QChar(ushort((b << 8) | lo)));
        m_pos += 2;
        return Step::Done;
    }
    unknown(out, 1);
    return Step::Done;
#undef NEED
}

QList<Command> decodeAll(const QByteArray &bytes)
{
    Decoder d;
    QList<Command> out = d.feed(bytes);
    out.append(d.flush());
    return out;
}

namespace {

QString hex(const QByteArray &bytes, int max = 16)
{
    QString s = QString::fromLatin1(bytes.left(max).toHex(' ').toUpper());
    if (bytes.size() > max)
        s += QStringLiteral(" ...");
    return s;
}

QString hex2(int v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

QString quoted(const QString &text, int max = 200)
{
    QString s;
    for (QChar ch : text.left(max)) {
        if (ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
            s += QLatin1Char('\\') + ch;
        else if (ch.unicode() < 0x20 || (ch.unicode() >= 0x7F && ch.unicode() < 0xA0))
            s += QStringLiteral("\\x%1").arg(hex2(ch.unicode()));
        else
            s += ch;
    }
    if (text.size() > max)
        s += QStringLiteral("...");
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString attributes(int v)
{
    if (v == 0)
        return QStringLiteral("normal");
    QStringList names;
    if (v & 0x02) names << QStringLiteral("italic");
    if (v & 0x08) names << QStringLiteral("bold");
    if (v & 0x10) names << QStringLiteral("double height");
    if (v & 0x20) names << QStringLiteral("double width");
    if (v & 0x40) names << QStringLiteral("reverse");
    if (v & 0x80) names << QStringLiteral("underline");
    if (v & 0x05) names << QStringLiteral("unused bits %1").arg(hex2(v & 0x05));
    return names.join(QStringLiteral(", "));
}

QString dataNote(const Command &c)
{
    QString s;
    if (c.truncated)
        s += QStringLiteral(", cut short: %1 of %2 bytes arrived").arg(c.received).arg(c.announced);
    if (quint64(c.data.size()) < c.received)
        s += QStringLiteral(", %1 bytes kept").arg(c.data.size());
    return s;
}

QString onOff(int n)
{
    return n & 1 ? QStringLiteral("on") : QStringLiteral("off");
}

// The meaning of a framed command by its letter (FS ( or GS ( y).
QString frameName(int prefix, int letter)
{
    if (prefix == FS)
        return letter == 'A' ? QStringLiteral("Kanji character style") : QStringLiteral("Kanji setting");
    switch (letter) {
    case 'A': return QStringLiteral("test print");
    case 'C': return QStringLiteral("user memory");
    case 'D': return QStringLiteral("real-time command switch");
    case 'E': return QStringLiteral("user setup");
    case 'H': return QStringLiteral("response request");
    case 'K': return QStringLiteral("print control");
    case 'L': return QStringLiteral("graphics");
    case 'M': return QStringLiteral("customize");
    case 'N': return QStringLiteral("character style");
    case 'P': return QStringLiteral("page mode");
    case 'Q': return QStringLiteral("drawing");
    }
    return QStringLiteral("framed command");
}

QString ignored(const Command &c)
{
    const int prefix = c.param[0], cmd = c.param[1], n = c.param[2], m = c.param[3];
    const QString name = QString::fromLatin1(prefix == ESC ? "ESC" : prefix == FS ? "FS" : "GS");
    if (cmd == 0x28 || cmd == 0x38) {
        return QStringLiteral("%1 %2 %3  %4, %5 bytes%6 (ignored)%7")
            .arg(name, QChar(cmd), QChar(n), frameName(prefix, n))
            .arg(c.announced)
            .arg(c.data.isEmpty() ? QString() : QLatin1Char(' ') + hex(c.data, 8), dataNote(c));
    }
    const QString head = QStringLiteral("%1 %2 %3").arg(name, QChar(cmd), hex2(n));
    QString what;
    switch ((prefix << 8) | cmd) {
    case (ESC << 8) | 0x52: what = QStringLiteral("international character set %1").arg(n); break;
    case (ESC << 8) | 0x56: what = QStringLiteral("rotation by 90 degrees %1").arg(onOff(n)); break;
    case (ESC << 8) | 0x3D: what = QStringLiteral("peripheral device %1").arg(n); break;
    case (ESC << 8) | 0x70:
        return QStringLiteral("ESC p %1 %2 %3  drawer pulse on pin %4, %5 ms on, %6 ms off (ignored)")
            .arg(hex2(n), hex2(m & 0xFF), hex2(m >> 8))
            .arg(n & 1 ? 5 : 2)
            .arg((m & 0xFF) * 2)
            .arg((m >> 8) * 2);
    case (ESC << 8) | 0x63: {
        static const char *const what3[] = {"paper sensors that signal paper end", "paper sensors that stop printing",
                                            "panel buttons"};
        return QStringLiteral("ESC c %1 %2  %3 %4 (ignored)")
            .arg(QChar(n), hex2(m), QString::fromLatin1(what3[n - 0x33]), hex2(m));
    }
    case (FS << 8) | 0x2D: what = QStringLiteral("Kanji underline %1").arg(n); break;
    case (FS << 8) | 0x43: what = QStringLiteral("Kanji code system %1").arg(n); break;
    case (FS << 8) | 0x57: what = QStringLiteral("Kanji quadruple size %1").arg(onOff(n)); break;
    case (FS << 8) | 0x53:
        return QStringLiteral("FS S %1 %2  Kanji spacing %3 and %4 dots (ignored)").arg(hex2(n), hex2(m)).arg(n).arg(m);
    case (GS << 8) | 0x66: what = QStringLiteral("bar code text font %1").arg(n); break;
    case (GS << 8) | 0x72: what = QStringLiteral("status request %1, not answered").arg(n); break;
    default: what = QStringLiteral("command"); break;
    }
    return QStringLiteral("%1  %2 (ignored)").arg(head, what);
}

bool partialCutByte(int m)
{
    return m == 0x01 || m == 0x31 || m == 0x42 || m == 0x62;
}

QString cutName(int m)
{
    return partialCutByte(m) ? QStringLiteral("partial cut") : QStringLiteral("full cut");
}

} // namespace

bool isPartialCut(const Command &c)
{
    return c.op == Op::Cut && partialCutByte(c.param[0]);
}

int zeroEndedSymbology(int m)
{
    return m >= 0 && m <= 6 ? 0x41 + m : 0;
}

QString barcodeName(int symbology)
{
    static const char *const names[] = {"UPC-A", "UPC-E", "EAN-13", "EAN-8", "Code 39",
                                        "ITF", "Codabar", "Code 93", "Code 128", "GS1-128"};
    if (symbology >= 0x41 && symbology <= 0x4A)
        return QString::fromLatin1(names[symbology - 0x41]);
    return QString();
}

QString headName(int index)
{
    return isWideHead(index) ? QStringLiteral("80 mm, 576 dots") : QStringLiteral("58 mm, 384 dots");
}

bool isWideHead(int index)
{
    return index == 1 || index == 5 || index == 8;
}

QString describe(const Command &c)
{
    const int p0 = c.param[0], p1 = c.param[1];
    switch (c.op) {
    case Op::Text: return QStringLiteral("text %1").arg(quoted(c.text));
    case Op::DoubleByte:
        return QStringLiteral("double-byte %1 %2")
            .arg(p0 == 'G' ? QStringLiteral("GB2312") : QStringLiteral("JIS X 0208"), quoted(c.text));
    case Op::LineFeed: return QStringLiteral("LF  print and feed one line");
    case Op::CarriageReturn: return QStringLiteral("CR  carriage return");
    case Op::Tab: return QStringLiteral("HT  next tab stop");
    case Op::Status: return QStringLiteral("DLE EOT  status query");
    case Op::Firmware: return QStringLiteral("DLE ENQ  firmware query");
    case Op::ClearBuffer: return QStringLiteral("DLE DC4  clear print buffer");
    case Op::Sleep: return QStringLiteral("DLE SYN  sleep mode");
    case Op::Reset: return QStringLiteral("ESC @  reset");
    case Op::PrintHead:
        return QStringLiteral("ESC Z %1  print head type %2 (%3)").arg(hex2(p0)).arg(p0).arg(headName(p0));
    case Op::FeedDots: return QStringLiteral("ESC J %1  print and feed %2 dots").arg(hex2(p0)).arg(p0);
    case Op::FontAttributes: return QStringLiteral("ESC ! %1  font %2").arg(hex2(p0), attributes(p0));
    case Op::Align: {
        const QString where = p0 == 0 ? QStringLiteral("left")
            : p0 == 1                 ? QStringLiteral("center")
            : p0 == 2                 ? QStringLiteral("right")
                                      : QStringLiteral("unknown (kept)");
        return QStringLiteral("ESC a %1  align %2").arg(hex2(p0), where);
    }
    case Op::LineSpacing: return QStringLiteral("ESC 3 %1  line spacing %2 dots").arg(hex2(p0)).arg(p0);
    case Op::LineSpacingDefault: return QStringLiteral("ESC 2  default line spacing");
    case Op::TabStops: {
        QStringList stops;
        for (char s : c.data)
            stops << QString::number(uchar(s));
        return QStringLiteral("ESC D  tab stops %1%2")
            .arg(stops.isEmpty() ? QStringLiteral("cleared") : stops.join(QLatin1Char(' ')) + QStringLiteral(" mm"),
                 c.truncated ? QStringLiteral(", no 00 after %1 stops").arg(kMaxTabStops) : QString());
    }
    case Op::FeedLines: return QStringLiteral("ESC d %1  print and feed %2 lines").arg(hex2(p0)).arg(p0);
    case Op::LeftMargin: return QStringLiteral("ESC l %1  left margin %2 mm").arg(hex2(p0)).arg(p0);
    case Op::RightMargin: return QStringLiteral("ESC Q %1  print area ends at %2 mm").arg(hex2(p0)).arg(p0);
    case Op::AbsolutePosition:
        return QStringLiteral("ESC $ %1 %2  absolute position %3 dots")
            .arg(hex2(p0 & 0xFF), hex2(p0 >> 8)).arg(p0);
    case Op::GrayScale: return QStringLiteral("ESC m %1  darkness %2").arg(hex2(p0)).arg(p0);
    case Op::FontMode: {
        const QString font = p0 == 1 ? QStringLiteral("small font")
            : p0 == 2                ? QStringLiteral("standard font")
                                     : QStringLiteral("font mode %1 (unknown, kept)").arg(p0);
        return QStringLiteral("ESC M %1  %2").arg(hex2(p0), font);
    }
    case Op::FullCut: return QStringLiteral("ESC i  full cut");
    case Op::PartialCut: return QStringLiteral("ESC n  partial cut");
    case Op::DoubleByteOn: return QStringLiteral("FS &  double-byte mode on");
    case Op::DoubleByteOff: return QStringLiteral("FS .  double-byte mode off");
    case Op::PrintStoredBitmap:
        return QStringLiteral("FS p %1 %2  print stored bitmap %3, mode %4").arg(hex2(p0), hex2(p1)).arg(p0).arg(p1);
    case Op::ComMode: {
        static const char *const speeds[] = {"9600", "19200", "38400", "57600", "115200", "256000", "375000"};
        static const char *const flows[] = {"no", "XON/XOFF", "hardware"};
        const QString speed = p0 <= 6 ? QString::fromLatin1(speeds[p0]) + QStringLiteral(" bps")
                                      : QStringLiteral("speed code %1 (unknown)").arg(p0);
        const QString flow = p1 <= 2 ? QString::fromLatin1(flows[p1]) + QStringLiteral(" flow control")
                                     : QStringLiteral("flow code %1 (unknown)").arg(p1);
        return QStringLiteral("GS ( %1 %2  UART %3, %4").arg(hex2(p0), hex2(p1), speed, flow);
    }
    case Op::QrModuleSize: return QStringLiteral("GS ( k  QR module size %1").arg(p0);
    case Op::QrErrorCorrection: return QStringLiteral("GS ( k  QR error correction %1").arg(hex2(p0));
    case Op::QrStore:
        return QStringLiteral("GS ( k  QR store %1 bytes %2%3")
            .arg(c.announced)
            .arg(quoted(QString::fromLatin1(c.data), 60), dataNote(c));
    case Op::QrPrint: return QStringLiteral("GS ( k  QR print");
    case Op::QrOther:
        if (c.announced == 0 && c.truncated)
            return QStringLiteral("GS ( k  QR frame too short for a function");
        return QStringLiteral("GS ( k  QR function %1 %2 %3, %4 bytes (ignored)%5")
            .arg(hex2(p0), hex2(p1), hex2(c.param[2]))
            .arg(c.announced)
            .arg(dataNote(c));
    case Op::CallBack: return QStringLiteral("GS a %1  call-back mode %2").arg(hex2(p0)).arg(p0);
    case Op::LabelHome: return QStringLiteral("GS ACK  next label");
    case Op::Raster:
        return QStringLiteral("GS v 0  raster %1x%2 (%3 bytes)%4%5")
            .arg(p1)
            .arg(c.param[2])
            .arg(c.announced)
            .arg(p0 ? QStringLiteral(", mode %1").arg(p0) : QString(), dataNote(c));
    case Op::BarcodeHeight: return QStringLiteral("GS h %1  bar code height %2 dots").arg(hex2(p0)).arg(p0);
    case Op::BarcodeWidth: return QStringLiteral("GS w %1  bar code module width %2").arg(hex2(p0)).arg(p0);
    case Op::BarcodeText: {
        // This controller's 01 is "on", below the bars; the ASCII digits 30 to 33
        // are the wider language's forms of 00 to 03.
        const int where = p0 >= 0x30 && p0 <= 0x33 ? p0 - 0x30 : p0;
        return QStringLiteral("GS H %1  bar code text %2")
            .arg(hex2(p0), where == 0 ? QStringLiteral("off")
                               : where == 3 ? QStringLiteral("on, above and below")
                                            : QStringLiteral("on"));
    }
    case Op::Barcode: {
        const QString name = barcodeName(p0);
        const QString what = name.isEmpty() ? QStringLiteral("bar code of unknown symbology %1").arg(hex2(p0))
                                            : QStringLiteral("bar code %1").arg(name);
        return QStringLiteral("GS k %1  %2 %3%4")
            .arg(p0 >= 0x41 && p0 <= 0x4A ? QString(QChar(p0)) : hex2(p0), what,
                 quoted(QString::fromLatin1(c.data)), dataNote(c));
    }
    case Op::StoreBitmap:
        return QStringLiteral("GS q  store bitmap %1, align %2, %3x%4 (%5 bytes)%6")
            .arg(p0)
            .arg(p1)
            .arg(c.param[2])
            .arg(c.param[3])
            .arg(c.announced)
            .arg(dataNote(c));
    case Op::Bold: return QStringLiteral("ESC E %1  bold %2").arg(hex2(p0), onOff(p0));
    case Op::Underline: {
        const int dots = p0 >= 0x30 ? p0 - 0x30 : p0;
        return QStringLiteral("ESC - %1  underline %2")
            .arg(hex2(p0), dots == 1 ? QStringLiteral("1 dot") : dots == 2 ? QStringLiteral("2 dots") : QStringLiteral("off"));
    }
    case Op::Italic: return QStringLiteral("ESC 4 %1  italic %2").arg(hex2(p0), onOff(p0));
    case Op::DoubleStrike: return QStringLiteral("ESC G %1  double strike %2 (drawn as bold)").arg(hex2(p0), onOff(p0));
    case Op::CodeTable: {
        const char *name = codeTableName(p0);
        return QStringLiteral("ESC t %1  code table %2 %3")
            .arg(hex2(p0))
            .arg(p0)
            .arg(name ? QStringLiteral("(%1)").arg(QLatin1String(name)) : QStringLiteral("(not drawn: Latin-1 kept)"));
    }
    case Op::CharacterSpacing: return QStringLiteral("ESC SP %1  character spacing %2 dots").arg(hex2(p0)).arg(p0);
    case Op::UpsideDown: return QStringLiteral("ESC { %1  upside down %2").arg(hex2(p0), onOff(p0));
    case Op::Reverse: return QStringLiteral("GS B %1  reverse %2").arg(hex2(p0), onOff(p0));
    case Op::CharacterSize:
        return QStringLiteral("GS ! %1  character size %2x%3").arg(hex2(p0)).arg(((p0 >> 4) & 7) + 1).arg((p0 & 7) + 1);
    case Op::LeftMarginDots:
        return QStringLiteral("GS L %1 %2  left margin %3 dots").arg(hex2(p0 & 0xFF), hex2(p0 >> 8)).arg(p0);
    case Op::PrintAreaWidth:
        return QStringLiteral("GS W %1 %2  print area width %3 dots").arg(hex2(p0 & 0xFF), hex2(p0 >> 8)).arg(p0);
    case Op::RelativePosition:
        return QStringLiteral("ESC \\ %1 %2  relative position %3%4 dots")
            .arg(hex2(p0 & 0xFF), hex2((p0 >> 8) & 0xFF), p0 >= 0 ? QStringLiteral("+") : QString())
            .arg(p0);
    case Op::Cut:
        if (p0 == 0x41 || p0 == 0x42 || p0 == 0x61 || p0 == 0x62)
            return QStringLiteral("GS V %1 %2  feed %3 dots and %4").arg(hex2(p0), hex2(p1)).arg(p1).arg(cutName(p0));
        return QStringLiteral("GS V %1  %2").arg(hex2(p0), cutName(p0));
    case Op::ColumnImage:
        return QStringLiteral("ESC * %1  column image %2-dot %3 density, %4 columns (%5 bytes)%6")
            .arg(hex2(p0))
            .arg(p0 >= 32 ? 24 : 8)
            .arg(p0 & 1 ? QStringLiteral("double") : QStringLiteral("single"))
            .arg(p1)
            .arg(c.announced)
            .arg(dataNote(c));
    case Op::GraphicsStore: {
        const int sx = c.param[2] & 0xFF, sy = (c.param[2] >> 8) & 0xFF, tone = c.param[3] & 0xFF;
        return QStringLiteral("%1  graphics %2x%3 dots stored (%4 bytes)%5%6%7")
            .arg(c.param[3] & kEightL ? QStringLiteral("GS 8 L") : QStringLiteral("GS ( L"))
            .arg(p0)
            .arg(p1)
            .arg(c.announced)
            .arg(sx != 1 || sy != 1 ? QStringLiteral(", scale %1x%2").arg(sx).arg(sy) : QString(),
                 tone != 0x30 ? QStringLiteral(", tone %1 (not drawn)").arg(hex2(tone)) : QString(), dataNote(c));
    }
    case Op::GraphicsPrint:
        return QStringLiteral("%1  print stored graphics")
            .arg(c.param[3] & kEightL ? QStringLiteral("GS 8 L") : QStringLiteral("GS ( L"));
    case Op::BarcodeZeroEnded: {
        const QString name = barcodeName(zeroEndedSymbology(p0));
        return QStringLiteral("GS k %1  bar code %2 %3 %4")
            .arg(hex2(p0), name, quoted(QString::fromLatin1(c.data)),
                 c.truncated ? QStringLiteral("(no 00 after %1 bytes)").arg(kMaxZeroEndedData)
                             : QStringLiteral("(ended by 00)"));
    }
    case Op::RealTimeStatus: return QStringLiteral("DLE EOT %1  real-time status %2").arg(hex2(p0)).arg(p0);
    case Op::RealTimeRequest: return QStringLiteral("DLE ENQ %1  real-time request %2 (ignored)").arg(hex2(p0)).arg(p0);
    case Op::Ignored: return ignored(c);
    case Op::Unknown:
        return QStringLiteral("unknown %1 byte%2 %3")
            .arg(c.received)
            .arg(c.received == 1 ? QString() : QStringLiteral("s"), hex(c.data));
    case Op::Truncated:
        return QStringLiteral("truncated %1 (command cut short)").arg(hex(c.data));
    }
    return QString();
}

} // namespace Line

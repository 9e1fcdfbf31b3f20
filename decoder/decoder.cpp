#include "decoder.h"

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

QList<Command> Decoder::flush()
{
    QList<Command> out;
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
        out.append(make(op, length > 2 ? p[2] : 0));
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
        default: unknown(out, p[1] >= 0x20 ? 2 : 1); return Step::Done;
        }
    }
    case GS: {
        NEED(2);
        switch (p[1]) {
        case 0x28: {
            NEED(3);
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
        m_text.append(singleByteChar(b));
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

} // namespace

QString barcodeName(int symbology)
{
    static const char *const names[] = {"UPC-A", "UPC-E", "EAN-13", "EAN-8", "Code 39",
                                        "ITF", "Codabar", "Code 93", "Code 128"};
    if (symbology >= 0x41 && symbology <= 0x49)
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
    case Op::BarcodeText:
        return QStringLiteral("GS H %1  bar code text %2").arg(hex2(p0), p0 ? QStringLiteral("on") : QStringLiteral("off"));
    case Op::Barcode: {
        const QString name = barcodeName(p0);
        const QString what = name.isEmpty() ? QStringLiteral("bar code of unknown symbology %1").arg(hex2(p0))
                                            : QStringLiteral("bar code %1").arg(name);
        return QStringLiteral("GS k %1  %2 %3%4")
            .arg(p0 >= 0x41 && p0 <= 0x49 ? QString(QChar(p0)) : hex2(p0), what,
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

#include "monitor/lineformat.h"

#include <QStringList>

namespace LineFormat {

namespace {

int hexValue(QChar ch)
{
    const char16_t c = ch.unicode();
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isSeparator(QChar ch)
{
    return ch.isSpace() || ch == QLatin1Char(',') || ch == QLatin1Char(';')
        || ch == QLatin1Char(':');
}

Parsed failure(const QString &error, int index)
{
    Parsed parsed;
    parsed.error = error;
    parsed.position = index + 1;
    return parsed;
}

// How a character looks inside a message: itself when printable.
QString shown(QChar ch)
{
    if (ch.isPrint())
        return QStringLiteral("'%1'").arg(ch);
    return QStringLiteral("U+%1").arg(ch.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

Parsed nothingToSend()
{
    Parsed parsed;
    parsed.error = QStringLiteral("Nothing to send");
    return parsed;
}

} // namespace

Parsed parseHex(const QString &input)
{
    Parsed parsed;
    const int size = int(input.size());
    int i = 0;
    while (i < size) {
        if (isSeparator(input.at(i))) {
            ++i;
            continue;
        }
        const int start = i;
        const bool prefixed = input.at(i) == QLatin1Char('0') && i + 1 < size
            && (input.at(i + 1) == QLatin1Char('x') || input.at(i + 1) == QLatin1Char('X'));
        if (prefixed)
            i += 2;
        QByteArray digits;
        for (; i < size && !isSeparator(input.at(i)); ++i) {
            const int value = hexValue(input.at(i));
            if (value < 0)
                return failure(QStringLiteral("Not a hex digit %1").arg(shown(input.at(i))), i);
            digits += char(value);
        }
        if (prefixed && digits.isEmpty())
            return failure(QStringLiteral("0x without digits"), start);
        if (prefixed && digits.size() == 1) {
            parsed.bytes += digits.at(0);
            continue;
        }
        if (digits.size() % 2)
            return failure(QStringLiteral("Odd number of hex digits (%1)").arg(digits.size()),
                           start);
        for (qsizetype d = 0; d < digits.size(); d += 2)
            parsed.bytes += char(digits.at(d) << 4 | digits.at(d + 1));
    }
    return parsed.bytes.isEmpty() ? nothingToSend() : parsed;
}

Parsed parseText(const QString &input)
{
    Parsed parsed;
    const int size = int(input.size());
    QString plain; // characters since the last escape, converted together
    const auto takePlain = [&] {
        parsed.bytes += plain.toUtf8();
        plain.clear();
    };
    for (int i = 0; i < size; ++i) {
        const QChar ch = input.at(i);
        if (ch != QLatin1Char('\\')) {
            plain += ch;
            continue;
        }
        takePlain();
        const int escape = i;
        if (++i >= size)
            return failure(QStringLiteral("Escape cut short"), escape);
        const char16_t c = input.at(i).unicode();
        static const char simple[] = "n\nr\rt\ta\ab\bf\fv\ve\x1b\\\\\"\"''??";
        const char *found = nullptr;
        for (const char *p = simple; *p; p += 2) {
            if (c == char16_t(*p)) {
                found = p;
                break;
            }
        }
        if (found) {
            parsed.bytes += found[1];
        } else if (c == 'x') {
            int value = 0, digits = 0;
            while (digits < 2 && i + 1 < size && hexValue(input.at(i + 1)) >= 0) {
                value = value * 16 + hexValue(input.at(++i));
                ++digits;
            }
            if (digits == 0)
                return failure(QStringLiteral("Escape \\x cut short, hex digits expected"), escape);
            parsed.bytes += char(value);
        } else if (c >= '0' && c <= '7') {
            int value = c - '0', digits = 1;
            while (digits < 3 && i + 1 < size && input.at(i + 1) >= QLatin1Char('0')
                   && input.at(i + 1) <= QLatin1Char('7')) {
                value = value * 8 + (input.at(++i).unicode() - '0');
                ++digits;
            }
            if (value > 0xFF)
                return failure(QStringLiteral("Octal escape above \\377"), escape);
            parsed.bytes += char(value);
        } else {
            return failure(QStringLiteral("Unknown escape \\%1").arg(input.at(i)), escape);
        }
    }
    takePlain();
    return parsed.bytes.isEmpty() ? nothingToSend() : parsed;
}

QString describeError(const Parsed &parsed)
{
    if (parsed.position <= 0)
        return parsed.error;
    return QStringLiteral("%1 at position %2").arg(parsed.error).arg(parsed.position);
}

QByteArray hexDump(const QByteArray &bytes)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve((bytes.size() / 16 + 1) * 79 + 9);
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    const auto offset = [&](quint64 value) {
        for (int shift = 28; shift >= 0; shift -= 4)
            out += digits[(value >> shift) & 0xF];
    };
    for (qsizetype line = 0; line < size; line += 16) {
        offset(quint64(line));
        out += "  ";
        for (qsizetype i = 0; i < 16; ++i) {
            if (line + i < size) {
                out += digits[data[line + i] >> 4];
                out += digits[data[line + i] & 0xF];
                out += ' ';
            } else {
                out += "   ";
            }
            if (i == 7)
                out += ' ';
        }
        out += " |";
        for (qsizetype i = line; i < size && i < line + 16; ++i)
            out += data[i] >= 0x20 && data[i] < 0x7F ? char(data[i]) : '.';
        out += "|\n";
    }
    offset(quint64(size));
    out += '\n';
    return out;
}

QByteArray cArray(const QByteArray &bytes, const QString &name)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray out = "static const unsigned char " + name.toLatin1() + '['
        + QByteArray::number(bytes.size()) + "] = {";
    out.reserve(out.size() + bytes.size() * 6 + bytes.size() / 12 * 5 + 8);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += i % 12 == 0 ? "\n    " : " ";
        out += "0x";
        out += digits[uchar(bytes.at(i)) >> 4];
        out += digits[uchar(bytes.at(i)) & 0xF];
        if (i + 1 < bytes.size())
            out += ',';
    }
    out += "\n};\n";
    return out;
}

QString cIdentifier(const QString &baseName)
{
    QString name;
    for (QChar ch : baseName) {
        const bool letter = (ch >= QLatin1Char('a') && ch <= QLatin1Char('z'))
            || (ch >= QLatin1Char('A') && ch <= QLatin1Char('Z')) || ch == QLatin1Char('_');
        const bool digit = ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
        name += letter || digit ? ch : QChar(u'_');
    }
    if (name.isEmpty() || name.at(0).isDigit())
        name.prepend(QStringLiteral("line_"));
    return name;
}

QString hexList(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString controlName(uchar byte)
{
    static const char *const names[] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (byte < 0x20)
        return QString::fromLatin1(names[byte]);
    if (byte == 0x7F)
        return QStringLiteral("DEL");
    return QString();
}

QString bits(uchar byte)
{
    const QString all = QStringLiteral("%1").arg(byte, 8, 2, QLatin1Char('0'));
    return all.left(4) + QLatin1Char(' ') + all.mid(4);
}

QString escaped(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const uchar b = uchar(c);
        switch (b) {
        case '\r': out += QLatin1String("\\r"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '"': out += QLatin1String("\\\""); break;
        default:
            if (b >= 0x20 && b < 0x7F)
                out += QChar(b);
            else
                out += QLatin1String("\\x")
                    + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
        }
    }
    return out;
}

} // namespace LineFormat

#ifndef TELVAR_LINEFORMAT_H
#define TELVAR_LINEFORMAT_H

// The line monitor's text conversions, kept apart from its widgets: what the
// user types on the send line turned into bytes, and captured bytes turned
// into the forms they are read or saved in.

#include <QByteArray>
#include <QString>

namespace LineFormat {

// Bytes typed on the send line, or why they could not be read. `position` is
// the 1-based character of the input where the problem starts.
struct Parsed
{
    QByteArray bytes;
    QString error;
    int position = 0;

    bool ok() const { return error.isEmpty(); }
};

// Hex in the usual spellings: "1B 40", "1b40", "0x1B,0x40", "1B:40". Pairs of
// digits make bytes; a 0x prefix may also stand before a single digit.
Parsed parseHex(const QString &input);
// Text with C escapes: \n \r \t \0 \a \b \f \v \e \\ \" \' \?, \xHH (one or
// two digits) and octal \ooo. Other characters go out as UTF-8.
Parsed parseText(const QString &input);
// The message shown under the send line, e.g. "Not a hex digit 'g' at position 3".
QString describeError(const Parsed &parsed);

// The columns of `hexdump -C`: eight-digit offset, sixteen bytes in two groups
// of eight, the printable ASCII between bars, and the total size on the last
// line. Repeated lines are written out rather than folded into "*". Both
// formats are plain ASCII and built byte by byte, as a capture may be large.
QByteArray hexDump(const QByteArray &bytes);
// A C array that compiles as it stands:
// static const unsigned char name[N] = {0x1b, 0x40, ...};
// `name` must be an identifier (see cIdentifier).
QByteArray cArray(const QByteArray &bytes, const QString &name);
// A name usable as a C identifier, made from a file's base name.
QString cIdentifier(const QString &baseName);
// "1B 40 0A", as copied to the clipboard.
QString hexList(const QByteArray &bytes);

// The ASCII name of a control byte ("NUL" ... "US", "DEL"), else empty.
QString controlName(uchar byte);
// The eight bits, high first, in two groups: "0001 0010".
QString bits(uchar byte);
// The bytes as a C string literal body: printable ASCII as itself, CR LF TAB
// as \r \n \t, quotes and backslash escaped, everything else \xHH.
QString escaped(const QByteArray &bytes);

} // namespace LineFormat

#endif

#ifndef TELVAR_PAPER_BARCODEDATA_H
#define TELVAR_PAPER_BARCODEDATA_H

// Bar code data as receipt software sends it, turned into the characters that
// the bar code library encodes.

#include <QByteArray>
#include <QString>

namespace Paper {

// Code 128 data that begins with a code set, "{A", "{B" or "{C": the pairs
// "{A", "{B", "{C" switch the code set, "{S" shifts one character, "{1" to
// "{4" are the function characters and "{{" is a brace; in code set C every
// byte is a number 0 to 99 printed as two digits. Returns the characters
// without the pairs; data without a leading code set is returned unchanged.
// On malformed data returns an empty array and says why in `error`.
// `functions` counts the function characters, which are not drawn.
QByteArray code128Characters(const QByteArray &data, QString *error, int *functions = nullptr);

// A UPC-A number (11 digits, or 12 with its check digit) compressed to UPC-E:
// the number system and six digits, followed by the given check digit if there
// was one. Empty when the number has no UPC-E form.
QByteArray upcaToUpce(const QByteArray &digits);

// GS1-128 data as receipt software sends it, the application identifiers
// without brackets ("0112345678901231" is AI 01 and its 14 digits), read as a
// printer reads it: an identifier of fixed length takes exactly its length,
// one of variable length runs up to an FNC1 ("{1", or the ASCII GS byte 1D)
// or the end. A leading FNC1 is the symbol's own and is dropped. Returns the
// data with each identifier in brackets ("[01]12345678901231"), or, when the
// data does not parse, an empty array and in `error` which identifier and
// what is wrong.
QByteArray gs1Bracketed(const QByteArray &data, QString *error);

} // namespace Paper

#endif

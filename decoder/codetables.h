#ifndef TELVAR_LINE_CODETABLES_H
#define TELVAR_LINE_CODETABLES_H

// The character code tables that receipt software selects with ESC t n. The
// lower half of every table is ASCII; only bytes 80 to FF differ.

namespace Line {

// The upper half (bytes 80 to FF) of table `n`: 0 PC437, 2 PC850, 16 WPC1252,
// 19 PC858. Read through the system's converter of that name when the build
// has one, else from the tables of this library. Null for any other table,
// for which the controller keeps its own Latin-1.
const char16_t *codeTableUpperHalf(int n);
// The same tables as this library writes them, whatever the build has.
const char16_t *ownCodeTableUpperHalf(int n);
// "PC437", "PC850", "WPC1252", "PC858"; null for a table that is not drawn.
const char *codeTableName(int n);
// The converter's name of the table ("IBM437", ...); null when not drawn.
const char *codeTableConverter(int n);

} // namespace Line

#endif

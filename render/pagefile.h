#ifndef TELVAR_PAPER_PAGEFILE_H
#define TELVAR_PAPER_PAGEFILE_H

// Pages as PNG files, 8-bit grey, pixel for pixel the page. Most of a page
// is often blank paper (a feed to the 2 m limit is 16,000 white rows), so the
// writer does not compress white rows one by one: a block of them is
// compressed once and copied into the stream, and a page costs about what its
// ink costs, not its length.

#include <QImage>
#include <QString>

class QIODevice;

namespace Paper {

// Writes `page` to `device` as PNG; false, with the reason in `error`, when
// the device takes less than all of it.
bool writePng(const QImage &page, QIODevice *device, QString *error = nullptr);

// Writes `page` to `path` as PNG. A file that could not be written whole is
// not left behind, and a file that was there before is kept as it was.
bool savePng(const QImage &page, const QString &path, QString *error = nullptr);

} // namespace Paper

#endif

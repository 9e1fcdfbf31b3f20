#include "render/pagefile.h"

#include <QIODevice>
#include <QSaveFile>

#include <zlib.h>

#include <cstring>
#include <vector>

namespace Paper {

namespace {

// White rows compressed once and copied: long runs of blank paper cost a
// copy of this block's few bytes per 64 rows.
constexpr int kBlankBlockRows = 64;
// The compressed data goes out in IDAT chunks of about this size.
constexpr qsizetype kChunkBytes = 1 << 20;

void appendBigEndian(QByteArray &out, quint32 value)
{
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

void appendChunk(QByteArray &out, const char type[4], const QByteArray &data)
{
    appendBigEndian(out, quint32(data.size()));
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
    out.append(type, 4).append(data);
    appendBigEndian(out, quint32(crc));
}

// Raw deflate (no zlib header or trailer): the caller writes those, so that
// blocks compressed apart can be put between the stream's own.
class Deflater
{
public:
    explicit Deflater(QByteArray &out) : m_out(out)
    {
        m_ok = deflateInit2(&m_z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_z); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    bool ok() const { return m_ok; }
    // Compresses `size` bytes; Z_FULL_FLUSH also ends on a byte and forgets
    // what came before, so that what follows refers to nothing before it.
    void add(const uchar *data, size_t size, int flush = Z_NO_FLUSH)
    {
        m_z.next_in = const_cast<Bytef *>(data);
        m_z.avail_in = uInt(size);
        uchar buffer[16384];
        do {
            m_z.next_out = buffer;
            m_z.avail_out = sizeof buffer;
            if (deflate(&m_z, flush) == Z_STREAM_ERROR) {
                m_ok = false;
                return;
            }
            m_out.append(reinterpret_cast<const char *>(buffer), qsizetype(sizeof buffer - m_z.avail_out));
        } while (m_z.avail_out == 0 || m_z.avail_in > 0);
    }

private:
    QByteArray &m_out;
    z_stream m_z = {};
    bool m_ok = false;
};

} // namespace

bool writePng(const QImage &image, QIODevice *device, QString *error)
{
    const QImage page = image.format() == QImage::Format_Grayscale8
        ? image
        : image.convertToFormat(QImage::Format_Grayscale8);
    const int width = page.width(), height = page.height();
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (page.isNull())
        return fail(QStringLiteral("the page is empty"));

    QByteArray head("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, quint32(width));
    appendBigEndian(header, quint32(height));
    header.append(char(8)).append(char(0)); // 8-bit grey
    header.append(char(0)).append(char(0)).append(char(0)); // deflate, filters of type 0, not interlaced
    appendChunk(head, "IHDR", header);

    // Every row is its filter byte (0: none) and its dots.
    std::vector<uchar> row(size_t(width) + 1, 0);
    std::vector<uchar> white(size_t(width) + 1, 255);
    white[0] = 0;

    QByteArray blank; // kBlankBlockRows white rows, compressed on their own
    {
        Deflater block(blank);
        for (int i = 0; i < kBlankBlockRows; ++i)
            block.add(white.data(), white.size(), i + 1 == kBlankBlockRows ? Z_SYNC_FLUSH : Z_NO_FLUSH);
        if (!block.ok())
            return fail(QStringLiteral("the compressor failed"));
    }
    uLong blankAdler = adler32(1, nullptr, 0);
    for (int i = 0; i < kBlankBlockRows; ++i)
        blankAdler = adler32(blankAdler, white.data(), uInt(white.size()));
    const z_off_t blankLength = z_off_t(white.size()) * kBlankBlockRows;

    QByteArray data("\x78\x9c", 2); // the zlib header: deflate, 32 KiB window
    uLong adler = adler32(1, nullptr, 0);
    auto flushChunks = [&](bool last) {
        if (data.size() < kChunkBytes && !last)
            return true;
        QByteArray chunk;
        appendChunk(chunk, "IDAT", data);
        data.clear();
        return device->write(chunk) == chunk.size();
    };
    if (device->write(head) != head.size())
        return fail(device->errorString());
    Deflater stream(data);
    for (int y = 0; y < height;) {
        int run = 0; // white rows from y on
        while (y + run < height && memcmp(page.constScanLine(y + run), white.data() + 1, size_t(width)) == 0)
            ++run;
        if (run >= kBlankBlockRows) {
            stream.add(nullptr, 0, Z_FULL_FLUSH);
            for (int n = 0; n + kBlankBlockRows <= run; n += kBlankBlockRows) {
                data.append(blank);
                adler = adler32_combine(adler, blankAdler, blankLength);
            }
        }
        for (int n = run >= kBlankBlockRows ? run - run % kBlankBlockRows : 0; n < run; ++n) {
            stream.add(white.data(), white.size());
            adler = adler32(adler, white.data(), uInt(white.size()));
        }
        y += run;
        if (run == 0) {
            memcpy(row.data() + 1, page.constScanLine(y), size_t(width));
            stream.add(row.data(), row.size());
            adler = adler32(adler, row.data(), uInt(row.size()));
            ++y;
        }
        if (!flushChunks(false))
            return fail(device->errorString());
    }
    stream.add(nullptr, 0, Z_FINISH);
    if (!stream.ok())
        return fail(QStringLiteral("the compressor failed"));
    appendBigEndian(data, quint32(adler));
    QByteArray end;
    appendChunk(end, "IEND", QByteArray());
    if (!flushChunks(true) || device->write(end) != end.size())
        return fail(device->errorString());
    return true;
}

bool savePng(const QImage &page, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!writePng(page, &file, error))
        return false; // the file is dropped with what was written of it
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace Paper

#include "imaging/pictureloader.h"

#include "imaging/dithering.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QLocale>

#include <sys/stat.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Why a path is not something to read a picture from. Only the file's type is
// looked at: opening a named pipe blocks until a writer comes. A regular file
// is opened once to learn the system's reason when that fails ("Permission
// denied"). A missing file and a folder are left to the reader, which refuses
// them at once with its own words.
QString notAFile(const QString &fileName)
{
    struct stat info;
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return QString();
    if (S_ISDIR(info.st_mode))
        return tr("it is a folder, not a picture file");
    if (S_ISREG(info.st_mode)) {
        QFile probe(fileName);
        return probe.open(QIODevice::ReadOnly) ? QString() : probe.errorString();
    }
    if (S_ISFIFO(info.st_mode))
        return tr("it is a named pipe, not a picture file");
    if (S_ISSOCK(info.st_mode))
        return tr("it is a socket, not a picture file");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return tr("it is a device, not a picture file");
    return QString();
}

// Qt's decoders check their allocation against the limit as if every pixel
// took at least 32 bits, whatever the file's own depth.
qint64 decodedBytes(QSize size, QImage::Format format)
{
    const int bits = qMax(32, format == QImage::Format_Invalid
                                  ? 32
                                  : QImage::toPixelFormat(format).bitsPerPixel());
    return qint64(size.width()) * size.height() * bits / 8;
}

// The size the JPEG decoder really produces when asked for `target`: it
// divides by the largest of 2, 4 or 8 that still gives at least the target,
// and scales the rest of the way as it goes.
QSize jpegDecodedSize(QSize full, QSize target)
{
    const int ratio = qMin(full.width() / target.width(), full.height() / target.height());
    const int denominator = ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
    return {(full.width() + denominator - 1) / denominator,
            (full.height() + denominator - 1) / denominator};
}

// Restores Qt's process-wide allocation limit when a read is over.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes) { QImageReader::setAllocationLimit(megabytes); }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_saved); }

private:
    const int m_saved = QImageReader::allocationLimit();
};

} // namespace

PictureRead readPicture(const QString &fileName, int fitWidth)
{
    PictureRead read;
    read.error = notAFile(fileName);
    if (!read.error.isEmpty())
        return read;

    QImageReader reader(fileName);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    int limitMiB = QImageReader::allocationLimit();
    QSize decoded = stored;
    if (stored.isValid()) {
        // The orientation is applied after decoding, so the decoder's sizes
        // are in the file's own orientation.
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        read.size = turned ? stored.transposed() : stored;
        const QSize upright = fittedSize(read.size, fitWidth > 0 ? fitWidth : read.size.width());
        if (upright != read.size && reader.supportsOption(QImageIOHandler::ScaledSize)) {
            const QSize target = turned ? upright.transposed() : upright;
            reader.setScaledSize(target);
            if (reader.format() == "jpeg")
                decoded = jpegDecodedSize(stored, target);
        }
        const qint64 need = decodedBytes(decoded, reader.imageFormat());
        if (need > maxDecodedBytes) {
            read.error = tr("the picture is %1 x %2 pixels; it needs %3 to decode, more than 1 GiB")
                             .arg(read.size.width())
                             .arg(read.size.height())
                             .arg(QLocale::c().formattedDataSize(
                                 need, 1, QLocale::DataSizeTraditionalFormat));
            return read;
        }
        // Never below Qt's own default, so nothing that loaded before is
        // refused now; 0 means no limit at all.
        if (limitMiB > 0)
            limitMiB = qMax(limitMiB, int((need + (1 << 20) - 1) >> 20) + 1);
    }

    AllocationLimit limit(limitMiB);
    read.image = reader.read();
    if (read.image.isNull()) {
        read.error = reader.errorString();
        return read;
    }
    if (!read.size.isValid())
        read.size = read.image.size();
    if (fitWidth > 0)
        read.image = fitted(read.image, fitWidth);
    return read;
}

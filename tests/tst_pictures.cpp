// The pictures as the controller reads them (MSB the leftmost dot, set bit black): Format_Mono, black at 1.

#include "demos/data/bitmaps.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage dots(const unsigned char *data, int bytesPerRow, int rows)
{
    QImage image(data, bytesPerRow * 8, rows, bytesPerRow, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    return image;
}

int ink(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelIndex(x, y);
    return count;
}

// Separate stretches of columns (or of rows) that hold ink, as {first, one past the last}.
QList<QPair<int, int>> runs(const QImage &image, bool ofColumns)
{
    QList<QPair<int, int>> found;
    for (int i = 0; i < (ofColumns ? image.width() : image.height()); ++i) {
        if (!ink(ofColumns ? image.copy(i, 0, 1, image.height()) : image.copy(0, i, image.width(), 1)))
            continue;
        if (found.isEmpty() || found.last().second < i)
            found.append({i, i});
        found.last().second = i + 1;
    }
    return found;
}

// What zbarimg reads from the picture (or its negative) with `margin` white dots around; empty for none.
QByteArray scan(const QString &zbarimg, QImage image, int margin, bool inverted = false)
{
    if (inverted)
        image.invertPixels();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("symbol.png"));
    image.copy(-margin, -margin, image.width() + 2 * margin, image.height() + 2 * margin).save(file);
    QProcess zbar;
    zbar.start(zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    zbar.waitForFinished(30000);
    return zbar.readAllStandardOutput().trimmed();
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void sizeAndInk_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QList<int>>("stated"); // size, bytes per row, rows, width
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<QList<int>>("pieces"); // at least and at most: column runs, then row bands
#define PICTURE(name, id, w, h, pieces)                                                                \
    QTest::newRow(name) << dots(id##Bitmap, id##BitmapBytesPerRow, id##BitmapRows)                    \
        << QList<int>{id##BitmapSize, id##BitmapBytesPerRow, id##BitmapRows, id##BitmapWidth}         \
        << QList<int>{w * h / 8, w / 8, h, w} << QList<int> pieces
        PICTURE("qr", qrSample, 232, 232, ({1, 1, 1, 1}));
        PICTURE("logo", sampleLogo, 384, 94, ({1, 3, 1, 1}));
        PICTURE("pictograms", windingsIcons, 256, 20, ({8, 32, 1, 1}));
        PICTURE("circled digits", windingsDigits, 72, 20, ({4, 4, 1, 1}));
        PICTURE("lettering", sampleRaster, 256, 256, ({1, 3, 4, 4}));
        PICTURE("receipt header", receiptHeader, 384, 256, ({1, 8, 5, 8}));
#undef PICTURE
    }

    // Neither blank nor solid, spread over the whole area, in as many separate pieces as it shows.
    void sizeAndInk()
    {
        QFETCH(QImage, image);
        QFETCH(QList<int>, pieces);
        QFETCH(QList<int>, stated);
        QTEST(stated, "expected");
        const double share = double(ink(image)) / (image.width() * image.height());
        QVERIFY2(share > 0.05 && share < 0.75, qPrintable(QString::number(share)));
        for (bool ofColumns : {true, false}) {
            const auto found = runs(image, ofColumns);
            const int lo = pieces[ofColumns ? 0 : 2], hi = pieces[ofColumns ? 1 : 3];
            QVERIFY2(found.size() >= lo && found.size() <= hi, qPrintable(QString::number(found.size())));
            const int extent = found.last().second - found.first().first;
            QVERIFY(extent >= (ofColumns ? image.width() : image.height()) * 8 / 10);
        }
    }

    // A blank border of 16 dots; the symbol decodes from the picture as it is, not from its negative.
    void qrCode()
    {
        const QImage qr = dots(qrSampleBitmap, qrSampleBitmapBytesPerRow, qrSampleBitmapRows);
        QCOMPARE(ink(qr.copy(16, 16, qr.width() - 32, qr.height() - 32)), ink(qr));
        const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
        QVERIFY2(!zbarimg.isEmpty(), "zbarimg (zbar-tools) is missing; test.sh installs it");
        QCOMPARE(scan(zbarimg, qr, 0), QByteArray(qrSampleText));
        QCOMPARE(scan(zbarimg, qr, 32, true), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"

// The demonstration pictures go to the print head byte for byte, so they are
// checked as the controller reads them: rows of BytesPerRow bytes, MSB the
// leftmost dot, a set bit a black dot.

#include "demos/data/bitmaps.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Dots {
    const unsigned char *data;
    int bytesPerRow;
    int rows;

    int width() const { return bytesPerRow * 8; }
    bool at(int x, int y) const { return data[y * bytesPerRow + x / 8] & (0x80 >> (x % 8)); }
};

// Separate stretches of columns (or of rows) that hold ink, as {first, one
// past the last}.
QList<QPair<int, int>> runs(const Dots &d, bool ofColumns)
{
    QList<QPair<int, int>> found;
    for (int i = 0; i < (ofColumns ? d.width() : d.rows); ++i) {
        bool inked = false;
        for (int j = 0; j < (ofColumns ? d.rows : d.width()) && !inked; ++j)
            inked = ofColumns ? d.at(i, j) : d.at(j, i);
        if (inked && !found.isEmpty() && found.last().second == i)
            found.last().second = i + 1;
        else if (inked)
            found.append({i, i + 1});
    }
    return found;
}

// The picture as a scanner would see it on paper, with extra white around.
QImage paperImage(const Dots &d, int margin, bool inverted)
{
    QImage image(d.width() + 2 * margin, d.rows + 2 * margin, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < d.rows; ++y)
        for (int x = 0; x < d.width(); ++x)
            if (d.at(x, y) != inverted)
                image.setPixel(x + margin, y + margin, qRgb(0, 0, 0));
    return image;
}

// What zbarimg reads from `image`; empty if it finds no symbol.
QByteArray scan(const QString &zbarimg, const QImage &image)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("symbol.png"));
    image.save(file);
    QProcess zbar;
    zbar.start(zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    zbar.waitForFinished(30000);
    return zbar.readAllStandardOutput().trimmed();
}

const Dots qrDots{qrSampleBitmap, qrSampleBitmapBytesPerRow, qrSampleBitmapRows};

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void sizeAndInk_data()
    {
        QTest::addColumn<const unsigned char *>("data");
        QTest::addColumn<QList<int>>("stated"); // size, bytes per row, rows, width
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("pieces"); // at least and at most: column runs, then row bands
#define PICTURE(name, id, w, h, pieces)                                                                   \
    QTest::newRow(name) << static_cast<const unsigned char *>(id##Bitmap)                                 \
                        << QList<int>{int(id##BitmapSize), id##BitmapBytesPerRow, id##BitmapRows, id##BitmapWidth} \
                        << QSize(w, h) << QList<int> pieces
        PICTURE("qr", qrSample, 232, 232, ({1, 1, 1, 1}));
        PICTURE("logo", sampleLogo, 384, 94, ({1, 3, 1, 1}));
        PICTURE("pictograms", windingsIcons, 256, 20, ({8, 32, 1, 1}));
        PICTURE("circled digits", windingsDigits, 72, 20, ({4, 4, 1, 1}));
        PICTURE("lettering", sampleRaster, 256, 256, ({1, 3, 4, 4}));
        PICTURE("receipt header", receiptHeader, 384, 256, ({1, 8, 5, 8}));
#undef PICTURE
    }

    // The stated size, and a picture in it: neither blank nor solid, spread
    // over the whole area, in as many separate pieces as it shows.
    void sizeAndInk()
    {
        QFETCH(const unsigned char *, data);
        QFETCH(QList<int>, stated);
        QFETCH(QSize, size);
        QFETCH(QList<int>, pieces);
        QCOMPARE(QSize(stated[3], stated[2]), size);
        QCOMPARE(stated[1] * 8, size.width());
        QCOMPARE(stated[0], stated[1] * stated[2]);

        const Dots d{data, stated[1], stated[2]};
        int ink = 0;
        for (int y = 0; y < d.rows; ++y)
            for (int x = 0; x < d.width(); ++x)
                ink += d.at(x, y);
        const double share = double(ink) / (d.width() * d.rows);
        QVERIFY2(share > 0.05 && share < 0.75, qPrintable(QString::number(share)));
        for (bool ofColumns : {true, false}) {
            const auto found = runs(d, ofColumns);
            const int lo = pieces[ofColumns ? 0 : 2], hi = pieces[ofColumns ? 1 : 3];
            QVERIFY2(found.size() >= lo && found.size() <= hi, qPrintable(QString::number(found.size())));
            const int extent = found.last().second - found.first().first;
            QVERIFY(extent >= (ofColumns ? d.width() : d.rows) * 8 / 10);
        }
    }

    // The border is blank, and the symbol decodes only as black on white.
    void qrCode()
    {
        for (int y = 0; y < qrSampleBitmapRows; ++y) {
            const unsigned char *row = qrSampleBitmap + y * qrSampleBitmapBytesPerRow;
            const bool edgeRow = y < 16 || y >= qrSampleBitmapRows - 16;
            for (int i = 0; i < qrSampleBitmapBytesPerRow; ++i)
                if (edgeRow || i < 2 || i >= qrSampleBitmapBytesPerRow - 2)
                    QVERIFY2(row[i] == 0, qPrintable(QStringLiteral("row %1 byte %2").arg(y).arg(i)));
        }
        const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
        if (zbarimg.isEmpty())
            QSKIP("zbarimg (zbar-tools) is not installed");
        QCOMPARE(scan(zbarimg, paperImage(qrDots, 32, false)), QByteArray(qrSampleText));
        // The picture's own border must do on paper.
        QCOMPARE(scan(zbarimg, paperImage(qrDots, 0, false)), QByteArray(qrSampleText));
        QCOMPARE(scan(zbarimg, paperImage(qrDots, 32, true)), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"

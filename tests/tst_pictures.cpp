// The demonstration pictures go to the print head byte for byte, so they are
// checked as the controller will read them: rows of BytesPerRow bytes, MSB
// the leftmost dot, a set bit a black dot.

#include "demos/data/bitmaps.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

struct Dots {
    const unsigned char *data;
    int bytesPerRow;
    int rows;

    int width() const { return bytesPerRow * 8; }
    bool at(int x, int y) const { return data[y * bytesPerRow + x / 8] & (0x80 >> (x % 8)); }
};

struct Run {
    int begin; // first index with ink
    int end;   // one past the last
    int length() const { return end - begin; }
};

std::vector<Run> runsOf(const std::vector<bool> &inked)
{
    std::vector<Run> runs;
    for (int i = 0; i < int(inked.size()); ++i) {
        if (!inked[i])
            continue;
        if (runs.empty() || runs.back().end != i)
            runs.push_back({i, i + 1});
        else
            runs.back().end = i + 1;
    }
    return runs;
}

// Bands of rows holding ink between columns x0 and x1.
std::vector<Run> rowBands(const Dots &d, int x0 = 0, int x1 = -1)
{
    if (x1 < 0)
        x1 = d.width();
    std::vector<bool> inked(d.rows, false);
    for (int y = 0; y < d.rows; ++y)
        for (int x = x0; x < x1 && !inked[y]; ++x)
            inked[y] = d.at(x, y);
    return runsOf(inked);
}

// Runs of columns holding ink between rows y0 and y1.
std::vector<Run> columnRuns(const Dots &d, int y0 = 0, int y1 = -1)
{
    if (y1 < 0)
        y1 = d.rows;
    std::vector<bool> inked(d.width(), false);
    for (int x = 0; x < d.width(); ++x)
        for (int y = y0; y < y1 && !inked[x]; ++y)
            inked[x] = d.at(x, y);
    return runsOf(inked);
}

Run extent(const std::vector<Run> &runs)
{
    return runs.empty() ? Run{0, 0} : Run{runs.front().begin, runs.back().end};
}

int inkedColumnCount(const Dots &d)
{
    int n = 0;
    for (const Run &r : columnRuns(d))
        n += r.length();
    return n;
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

const Dots qrDots{qrSampleBitmap, qrSampleBitmapBytesPerRow, qrSampleBitmapRows};

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private:
    // What zbarimg reads from `image`; empty if it finds no symbol.
    QByteArray scan(const QImage &image)
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("symbol.png"));
        if (!image.save(file))
            return "<cannot save>";
        QProcess zbar;
        zbar.start(m_zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
        if (!zbar.waitForFinished(30000))
            return "<zbarimg hung>";
        return zbar.readAllStandardOutput().trimmed();
    }

    QString m_zbarimg;

private slots:
    void initTestCase() { m_zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg")); }

    void sizesAndInk_data()
    {
        QTest::addColumn<const unsigned char *>("data");
        QTest::addColumn<int>("arraySize");
        QTest::addColumn<int>("bytesPerRow");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("widthDots");
        QTest::addColumn<int>("expectedBytes");
        QTest::addColumn<int>("expectedWidth");
        QTest::addColumn<int>("expectedRows");
        // Expected sizes are those of the raster commands that send the arrays.
        auto row = [](const char *name, const unsigned char *data, size_t size, int bytesPerRow, int rows,
                      int width, int bytes, int expectedWidth, int expectedRows) {
            QTest::newRow(name) << data << int(size) << bytesPerRow << rows << width << bytes << expectedWidth
                                << expectedRows;
        };
        row("qr", qrSampleBitmap, sizeof qrSampleBitmap, qrSampleBitmapBytesPerRow, qrSampleBitmapRows,
            qrSampleBitmapWidth, 6728, 232, 232);
        row("logo", sampleLogoBitmap, sizeof sampleLogoBitmap, sampleLogoBitmapBytesPerRow, sampleLogoBitmapRows,
            sampleLogoBitmapWidth, 4512, 384, 94);
        row("pictograms", windingsIconsBitmap, sizeof windingsIconsBitmap, windingsIconsBitmapBytesPerRow,
            windingsIconsBitmapRows, windingsIconsBitmapWidth, 640, 256, 20);
        row("digits", windingsDigitsBitmap, sizeof windingsDigitsBitmap, windingsDigitsBitmapBytesPerRow,
            windingsDigitsBitmapRows, windingsDigitsBitmapWidth, 180, 72, 20);
        row("lettering", sampleRasterBitmap, sizeof sampleRasterBitmap, sampleRasterBitmapBytesPerRow,
            sampleRasterBitmapRows, sampleRasterBitmapWidth, 8192, 256, 256);
        row("receipt header", receiptHeaderBitmap, sizeof receiptHeaderBitmap, receiptHeaderBitmapBytesPerRow,
            receiptHeaderBitmapRows, receiptHeaderBitmapWidth, 12288, 384, 256);
    }

    void sizesAndInk()
    {
        QFETCH(const unsigned char *, data);
        QFETCH(int, arraySize);
        QFETCH(int, bytesPerRow);
        QFETCH(int, rows);
        QFETCH(int, widthDots);
        QFETCH(int, expectedBytes);
        QFETCH(int, expectedWidth);
        QFETCH(int, expectedRows);
        QCOMPARE(arraySize, expectedBytes);
        QCOMPARE(bytesPerRow * rows, expectedBytes);
        QCOMPARE(bytesPerRow * 8, expectedWidth);
        QCOMPARE(widthDots, expectedWidth);
        QCOMPARE(rows, expectedRows);

        const Dots d{data, bytesPerRow, rows};
        int ink = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < d.width(); ++x)
                ink += d.at(x, y);
        const double share = double(ink) / (d.width() * rows);
        QVERIFY2(share > 0.05 && share < 0.75, qPrintable(QStringLiteral("ink share %1").arg(share)));
    }

    void qrDecodesToSampleText()
    {
        if (m_zbarimg.isEmpty())
            QSKIP("zbarimg (zbar-tools) is not installed");
        QCOMPARE(scan(paperImage(qrDots, 32, false)), QByteArray(qrSampleText));
        // Without extra margin too: the picture's own border must do on paper.
        QCOMPARE(scan(paperImage(qrDots, 0, false)), QByteArray(qrSampleText));
    }

    void qrInverseDoesNotDecode()
    {
        // Proves the decode above depends on the polarity: 1 must be black.
        if (m_zbarimg.isEmpty())
            QSKIP("zbarimg (zbar-tools) is not installed");
        QCOMPARE(scan(paperImage(qrDots, 32, true)), QByteArray());
    }

    void qrBorderIsBlank()
    {
        const int border = qrSampleBorderDots;
        const int lastRow = qrSampleBitmapRows - 1;
        for (int y = 0; y < qrSampleBitmapRows; ++y) {
            const unsigned char *row = qrSampleBitmap + y * qrSampleBitmapBytesPerRow;
            if (y < border || y > lastRow - border) {
                for (int i = 0; i < qrSampleBitmapBytesPerRow; ++i)
                    QVERIFY2(row[i] == 0, qPrintable(QStringLiteral("row %1 byte %2").arg(y).arg(i)));
            } else {
                QVERIFY2(row[0] == 0 && row[1] == 0, qPrintable(QStringLiteral("row %1 left").arg(y)));
                QVERIFY2(row[27] == 0 && row[28] == 0, qPrintable(QStringLiteral("row %1 right").arg(y)));
            }
        }
        // The three finder patterns start right at the border: their outer
        // corners are black, the dots just outside white (checked above).
        const int far = qrSampleBitmapWidth - 1 - border;
        QVERIFY(qrDots.at(border, border));
        QVERIFY(qrDots.at(far, border));
        QVERIFY(qrDots.at(border, far));
    }

    void qrModulesAreWholeCells()
    {
        // Every module is an 8 x 8 square of one colour; a skewed or
        // misscaled grid would still decode with some scanners.
        const int m = qrSampleDotsPerModule;
        for (int my = 0; my < qrSampleModules; ++my) {
            for (int mx = 0; mx < qrSampleModules; ++mx) {
                const int x0 = qrSampleBorderDots + mx * m;
                const int y0 = qrSampleBorderDots + my * m;
                const bool black = qrDots.at(x0, y0);
                for (int y = y0; y < y0 + m; ++y)
                    for (int x = x0; x < x0 + m; ++x)
                        if (qrDots.at(x, y) != black)
                            QFAIL(qPrintable(QStringLiteral("module %1,%2 is not uniform").arg(mx).arg(my)));
            }
        }
        // Timing pattern along row 6 between the finders alternates.
        for (int mx = 8; mx < qrSampleModules - 8; ++mx)
            QCOMPARE(qrDots.at(qrSampleBorderDots + mx * m, qrSampleBorderDots + 6 * m), mx % 2 == 0);
    }

    void digitsAreFourSeparateSymbols()
    {
        const Dots d{windingsDigitsBitmap, windingsDigitsBitmapBytesPerRow, windingsDigitsBitmapRows};
        const std::vector<Run> symbols = columnRuns(d);
        QCOMPARE(int(symbols.size()), 4);
        for (const Run &s : symbols) {
            QVERIFY2(s.length() >= 13 && s.length() <= 18, qPrintable(QString::number(s.length())));
            // A circle: as tall as it is wide, and hollow with a digit inside,
            // so its middle column has more than one stretch of ink.
            const Run tall = extent(rowBands(d, s.begin, s.end));
            QVERIFY(qAbs(tall.length() - s.length()) <= 2);
            std::vector<bool> middle(d.rows);
            for (int y = 0; y < d.rows; ++y)
                middle[y] = d.at((s.begin + s.end) / 2, y);
            QVERIFY(runsOf(middle).size() >= 3);
        }
    }

    void letteringHasFourLines()
    {
        const Dots d{sampleRasterBitmap, sampleRasterBitmapBytesPerRow, sampleRasterBitmapRows};
        const std::vector<Run> lines = rowBands(d);
        QCOMPARE(int(lines.size()), 4);
        // Large lettering filling the square.
        QVERIFY(lines.front().begin < 16);
        QVERIFY(lines.back().end > d.rows - 16);
        for (const Run &line : lines) {
            QVERIFY2(line.length() >= 36, qPrintable(QString::number(line.length())));
            const std::vector<Run> letters = columnRuns(d, line.begin, line.end);
            QVERIFY(extent(letters).length() > d.width() * 3 / 4);
            QVERIFY(letters.size() >= 4); // words, not blocks
        }
    }

    void logoSpansTheHeadWidth()
    {
        const Dots d{sampleLogoBitmap, sampleLogoBitmapBytesPerRow, sampleLogoBitmapRows};
        const Run across = extent(columnRuns(d));
        QVERIFY(across.begin < 16);
        QVERIFY(across.end > d.width() - 16);
        QVERIFY(inkedColumnCount(d) > d.width() * 9 / 10);
        // The emblem at the right end is nearly the full height, taller
        // than the word mark's lettering is on its own.
        const Run emblem = extent(rowBands(d, d.width() - 80, d.width()));
        QVERIFY(emblem.length() > d.rows * 8 / 10);
    }

    void receiptHeaderHasNameEmblemAndDetails()
    {
        const Dots d{receiptHeaderBitmap, receiptHeaderBitmapBytesPerRow, receiptHeaderBitmapRows};
        // Name, emblem and at least three lines of details, top to bottom.
        const std::vector<Run> bands = rowBands(d);
        QVERIFY2(bands.size() >= 5, qPrintable(QString::number(bands.size())));

        const Run name = bands[0];
        QVERIFY(name.begin < 16);
        QVERIFY(name.length() >= 16 && name.length() <= 48);
        QVERIFY(extent(columnRuns(d, name.begin, name.end)).length() > d.width() * 3 / 4);

        const Run emblem = bands[1];
        QVERIFY2(emblem.length() >= 90, qPrintable(QString::number(emblem.length())));
        const Run emblemWidth = extent(columnRuns(d, emblem.begin, emblem.end));
        QVERIFY(emblemWidth.length() >= 100 && emblemWidth.length() < d.width() * 3 / 4);

        // Address and contact lines: small text, centred under the emblem.
        for (size_t i = 2; i < bands.size(); ++i) {
            QVERIFY2(bands[i].length() >= 10 && bands[i].length() <= 30,
                     qPrintable(QString::number(bands[i].length())));
            const Run text = extent(columnRuns(d, bands[i].begin, bands[i].end));
            QVERIFY(qAbs(text.begin - (d.width() - text.end)) <= 8);
        }
    }

    void pictogramsAreSeparate()
    {
        const Dots d{windingsIconsBitmap, windingsIconsBitmapBytesPerRow, windingsIconsBitmapRows};
        const std::vector<Run> icons = columnRuns(d);
        QVERIFY2(icons.size() >= 8, qPrintable(QString::number(icons.size())));
        for (const Run &icon : icons) {
            QVERIFY(icon.length() <= 22);
            QVERIFY(extent(rowBands(d, icon.begin, icon.end)).length() >= 12);
        }
    }
};

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"

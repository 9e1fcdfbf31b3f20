// The program's window on the virtual controller's paced line: flow control
// that keeps a large raster whole through the 4 KiB buffer, and the
// controller's UART speed changed by the Controller tab's Apply. (What is lost
// when the host does not listen to XOFF is the line model's test.)
//
// The raster goes at 375000 baud (Apply, then reconnect), so that its 192,010
// bytes take 5 s of line time instead of 17 s; at the default print speed of
// 80 mm/s the head still drains slower than that line fills, so XOFF is used.

#include "controller.h"
#include "telvartest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;

namespace {

// telvar-virtual on a link in a folder of its own; its listing read from the log.
class Virt
{
public:
    explicit Virt(const QStringList &options)
    {
        link = dir.filePath(QStringLiteral("ttyTelvarLine"));
        process.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
                      QStringList{"--link", link, "--out", dir.path(), "--silence", "500", "--quiet"} + options);
    }
    ~Virt()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    bool started() const { return QFileInfo(link).isSymLink(); }
    QString listing() const
    {
        QFile log(dir.filePath(QStringLiteral("listing.log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    QString page(int n) const { return dir.filePath(QStringLiteral("job-%1.png").arg(n, 4, 10, QLatin1Char('0'))); }

    QTemporaryDir dir;
    QString link;
    QProcess process;
};

QByteArray pattern(int widthBytes, int rows)
{
    QByteArray bits(widthBytes * rows, Qt::Uninitialized);
    for (int r = 0; r < rows; ++r)
        for (int b = 0; b < widthBytes; ++b)
            bits[r * widthBytes + b] = char((r * 7 + b * 29 + (r >> 4)) & 0xff);
    return bits;
}

// Shows the window once the virtual controller is up and connects it to its
// line at 115200 baud with the given flow control.
bool connectShown(MainWindow &window, const Virt &virt, const QString &flow)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window) && connectAt(window, virt.link, "115200", flow);
}

bool printRaster(MainWindow &window, QByteArray &bits, int widthBytes, int rows)
{
    return invoke(window, "picturePrintH", Q_ARG(uchar, 0), Q_ARG(ushort, ushort(widthBytes)),
                  Q_ARG(ushort, ushort(rows)), Q_ARG(uchar *, reinterpret_cast<uchar *>(bits.data())));
}

} // namespace

class tst_LineWindow : public QObject
{
    Q_OBJECT

private slots:
    void rasterThroughTheBufferWithXonXoff()
    {
        Virt virt({});
        QTRY_VERIFY_WITH_TIMEOUT(virt.started(), 8000);
        MainWindow window;
        QVERIFY(connectShown(window, virt, "XON/XOFF"));
        applyUart(window, "radioButton375000");
        QTRY_VERIFY(virt.listing().contains("the controller's UART is now 375000 baud, XON/XOFF flow control"));
        QVERIFY(connectAt(window, virt.link, "375000", "XON/XOFF"));

        BoxCatcher catcher;
        QByteArray bits = pattern(48, 4000);
        const QByteArray picture = bits;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(printRaster(window, bits, 48, 4000));
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(virt.page(1)) || !catcher.boxes.isEmpty(), 60000);
        QVERIFY2(catcher.boxes.isEmpty(), qPrintable(catcher.boxes.value(0).text));
        qInfo("384x4000 raster at 375000 baud, 80 mm/s: page after %.1f s", timer.elapsed() / 1000.0);

        const QString listing = virt.listing();
        QVERIFY(listing.contains("GS v 0  raster 48x4000 (192000 bytes)\n"));
        QVERIFY2(listing.contains(QRegularExpression("buffer full: XOFF sent \\d+ times")), "the buffer never filled");
        QVERIFY(!listing.contains("overrun"));
        // The page is the picture: 40 dots of roll left of the print area, 16 rows above it.
        const QImage page(virt.page(1));
        QCOMPARE(page.height() - 16 - 16, 4000);
        int wrong = 0;
        for (int r = 0; r < 4000; ++r) {
            const uchar *row = page.constScanLine(16 + r);
            for (int x = 0; x < 384; ++x) {
                const bool set = uchar(picture[r * 48 + x / 8]) & (0x80 >> (x % 8));
                wrong += set != (row[40 + x] < 128);
            }
        }
        QCOMPARE(wrong, 0);
    }

    // Apply with 9600 moves the controller's UART; the program still at 115200
    // then sends garbage, listed and not printed; reconnected at 9600 it prints.
    void speedMismatchAfterApply()
    {
        Virt virt({});
        QTRY_VERIFY_WITH_TIMEOUT(virt.started(), 8000);
        MainWindow window;
        QVERIFY(connectShown(window, virt, "XON/XOFF"));
        BoxCatcher catcher;
        applyUart(window, "radioButton9600");
        QTRY_VERIFY2(virt.listing().contains("the controller's UART is now 9600 baud, XON/XOFF flow control"), qPrintable(virt.listing()));
        click(window, "pushButtonTestLabel");
        const QRegularExpression mismatch("line speed mismatch: host 115200, controller 9600: \\d+ bytes unreadable");
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(mismatch), 8000);
        QVERIFY(!virt.listing().contains("Label Print"));

        QVERIFY(connectAt(window, virt.link, "9600", "XON/XOFF"));
        click(window, "pushButtonTestLabel");
        QTRY_VERIFY_WITH_TIMEOUT(virt.listing().contains(virt.page(1)), 8000);
        QVERIFY(virt.listing().contains("text \"Label Print\""));
        QCOMPARE(virt.listing().count(mismatch), 1);
        QCOMPARE(catcher.boxes.size(), 0);
    }
};

QTEST_MAIN(tst_LineWindow)
#include "tst_linewindow.moc"

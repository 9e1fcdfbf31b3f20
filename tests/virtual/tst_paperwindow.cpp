// The --show window on a real display (the test runs under Xvfb): after the
// program's Receipt the screen shows ink on the paper above the head.

#include "controller.h"
#include "line.h"
#include "paperwindow.h"
#include "telvartest.h"

#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;
using namespace Virtual;

namespace {

// Neutral grey pixels above the head: ink on paper. The desk around the paper is bluish.
int inkOnScreen(PaperWindow &window, const char *name = "virtual-show")
{
    const QImage shot = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    if (!qEnvironmentVariableIsEmpty("TELVAR_SCREENSHOT_DIR"))
        shot.save(QDir(qEnvironmentVariable("TELVAR_SCREENSHOT_DIR")).filePath(QLatin1String(name) + ".png"));
    int ink = 0;
    const int headTop = shot.height() - PaperWindow::kStatusHeight - PaperWindow::kHeadHeight;
    for (int y = 0; y < headTop; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x)
            ink += qRed(row[x]) == qGreen(row[x]) && qGreen(row[x]) == qBlue(row[x]) && qRed(row[x]) < 160;
    }
    return ink;
}

} // namespace

class tst_PaperWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheReceiptAsItPrints()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run under Xvfb with QT_QPA_PLATFORM=xcb");
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        click(cw.window, "pushButtonReceipt");
        const QByteArray receipt = cw.pty.readUntilQuiet(300);
        QVERIFY(receipt.size() > 10000);

        QTemporaryDir dir;
        Controller controller(dir.path());
        LineOptions unbounded;
        unbounded.bufferBytes = 0;
        LineModel line(unbounded);
        line.print = [&controller](const QByteArray &bytes) { return controller.receive(bytes); };
        line.rowsPrinted = [&controller] { return controller.rowsPrinted(); };
        line.setHost(HostLine{115200, 8, false, 1, true, false}, 0);
        PaperWindow paper(controller, [&line] { return line.status(); });
        paper.show();
        QVERIFY(QTest::qWaitForWindowExposed(&paper));
        QTest::qWait(200);
        QCOMPARE(inkOnScreen(paper), 0);

        // The receipt's logo and its first lines are printed within two seconds.
        const qsizetype split = receipt.indexOf("Date: ");
        QVERIFY(split > 0);
        line.receive(receipt.left(split), 0);
        line.advance(2000000);
        QTRY_VERIFY(inkOnScreen(paper, "virtual-show-logo") > 2000);
        const int part = inkOnScreen(paper, "virtual-show-logo");
        // The rest comes, and the page ends with a cut above the paper being printed.
        line.receive(receipt.mid(split) + QByteArray::fromHex("1b69") + "next\n", 2000000);
        line.advance(60000000);
        // The logo has scrolled up out of the window: the ink is another.
        QTRY_VERIFY(inkOnScreen(paper) > 2000 && inkOnScreen(paper) != part);
        QCOMPARE(controller.pagesWritten().size(), 1);
    }
};

QTEST_MAIN(tst_PaperWindow)
#include "tst_paperwindow.moc"

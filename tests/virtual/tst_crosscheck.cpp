// The program's scripts, captured from the real window, read back by the virtual
// controller, which shares no code with the program's encoder.

#include "controller.h"
#include "demos/data/bitmaps.h"
#include "telvartest.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace TelvarTest;
using namespace Virtual;

namespace {

int inkInRows(const QImage &page, int from, int to)
{
    int dots = 0;
    for (int y = from; y < qMin(to, page.height()); ++y)
        for (int x = 0; x < page.width(); ++x)
            dots += page.constScanLine(y)[x] < 200;
    return dots;
}

} // namespace

class tst_Crosscheck : public QObject
{
    Q_OBJECT

private slots:
    void scripts_data();
    void scripts();
    void theProgramTalksToTheVirtualController();
};

void tst_Crosscheck::scripts_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QStringList>("lines"); // in the listing, in this order
    QTest::addColumn<int>("count");         // commands in all, with the last line last; 0: any
    QTest::addColumn<QString>("scanned");   // what zbar reads on the page
    QTest::addColumn<QStringList>("options");
    for (const char *name :
         {"pushButtonReset", "pushButtonClear", "pushButtonVersion", "pushButtonStatus", "pushButtonPowerManagment",
          "pushButtonTestLabel", "pushButtonAttributes", "pushButtonDensity", "pushButtonFormatting",
          "pushButtonTabs", "pushButtonYesText", "pushButtonNoText", "pushButtonFullCut", "pushButtonPartialCut",
          "pushButtonFTP638", "pushButtonJX2R39BQ"})
        QTest::newRow(name) << QByteArray(name) << QStringList() << 0 << QString() << QStringList();
    auto row = [](const char *button, const QStringList &lines, int count, const QString &scanned = {},
                  const QStringList &options = {}) {
        QTest::newRow(button) << QByteArray(button) << lines << count << scanned << options;
    };
    // The receipt: 28 steps in 54 commands (13 steps are a font, a text and a line feed).
    const QString credit = QStringLiteral("text \"Credit Card         $29.23\"");
    row("pushButtonReceipt", {"ESC ! 90  font double height, underline\n" + credit, "ESC d 02  print and feed 2 lines"}, 54);
    row("pushButtonReceiptFullCut", {"ESC ! 10  font double height\n" + credit, "ESC i  full cut"}, 55);
    row("pushButtonReceiptPartialCut", {"ESC ! 10  font double height\n" + credit, "ESC n  partial cut"}, 55);
    row("pushButtonFont", {"GS v 0  raster 48x94 (4512 bytes)", "GS v 0  raster 32x20 (640 bytes)",
                           "GS v 0  raster 9x20 (180 bytes)", "GS v 0  raster 32x256 (8192 bytes)"},
        0, "UPC-A:012345678905", {"-Supca.enable"});
    row("pushButtonBitmap", {"ESC @  reset", "GS v 0  raster 29x232 (6728 bytes)"}, 2,
        QStringLiteral("QR-Code:") + QLatin1String(qrSampleText));
    row("pushButtonLanguage", {"text \"īĵćĦŶĈęĎŽŎŜſőŢĲŊů\"", "text \"ạệỳẫớứựỖủửỏờẼỹỊẵ\"", "double-byte GB2312 \"飞流直下三千尺，疑是银河落九天\"",
                               "double-byte JIS X 0208 \"大原や蝶の出て舞う朧月\"", "text \"πρςστυφχψωϊϋόύώ\"", "text \"،؛؟\""}, 0);
    row("pushButtonBarcodeUPCA", {"GS k A  bar code UPC-A \"01234567890\""}, 0, "UPC-A:012345678905", {"-Supca.enable"});
    row("pushButtonBarcodeUPCE", {"GS k B  bar code UPC-E \"012345\""}, 0, "UPC-E:00123457", {"-Supce.enable"});
    row("pushButtonBarcodeEAN13", {"GS k C  bar code EAN-13 \"012345678901\""}, 0, "EAN-13:0123456789012");
    row("pushButtonBarcodeEAN8", {"GS k D  bar code EAN-8 \"0123456\""}, 0, "EAN-8:01234565");
    row("pushButtonBarcodeCODE39", {"GS k E  bar code Code 39 \"123456RC302\""}, 0, "CODE-39:123456RC302");
    row("pushButtonBarcodeITF25", {"GS k F  bar code ITF \"12345678\""}, 0, "I2/5:12345678");
    row("pushButtonBarcodeCODABAR", {"GS k G  bar code Codabar \"a123456a\""}, 0, "Codabar:A123456A");
    row("pushButtonBarcodeCODE93", {"GS k H  bar code Code 93 \"12345678\""}, 0, "CODE-93:12345678");
    row("pushButtonBarcodeCODE128A", {"GS k I  bar code Code 128 \"12345678\""}, 0, "CODE-128:12345678");
}

// Every script decodes without a byte the decoder cannot place or a command
// left unfinished, says what it means to and prints without a complaint.
void tst_Crosscheck::scripts()
{
    QFETCH(QByteArray, button);
    QFETCH(QStringList, lines);
    QFETCH(int, count);
    QFETCH(QString, scanned);
    QFETCH(QStringList, options);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    const QByteArray wire = cw.pty.readUntilQuiet(300);
    QVERIFY2(!wire.isEmpty(), "the script sends nothing");
    const QList<Command> commands = decodeAll(wire);
    QStringList listing;
    for (const Command &c : commands)
        listing << describe(c);
    QCOMPARE(listing.filter(QRegularExpression(QStringLiteral("^(unknown|truncated)|cut short"))), QStringList());
    const QString all = '\n' + listing.join('\n') + '\n';
    qsizetype at = 0;
    for (const QString &line : lines)
        QVERIFY2((at = all.indexOf('\n' + line + '\n', at)) >= 0, qPrintable(line));
    if (count)
        QVERIFY(listing.size() == count && all.endsWith('\n' + lines.last() + '\n'));

    QTemporaryDir dir;
    Controller controller(dir.path());
    QStringList notes;
    controller.onListing = [&notes](const QString &line) { notes << line; };
    controller.receive(wire);
    controller.silence();
    QCOMPARE(notes.filter(QStringLiteral("not printed")), QStringList());
    if (controller.pagesWritten().isEmpty())
        return;
    const QImage page = controller.lastPage().convertToFormat(QImage::Format_Grayscale8);
    // A picture that opens the page fills its first rows, dot for dot.
    const auto first = std::find_if(commands.begin(), commands.end(), [](const Command &c) {
        return c.op != Op::Reset && c.op != Op::Align && c.op != Op::GrayScale;
    });
    const int top = 16 + (first != commands.end() && first->op == Op::Raster ? first->param[2] : 0);
    int dots = 0;
    for (char b : top > 16 ? first->data : QByteArray())
        dots += qPopulationCount(uchar(b));
    QCOMPARE(inkInRows(page, 16, top), dots);
    if (all.contains(QLatin1String("\ntext "))) // and the text comes below
        QVERIFY(inkInRows(page, top, page.height()) > 500);
    if (!scanned.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), QStringList{"-q"} + options + controller.pagesWritten());
        QVERIFY(zbar.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), scanned);
    }
}

// End to end, as run.sh runs them: telvar-virtual on its link, the window
// connected to that path through the settings dialog's "Custom" entry.
void tst_Crosscheck::theProgramTalksToTheVirtualController()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTelvarTest"));
    QProcess virt;
    virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE),
               {"--link", link, "--out", dir.filePath("printout"), "--silence", "300", "--quiet"});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 8000);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(connectTo(window, link));
    click(window, "pushButtonVersion");
    QTRY_COMPARE(logText(window).toUtf8(), firmwareAnswer().trimmed() + '\n');
    click(window, "pushButtonTestLabel");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(dir.filePath("printout/job-0001.png")), 8000);
    virt.terminate();
    QVERIFY(virt.waitForFinished(5000));
}

QTEST_MAIN(tst_Crosscheck)
#include "tst_crosscheck.moc"

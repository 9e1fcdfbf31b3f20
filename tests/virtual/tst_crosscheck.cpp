// The program's scripts, captured from the real window, read back by the virtual
// controller, which shares no code with the program's encoder.

#include "controller.h"
#include "demos/data/bitmaps.h"
#include "telvartest.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace TelvarTest;
using namespace Virtual;

class tst_Crosscheck : public QObject
{
    Q_OBJECT

private slots:
    void scripts_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QStringList>("lines"); // in the listing, in this order
        QTest::addColumn<int>("count");         // commands in all, with the last line last; 0: any
        QTest::addColumn<QStringList>("zbar");  // what zbarimg reads on the page, then its options
        auto row = [](const QByteArray &button, const QStringList &lines, int count,
                      const QStringList &scan = {}) {
            QTest::newRow(button.constData()) << button << lines << count << scan;
        };
        // The receipt: 28 steps in 54 commands (13 steps are a font, a text and a line feed).
        const QString credit = QStringLiteral("text \"Credit Card         $29.23\"");
        row("pushButtonReceipt", {"ESC ! 90  font double height, underline\n" + credit,
                                  "ESC d 02  print and feed 2 lines"}, 54);
        row("pushButtonReceiptFullCut", {"ESC ! 10  font double height\n" + credit, "ESC i  full cut"}, 55);
        row("pushButtonReceiptPartialCut", {"ESC ! 10  font double height\n" + credit, "ESC n  partial cut"},
            55);
        row("pushButtonFont", {"GS v 0  raster 48x94 (4512 bytes)", "GS v 0  raster 32x20 (640 bytes)",
                               "GS v 0  raster 9x20 (180 bytes)", "GS v 0  raster 32x256 (8192 bytes)"},
            0, {"UPC-A:012345678905", "-Supca.enable"});
        row("pushButtonBitmap", {"ESC @  reset", "GS v 0  raster 29x232 (6728 bytes)"}, 2,
            {"QR-Code:" + QLatin1String(qrSampleText)});
        // Scripts checked for a clean listing, bar codes also as zbarimg reads them (the listing
        // of each symbology is the decoder's test).
        for (const char *entry :
             {"Reset", "Clear", "Version", "Status", "PowerManagment", "TestLabel", "Attributes", "Density",
              "Formatting", "Tabs", "YesText", "NoText", "FullCut", "PartialCut", "FTP638", "JX2R39BQ",
              "Language", "BarcodeUPCA UPC-A:012345678905 -Supca.enable",
              "BarcodeUPCE UPC-E:00123457 -Supce.enable", "BarcodeEAN13 EAN-13:0123456789012",
              "BarcodeEAN8 EAN-8:01234565", "BarcodeITF25 I2/5:12345678", "BarcodeCODE39 CODE-39:123456RC302",
              "BarcodeCODABAR Codabar:A123456A", "BarcodeCODE93 CODE-93:12345678",
              "BarcodeCODE128A CODE-128:12345678"}) {
            const QStringList words = QString::fromLatin1(entry).split(' ');
            row("pushButton" + words.first().toLatin1(), {}, 0, words.mid(1));
        }
    }

    // Every script decodes without a byte the decoder cannot place or a command left
    // unfinished, says what it means to and prints without a complaint.
    void scripts()
    {
        QFETCH(QByteArray, button);
        QFETCH(QStringList, lines);
        QFETCH(int, count);
        QFETCH(QStringList, zbar);
        ConnectedWindow cw;
        QVERIFY(cw.connected);
        click(cw.window, button.constData());
        const QByteArray wire = cw.pty.readUntilQuiet(300);
        QVERIFY2(!wire.isEmpty(), "the script sends nothing");
        const QList<Command> commands = decodeAll(wire);
        QStringList listing;
        for (const Command &c : commands)
            listing << describe(c);
        const QRegularExpression unclean(QStringLiteral("^(unknown|truncated)|cut short"));
        QCOMPARE(listing.filter(unclean), QStringList());
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
        if (!zbar.isEmpty()) {
            QProcess scan;
            scan.start(QStringLiteral("zbarimg"), QStringList{"-q"} + zbar.mid(1) + controller.pagesWritten());
            QVERIFY(scan.waitForFinished(20000));
            QCOMPARE(QString::fromUtf8(scan.readAllStandardOutput()).trimmed(), zbar.first());
        }
    }
};

QTEST_MAIN(tst_Crosscheck)
#include "tst_crosscheck.moc"

#include "telvartest.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

// One run of the Language button; the printout is checked piece by piece, in order and byte for
// byte, and the log pane as a whole.
class tst_Language : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void stream_data();
    void stream();
    void wholeStream();
    void log();

private:
    QByteArray m_stream;
    QString m_log;
};

static QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// Space-separated codes and "first-last" runs of them, each code as two bytes, high byte first;
// a "|" ends a line.
static QByteArray codes(const char *runs)
{
    QByteArray out;
    for (const QByteArray &item : QByteArray(runs).split(' ')) {
        if (item == "|") {
            out += '\n';
            continue;
        }
        const QList<QByteArray> ends = item.split('-');
        for (uint code = ends.first().toUInt(nullptr, 16); code <= ends.last().toUInt(nullptr, 16); ++code)
            out += hex(QByteArray::number(code, 16).rightJustified(4, '0'));
    }
    return out;
}

void tst_Language::initTestCase()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    click(cw.window, "pushButtonLanguage");
    m_stream = cw.pty.readUntilQuiet();
    m_log = logText(cw.window);
}

void tst_Language::stream_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<QByteArray>("part");
    int at = 0;
    const auto part = [&at](const char *tag, const QByteArray &bytes) {
        QTest::newRow(tag) << at << bytes;
        at += bytes.size();
    };
    const QByteArray latin = hex("41424344616263643132333425262f2129282e2d5f3b802440a3a5a9ae") + "\n\n";
    const QByteArray on = hex("1c26"), off = hex("1c2e");

    part("basic Latin", hex("1b400a") + "[00h-7Fh]\n" + latin);
    part("Latin-1", "[A0h-FFh]\n" + hex("c6c3c0dcfca5b5ded8f8d1f180c6d4dff0ebe7faefd9ffdc") + "\n\n");
    // Control-valued low bytes (01 08, 01 0E) go out as they are.
    part("Latin Extended A", "[100h-17Fh]\n" + hex("012b 0135 0107 0126 0176 0108 0119 010e 017d "
                                                  "014e 015c 017f 0151 0162 0132 014a 016f") + "\n\n");
    part("Latin Extended B", "[1A0h-1CFh 1F0h-1FFh 210h-21Fh]\n" + hex("01a0 01ad 01bb 01ce 01cf "
         "01f1 01f9 01ff 0210 0216 0219 021c 021f 01be 01fc 021b") + "\n\n");
    part("Latin Extended Additional", "[1EA0h-1EF9h]\n" + hex("1ea1 1ec7 1ef3 1eab 1edb 1ee9 1ef1 "
         "1ed6 1ee7 1eed 1ecf 1edd 1ebc 1ef9 1eca 1eb5") + "\n\n");
    // The small-font heading goes out before its mode command, the standard one after.
    part("small font", "[Setting Small Font]\n" + hex("1b4d01") + latin);
    part("standard font", hex("1b4d02") + "[Setting Standard Font]\n" + latin);
    part("Chinese", "[DoubleByte - Chinese]\n" + on
         + hex("b7c9c1f7d6b1cfc2c8fdc7a7b3dfa3acd2c9cac7d2f8bad3c2e4bec5ccec") + "\n\n" + off);
    part("hiragana", "[DoubleByte - Hiragana]\n" + on
         + codes("2421-242f | 2430-243f | 2440-244f | 2450-245f | 2460-246f | 2470-2473 |") + '\n' + off);
    // Cells 2F, 3F, 4F, 5F and 6F are left out; the last feeds come after the cancel.
    part("katakana", "[DoubleByte - Katakana]\n" + on
         + codes("2521-252e | 2530-253e | 2540-254e | 2550-255e | 2560-256e | 2570-2576") + off + "\n\n");
    part("Japanese verse", on + hex("4267383624644433244e3d50244649712426 5b30376e") + off + "\n\n");
    part("Latin", "[Latin Language]\n" + latin);
    part("Greek", "[Greek Language]\n[Firmware 04/2020 or newer]\n[0374h-0375h 037Ah-037Eh]\n"
                  "[0384h-038Ah 038Ch]\n[038Eh-03A1h 03A3h-03CEh]\n\n"
         + hex("0374 0375 037a 037b 037c 037d 037e") + codes("| 0384-038a 038c 038e-038f | 0390-039f "
         "| 03a0-03a1 03a3-03af | 03b0-03bf | 03c0-03ce |") + '\n');
    // U+061B goes out as 06 1B although 1B is ESC.
    part("Arabic", "[Arabic Language]\n[Firmware 04/2020 or newer]\n[060Ch 061Bh 061F]\n[0621h-063Ah]\n"
                   "[0640h-0655h]\n[0660h-066Fh]\n[0671h-06EDh]\n[06F0h-06FEh]\n\n"
         + hex("060c 061b 061f") + codes("| 0621-062f | 0630-063a | 0640-064f | 0650-0658 | 0660-066f "
         "| 0671-067f | 0680-068f | 0690-069f | 06a0-06af | 06b0-06bf | 06c0-06cf | 06d0-06df "
         "| 06e0-06ef | 06f0-06ff |") + '\n');
}

void tst_Language::stream()
{
    QFETCH(int, at);
    QFETCH(QByteArray, part);
    QCOMPARE(m_stream.mid(at, part.size()).toHex(' '), part.toHex(' '));
}

// Nothing after the last part; no 00 byte, at which printStr would stop.
void tst_Language::wholeStream()
{
    QCOMPARE(m_stream.size(), 1749);
    QVERIFY(!m_stream.contains('\0'));
}

void tst_Language::log()
{
    const QString explanation = QStringLiteral(
        "The Controller works with Unicode however basic Latin and Latin-1 can be send as "
        "single byte character\n"
        " all other need to be sent as Unicode. Other DoubleByte languages are also supported "
        "e.g. Chinese, Japanese.\n"
        "Here is the range:\n"
        "Basic Latin and Latin-1 in range of 0x00h-0xFFh can be send as single byte\n"
        "Unicode:\n"
        "(unicode >=  0x0020UL && unicode <= 0x007FUL) ||  basic latin\n"
        "(unicode >=  0x00A0UL && unicode <= 0x017FUL) ||  part of latin1 & latin extended A\n"
        "(unicode >=  0x01A0UL && unicode <= 0x01CFUL) ||  part of Latin extended B\n"
        "(unicode >=  0x01F0UL && unicode <= 0x01FFUL) ||  part of Latin extended B\n"
        "(unicode >=  0x0210UL && unicode <= 0x021FUL) ||  part of Latin extended B\n"
        "(unicode >=\t 0x1EA0UL && unicode <= 0x1EF9UL) ||  part of Latin Extended Additional\n"
        "\n"
        "Greek and Arabic requires firmware April 2020 or newer\n"
        "Greek language support range is:\n"
        "[0374h-0375h 037Ah-037Eh 0384h-038Ah 038Ch 038Eh-03A1h 03A3h-03CEh]\n"
        "Arabic language support range is:\n"
        "[060Ch 061Bh 061F 0621h-063Ah 0640h-0655h 0660h-066Fh 0671h-06EDh 06F0h-06FEh]\n");
    QCOMPARE(explanation.size(), 1040);
    QCOMPARE(explanation.count('\n'), 17);
    QCOMPARE(m_log, "Printing languages\n" + explanation + "\nSetting Font to Small\nSetting Font to "
             "Standard\nPrinting DoubleByte Language\nChinese\nJapanese - Hiragana\nJapanese - Katakana\n"
             "Latin Language\nGreek Language\nArabic Language");
}

QTEST_MAIN(tst_Language)
#include "tst_language.moc"

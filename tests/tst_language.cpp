#include "telvartest.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

// The Language printout is long; these checks pick the properties where a
// slip is easy: range ends, byte order of the code units, where the
// double-byte mode is switched, and the exact log text.
class tst_Language : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fixedParts_data();
    void fixedParts();
    void doubleBytePairs();
    void lines_data();
    void lines();
    void wholeStream();
    void log();

private:
    QByteArray stream;
    QString logPane;
};

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

static const QByteArray latinLine =
    hex("41424344616263643132333425262f2129282e2d5f3b802440a3a5a9ae");

// One run of the button serves every check; each test only reads it.
void tst_Language::initTestCase()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    click(cw.window, "pushButtonLanguage");
    stream = cw.pty.readUntilQuiet();
    logPane = logText(cw.window);
    QVERIFY(!stream.isEmpty());
}

void tst_Language::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

// Stretches of the stream given byte for byte.
void tst_Language::fixedParts_data()
{
    QTest::addColumn<QByteArray>("part");

    QTest::newRow("start and basic Latin")
        << hex("1b400a") + "[00h-7Fh]\n" + latinLine + "\n\n[A0h-FFh]\n";
    QTest::newRow("Latin-1 upper half")
        << "[A0h-FFh]\n" + hex("c6c3c0dcfca5b5ded8f8d1f180c6d4dff0ebe7faefd9ffdc") + "\n\n";
    // Control-valued low bytes (01 08, 01 0e) stay as they are.
    QTest::newRow("Latin Extended A")
        << "[100h-17Fh]\n"
               + hex("012b 0135 0107 0126 0176 0108 0119 010e 017d 014e 015c 017f 0151 0162 "
                     "0132 014a 016f")
               + "\n\n";
    QTest::newRow("Latin Extended B")
        << "[1A0h-1CFh 1F0h-1FFh 210h-21Fh]\n"
               + hex("01a0 01ad 01bb 01ce 01cf 01f1 01f9 01ff 0210 0216 0219 021c 021f 01be "
                     "01fc 021b")
               + "\n\n";
    QTest::newRow("Latin Extended Additional")
        << "[1EA0h-1EF9h]\n"
               + hex("1ea1 1ec7 1ef3 1eab 1edb 1ee9 1ef1 1ed6 1ee7 1eed 1ecf 1edd 1ebc 1ef9 "
                     "1eca 1eb5")
               + "\n\n";
    // The small-font heading goes out before its mode command, the standard
    // one after.
    QTest::newRow("font modes")
        << "[Setting Small Font]\n" + hex("1b4d01") + latinLine + "\n\n" + hex("1b4d02")
               + "[Setting Standard Font]\n" + latinLine + "\n\n";
    QTest::newRow("Chinese")
        << "[DoubleByte - Chinese]\n" + hex("1c26")
               + hex("b7c9c1f7d6b1cfc2c8fdc7a7b3dfa3acd2c9cac7d2f8bad3c2e4bec5ccec") + "\n\n"
               + hex("1c2e");
    QTest::newRow("Japanese verse")
        << hex("1c26") + hex("4267383624644433244e3d50244649712426 5b30376e") + hex("1c2e")
               + "\n\n[Latin Language]\n" + latinLine + "\n\n";
    QTest::newRow("Greek headings")
        << QByteArray("\n\n[Greek Language]\n[Firmware 04/2020 or newer]\n"
                      "[0374h-0375h 037Ah-037Eh]\n[0384h-038Ah 038Ch]\n"
                      "[038Eh-03A1h 03A3h-03CEh]\n\n")
               + hex("0374 0375 037a 037b 037c 037d 037e") + "\n"
               + hex("0384 0385 0386 0387 0388 0389 038a 038c 038e 038f") + "\n";
    // U+061B goes out as 06 1B although 1B is ESC.
    QTest::newRow("Arabic headings")
        << QByteArray("\n\n[Arabic Language]\n[Firmware 04/2020 or newer]\n[060Ch 061Bh 061F]\n"
                      "[0621h-063Ah]\n[0640h-0655h]\n[0660h-066Fh]\n[0671h-06EDh]\n"
                      "[06F0h-06FEh]\n\n")
               + hex("060c 061b 061f") + "\n";
    QTest::newRow("end") << hex("06fc 06fd 06fe 06ff") + "\n\n";
}

void tst_Language::fixedParts()
{
    QFETCH(QByteArray, part);
    QVERIFY2(stream.contains(part), part.toHex(' ').constData());
    if (QByteArray(QTest::currentDataTag()) == "end")
        QVERIFY(stream.endsWith(part));
    if (QByteArray(QTest::currentDataTag()) == "start and basic Latin")
        QVERIFY(stream.startsWith(part));
}

// Four pairs, each mode command matched, in the order Chinese, hiragana,
// katakana, verse; the closing feeds of the katakana lines come after the
// cancel.
void tst_Language::doubleBytePairs()
{
    const QByteArray set = hex("1c26");
    const QByteArray cancel = hex("1c2e");
    QCOMPARE(stream.count(set), 4);
    QCOMPARE(stream.count(cancel), 4);
    qsizetype from = 0;
    for (int pair = 0; pair < 4; ++pair) {
        const qsizetype on = stream.indexOf(set, from);
        const qsizetype off = stream.indexOf(cancel, from);
        QVERIFY(on >= 0 && on < off);
        QVERIFY(stream.indexOf(set, on + 2) < 0 || stream.indexOf(set, on + 2) > off);
        from = off + 2;
    }
    QVERIFY(stream.contains("[DoubleByte - Hiragana]\n" + set + hex("2421 2422")));
    QVERIFY(stream.contains(hex("2472 2473") + "\n\n" + cancel + "[DoubleByte - Katakana]\n"
                            + set + hex("2521 2522")));
    QVERIFY(stream.contains(hex("2575 2576") + cancel + "\n\n" + set + hex("4267")));
}

static QList<QByteArray> linesBetween(const QByteArray &stream, const QByteArray &start,
                                      const QByteArray &end)
{
    const qsizetype from = stream.indexOf(start);
    if (from < 0)
        return {};
    const qsizetype to = stream.indexOf(end, from + start.size());
    if (to < 0)
        return {};
    return stream.mid(from + start.size(), to - from - start.size()).split('\n');
}

// Lines of two-byte codes: how many codes each carries, and its first and
// last code, which is where an inclusive range goes wrong.
void tst_Language::lines_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QByteArrayList>("ends"); // first and last code of each line, hex

    QTest::newRow("hiragana")
        << "[DoubleByte - Hiragana]\n" + hex("1c26") << hex("0a0a1c2e")
        << QList<int>{15, 16, 16, 16, 16, 4}
        << QByteArrayList{"2421", "242f", "2430", "243f", "2440", "244f",
                          "2450", "245f", "2460", "246f", "2470", "2473"};
    QTest::newRow("katakana")
        << "[DoubleByte - Katakana]\n" + hex("1c26") << hex("1c2e0a0a")
        << QList<int>{14, 15, 15, 15, 15, 7}
        << QByteArrayList{"2521", "252e", "2530", "253e", "2540", "254e",
                          "2550", "255e", "2560", "256e", "2570", "2576"};
    QTest::newRow("Greek") << QByteArray("[038Eh-03A1h 03A3h-03CEh]\n\n") << hex("0a0a")
                           << QList<int>{7, 10, 16, 15, 16, 15}
                           << QByteArrayList{"0374", "037e", "0384", "038f", "0390", "039f",
                                             "03a0", "03af", "03b0", "03bf", "03c0", "03ce"};
    QTest::newRow("Arabic")
        << QByteArray("[06F0h-06FEh]\n\n") << hex("0a0a")
        << QList<int>{3, 15, 11, 16, 9, 16, 15, 16, 16, 16, 16, 16, 16, 16, 16}
        << QByteArrayList{"060c", "061f", "0621", "062f", "0630", "063a", "0640", "064f",
                          "0650", "0658", "0660", "066f", "0671", "067f", "0680", "068f",
                          "0690", "069f", "06a0", "06af", "06b0", "06bf", "06c0", "06cf",
                          "06d0", "06df", "06e0", "06ef", "06f0", "06ff"};
}

void tst_Language::lines()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(QList<int>, codes);
    QFETCH(QByteArrayList, ends);

    const QList<QByteArray> lines = linesBetween(stream, start, end);
    QCOMPARE(lines.size(), codes.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(lines[i].size(), 2 * codes[i]);
        QCOMPARE(lines[i].first(2).toHex(), ends[2 * i]);
        QCOMPARE(lines[i].last(2).toHex(), ends[2 * i + 1]);
        // Within a line each code is above the one before it.
        for (qsizetype at = 2; at < lines[i].size(); at += 2)
            QVERIFY(lines[i].mid(at, 2) > lines[i].mid(at - 2, 2));
    }
}

// Every section's bytes add up to 1749; no sample holds a 00 byte, which
// printStr would stop at.
void tst_Language::wholeStream()
{
    QCOMPARE(stream.size(), 1749);
    QVERIFY(!stream.contains('\0'));
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
    const QString after = QStringLiteral(
        "\nSetting Font to Small\nSetting Font to Standard\nPrinting DoubleByte Language\n"
        "Chinese\nJapanese - Hiragana\nJapanese - Katakana\nLatin Language\nGreek Language\n"
        "Arabic Language");

    QCOMPARE(logPane, QStringLiteral("Printing languages\n") + explanation + after);

    // The explanation as it stands in the pane, cut out by its neighbours.
    const QString title = QStringLiteral("Printing languages\n");
    QVERIFY(logPane.startsWith(title) && logPane.endsWith(after));
    const QByteArray shown = logPane.mid(title.size(), logPane.size() - title.size()
                                                           - after.size()).toUtf8();
    QCOMPARE(shown.size(), 1040);
    QCOMPARE(shown.count('\n'), 17);
    QVERIFY(shown.endsWith('\n'));
}

QTEST_MAIN(tst_Language)
#include "tst_language.moc"

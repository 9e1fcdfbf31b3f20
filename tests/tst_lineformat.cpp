#include "monitor/linecapture.h"
#include "monitor/lineformat.h"

#include <QTest>

// The line monitor's pure parts: the send line's two input forms, the export
// formats, and the capture's bound.

using namespace LineFormat;

class tst_LineFormat : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void hexDumpLayout();
    void cArrayText();
    void byteNames();
    void captureKeepsTheNewest();
    void captureRowsPointAtTheirBytes();
};

void tst_LineFormat::parse_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    const auto good = [](const char *name, bool hex, const QString &input, const char *bytesHex) {
        QTest::newRow(name) << hex << input << QByteArray::fromHex(bytesHex) << QString();
    };
    const auto bad = [](const char *name, bool hex, const QString &input, const char *error) {
        QTest::newRow(name) << hex << input << QByteArray() << QString::fromUtf8(error);
    };
    good("hex spaced", true, QStringLiteral("1B 40"), "1b40");
    good("hex packed lower", true, QStringLiteral("1b40"), "1b40");
    good("hex C style", true, QStringLiteral("0x1B,0x40"), "1b40");
    good("hex C style spaced", true, QStringLiteral(" 0x1b, 0x40, 0xA "), "1b400a");
    good("hex colons", true, QStringLiteral("1d:76:30:00"), "1d763000");
    good("hex prefix with pairs", true, QStringLiteral("0X1b40"), "1b40");
    bad("hex odd digits", true, QStringLiteral("1B 4"), "Odd number of hex digits (1) at position 4");
    bad("hex odd packed", true, QStringLiteral("1b40a"), "Odd number of hex digits (5) at position 1");
    bad("hex not a digit", true, QStringLiteral("1B 4G"), "Not a hex digit 'G' at position 5");
    bad("hex escape in hex mode", true, QStringLiteral("\\x1b"), "Not a hex digit '\\' at position 1");
    bad("hex bare prefix", true, QStringLiteral("1B 0x"), "0x without digits at position 4");
    bad("hex empty", true, QString(), "Nothing to send");
    bad("hex separators only", true, QStringLiteral(" , "), "Nothing to send");

    good("text plain", false, QStringLiteral("Hello\\n"), "48656c6c6f0a");
    good("text hex escape", false, QStringLiteral("\\x1b@"), "1b40");
    good("text one digit hex", false, QStringLiteral("\\xa!"), "0a21");
    good("text backslash", false, QStringLiteral("a\\\\b"), "615c62");
    good("text simple escapes", false, QStringLiteral("\\r\\t\\e\\\"\\'\\?\\a\\b\\f\\v"),
         "0d091b22273f07080c0b");
    good("text octal", false, QStringLiteral("\\0\\101\\0777"), "00413f37");
    good("text UTF-8", false, QStringLiteral("\u00e9"), "c3a9");
    bad("text unknown escape", false, QStringLiteral("ab\\q"), "Unknown escape \\q at position 3");
    bad("text cut short", false, QStringLiteral("abc\\"), "Escape cut short at position 4");
    bad("text hex cut short", false, QStringLiteral("\\xg"),
        "Escape \\x cut short, hex digits expected at position 1");
    bad("text octal too big", false, QStringLiteral("\\400"), "Octal escape above \\377 at position 1");
    bad("text empty", false, QString(), "Nothing to send");
}

void tst_LineFormat::parse()
{
    QFETCH(bool, hex);
    QFETCH(QString, input);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    const Parsed parsed = hex ? parseHex(input) : parseText(input);
    QCOMPARE(parsed.ok(), error.isEmpty());
    QCOMPARE(parsed.ok() ? QString() : describeError(parsed), error);
    QCOMPARE(parsed.ok() ? parsed.bytes : QByteArray(), bytes);
}

void tst_LineFormat::hexDumpLayout()
{
    // What `hexdump -C` prints for these bytes.
    const QByteArray bytes = QByteArray::fromHex("1b4048656c6c6f0a0000000000000000" "7f806162");
    QCOMPARE(hexDump(bytes),
             QByteArray(
                 "00000000  1b 40 48 65 6c 6c 6f 0a  00 00 00 00 00 00 00 00  |.@Hello.........|\n"
                 "00000010  7f 80 61 62                                       |..ab|\n"
                 "00000014\n"));
    QCOMPARE(hexDump("Hel"),
             QByteArray("00000000  48 65 6c                                          |Hel|\n"
                            "00000003\n"));
}

void tst_LineFormat::cArrayText()
{
    QCOMPARE(cArray(QByteArray::fromHex("1b40ff"), QStringLiteral("reset")),
             QByteArray("static const unsigned char reset[3] = {\n    0x1b, 0x40, 0xff\n};\n"));
    // Twelve to a line, no comma after the last.
    const QByteArray array = cArray(QByteArray(13, '\x7f'), QStringLiteral("a"));
    QVERIFY(array.contains("0x7f,\n    0x7f\n};\n"));
    QCOMPARE(array.count("0x7f"), 13);
    QCOMPARE(cIdentifier(QStringLiteral("receipt-2 copy")), QStringLiteral("receipt_2_copy"));
    QCOMPARE(cIdentifier(QStringLiteral("7up")), QStringLiteral("line_7up"));
}

void tst_LineFormat::byteNames()
{
    QCOMPARE(controlName(0x12), QStringLiteral("DC2"));
    QCOMPARE(controlName(0x0D), QStringLiteral("CR"));
    QCOMPARE(controlName(0x1F), QStringLiteral("US"));
    QCOMPARE(controlName(0x7F), QStringLiteral("DEL"));
    QCOMPARE(controlName('A'), QString());
    QCOMPARE(bits(0x12), QStringLiteral("0001 0010"));
    QCOMPARE(bits(0xA5), QStringLiteral("1010 0101"));
    QCOMPARE(escaped(QByteArray::fromHex("4f4b0d0a") + "\t\"\\" + char(0x12) + char(0xff)),
             QStringLiteral("OK\\r\\n\\t\\\"\\\\\\x12\\xFF"));
    QCOMPARE(hexList(QByteArray::fromHex("1b400a")), QStringLiteral("1B 40 0A"));
}

void tst_LineFormat::captureKeepsTheNewest()
{
    // Pieces of 64 KiB: a 200 KiB capacity holds three of them.
    constexpr qint64 piece = 64 * 1024;
    LineCapture capture(200 * 1024);
    QByteArray expected;
    for (int i = 0; i < 8; ++i) {
        const QByteArray bytes(piece, char('a' + i));
        capture.recordReceived(bytes, i);
        capture.appendRows(capture.takeNewRows(false));
        capture.dropFrontRows(capture.staleRows(0));
        expected += bytes;
    }
    QVERIFY(capture.dropped());
    QVERIFY(capture.keptBytes() <= 200 * 1024);
    QCOMPARE(capture.keptBytes(), quint64(3 * piece));
    QCOMPARE(capture.receivedTotal(), quint64(8 * piece));
    // Every row left still has its bytes, and they are the newest ones.
    QCOMPARE(qint64(capture.rows().size()), 3 * piece / LineCapture::kReceivedRowBytes);
    const LineCapture::Row &first = capture.rows().front();
    QCOMPARE(first.offset, quint64(5 * piece));
    QCOMPARE(capture.bytes(first), expected.mid(5 * piece, LineCapture::kReceivedRowBytes));
    QCOMPARE(capture.bytes(LineCapture::Kind::Received, 4 * piece, 16), QByteArray());

    capture.clear();
    QVERIFY(!capture.dropped());
    QCOMPARE(capture.keptBytes(), quint64(0));
    QVERIFY(capture.rows().empty());
}

void tst_LineFormat::captureRowsPointAtTheirBytes()
{
    // A raster split over three writes, and a text run that only the quiet
    // flush completes, with a heading and a reply in between.
    const QByteArray raster = QByteArray::fromHex("1d763000" "0200" "0300") + QByteArray(6, '\x55');
    LineCapture capture;
    capture.recordHeading(QStringLiteral("Bitmap"), 1);
    capture.recordSent(raster.constData(), 4, 2);
    capture.recordSent(raster.constData() + 4, 6, 2);
    capture.recordReceived(QByteArray::fromHex("12"), 3);
    capture.recordSent(raster.constData() + 10, raster.size() - 10, 4);
    capture.recordSent("\x1b@Hi", 4, 5);
    QList<LineCapture::Row> rows = capture.takeNewRows(false);
    QCOMPARE(rows.size(), 4);
    rows += capture.takeNewRows(true);
    capture.appendRows(rows);

    const QStringList texts{QStringLiteral("Bitmap"), QString(),
                            QStringLiteral("GS v 0  raster 2x3 (6 bytes)"),
                            QStringLiteral("ESC @  reset"), QStringLiteral("text \"Hi\"")};
    QStringList seen;
    for (const LineCapture::Row &row : capture.rows())
        seen << row.text;
    QCOMPARE(seen, texts);
    QCOMPARE(capture.bytes(capture.rows().at(1)), QByteArray::fromHex("12"));
    QCOMPARE(capture.bytes(capture.rows().at(2)), raster);
    QCOMPARE(capture.rows().at(2).ms, qint64(4));
    QCOMPARE(capture.bytes(capture.rows().at(4)), QByteArray("Hi"));
    QCOMPARE(capture.allSent(), raster + "\x1b@Hi");
}

QTEST_GUILESS_MAIN(tst_LineFormat)
#include "tst_lineformat.moc"

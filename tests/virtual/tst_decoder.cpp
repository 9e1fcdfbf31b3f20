// The decoder against hand-written streams: one row per command, written as
// the hex that goes on the wire and the listing that must come out.

#include "decoder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Virtual;

namespace {

QStringList listing(const QList<Command> &commands)
{
    QStringList lines;
    for (const Command &c : commands)
        lines << describe(c);
    return lines;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class tst_Decoder : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void chunkingChangesNothing_data();
    void chunkingChangesNothing();
    void stalledDataEndsAtFlush_data();
    void stalledDataEndsAtFlush();
    void randomBytesSurvive();
    void keptDataIsBounded();
};

void tst_Decoder::commands_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("expected");

    auto row = [](const char *name, const QByteArray &wire, const QStringList &expected) {
        QTest::newRow(name) << wire << expected;
    };
    row("reset", hex("1b40"), {"ESC @  reset"});
    row("LF CR HT", hex("0a0d09"), {"LF  print and feed one line", "CR  carriage return", "HT  next tab stop"});
    row("status", hex("1004"), {"DLE EOT  status query"});
    row("firmware", hex("1005"), {"DLE ENQ  firmware query"});
    row("clear buffer", hex("1014"), {"DLE DC4  clear print buffer"});
    row("sleep", hex("1016"), {"DLE SYN  sleep mode"});
    row("head 58", hex("1b5a00"), {"ESC Z 00  print head type 0 (58 mm, 384 dots)"});
    row("head 80", hex("1b5a05"), {"ESC Z 05  print head type 5 (80 mm, 576 dots)"});
    row("head 11", hex("1b5a0b"), {"ESC Z 0B  print head type 11 (58 mm, 384 dots)"});
    row("feed dots", hex("1b4a14"), {"ESC J 14  print and feed 20 dots"});
    row("font bold", hex("1b2108"), {"ESC ! 08  font bold"});
    row("font italic underline", hex("1b2182"), {"ESC ! 82  font italic, underline"});
    row("font 90", hex("1b2190"), {"ESC ! 90  font double height, underline"});
    row("font FF", hex("1b21ff"),
        {"ESC ! FF  font italic, bold, double height, double width, reverse, underline, unused bits 05"});
    row("align center", hex("1b6101"), {"ESC a 01  align center"});
    row("line spacing", hex("1b3342"), {"ESC 3 42  line spacing 66 dots"});
    row("line spacing default", hex("1b32"), {"ESC 2  default line spacing"});
    row("tab stops", hex("1b4408182600"), {"ESC D  tab stops 8 24 38 mm"});
    row("tab stops none", hex("1b4400"), {"ESC D  tab stops cleared"});
    row("feed lines", hex("1b6405"), {"ESC d 05  print and feed 5 lines"});
    row("left margin", hex("1b6c08"), {"ESC l 08  left margin 8 mm"});
    row("right margin", hex("1b5130"), {"ESC Q 30  print area ends at 48 mm"});
    row("absolute position", hex("1b243200"), {"ESC $ 32 00  absolute position 50 dots"});
    row("absolute position 16 bit", hex("1b240201"), {"ESC $ 02 01  absolute position 258 dots"});
    row("gray", hex("1b6d04"), {"ESC m 04  darkness 4"});
    row("small font", hex("1b4d01"), {"ESC M 01  small font"});
    row("standard font", hex("1b4d02"), {"ESC M 02  standard font"});
    row("full cut", hex("1b69"), {"ESC i  full cut"});
    row("partial cut", hex("1b6e"), {"ESC n  partial cut"});
    row("double-byte on off", hex("1c261c2e"), {"FS &  double-byte mode on", "FS .  double-byte mode off"});
    row("print stored bitmap", hex("1c700103"), {"FS p 01 03  print stored bitmap 1, mode 3"});
    row("com mode default", hex("1d280401"), {"GS ( 04 01  UART 115200 bps, XON/XOFF flow control"});
    row("com mode 375000 hw", hex("1d280602"), {"GS ( 06 02  UART 375000 bps, hardware flow control"});
    row("com mode 9600 none", hex("1d280000"), {"GS ( 00 00  UART 9600 bps, no flow control"});
    row("qr module size", hex("1d286b0300314306"), {"GS ( k  QR module size 6"});
    row("qr error correction", hex("1d286b0300314531"), {"GS ( k  QR error correction 31"});
    row("qr store", hex("1d286b0d00315030") + "0123456789",
        {"GS ( k  QR store 10 bytes \"0123456789\""});
    row("qr store empty", hex("1d286b0300315030"), {"GS ( k  QR store 0 bytes \"\""});
    row("qr print", hex("1d286b0300315130"), {"GS ( k  QR print"});
    row("qr other function", hex("1d286b040031520041") + hex("1b40"),
        {"GS ( k  QR function 31 52 00, 1 bytes (ignored)", "ESC @  reset"});
    row("qr frame too short", hex("1d286b01003f") + hex("1b40"),
        {"GS ( k  QR frame too short for a function", "ESC @  reset"});
    row("call-back", hex("1d6101"), {"GS a 01  call-back mode 1"});
    row("next label", hex("1d06"), {"GS ACK  next label"});
    row("raster with data", hex("1d76300002000300112233445566") + hex("1b40"),
        {"GS v 0  raster 2x3 (6 bytes)", "ESC @  reset"});
    row("raster zero size", hex("1d76300000000000") + hex("1b40"),
        {"GS v 0  raster 0x0 (0 bytes)", "ESC @  reset"});
    row("raster 48x94", hex("1d76300030005e00") + QByteArray(4512, '\x1b') + hex("0a"),
        {"GS v 0  raster 48x94 (4512 bytes)", "LF  print and feed one line"});
    row("raster mode 3", hex("1d7630030100010080"), {"GS v 0  raster 1x1 (1 bytes), mode 3"});
    row("bar code height", hex("1d6840"), {"GS h 40  bar code height 64 dots"});
    row("bar code width", hex("1d7703"), {"GS w 03  bar code module width 3"});
    row("bar code text on", hex("1d4801"), {"GS H 01  bar code text on"});
    row("bar code text off", hex("1d4800"), {"GS H 00  bar code text off"});
    row("UPC-A", hex("1d6b410b") + "01234567890", {"GS k A  bar code UPC-A \"01234567890\""});
    row("UPC-E", hex("1d6b4206") + "012345", {"GS k B  bar code UPC-E \"012345\""});
    row("EAN-13", hex("1d6b430c") + "012345678901", {"GS k C  bar code EAN-13 \"012345678901\""});
    row("EAN-8", hex("1d6b4407") + "0123456", {"GS k D  bar code EAN-8 \"0123456\""});
    row("Code 39", hex("1d6b450b") + "123456RC302", {"GS k E  bar code Code 39 \"123456RC302\""});
    row("ITF", hex("1d6b4608") + "12345678", {"GS k F  bar code ITF \"12345678\""});
    row("Codabar", hex("1d6b4708") + "a123456a", {"GS k G  bar code Codabar \"a123456a\""});
    row("Code 93", hex("1d6b4808") + "12345678", {"GS k H  bar code Code 93 \"12345678\""});
    row("Code 128", hex("1d6b4908") + "12345678", {"GS k I  bar code Code 128 \"12345678\""});
    row("bar code unknown symbology", hex("1d6b4a0231321b40"),
        {"GS k 4A  bar code of unknown symbology 4A \"12\"", "ESC @  reset"});
    row("bar code empty", hex("1d6b41001b40"), {"GS k A  bar code UPC-A \"\"", "ESC @  reset"});
    row("store bitmap", hex("1d71010030010200") + QByteArray(608, '\0') + hex("1c700100"),
        {"GS q  store bitmap 1, align 0, 304x2 (608 bytes)", "FS p 01 00  print stored bitmap 1, mode 0"});
    row("store bitmap empty", hex("1d710200000000001b40"),
        {"GS q  store bitmap 2, align 0, 0x0 (0 bytes)", "ESC @  reset"});
    row("label text", hex("1b2100") + "Label Print" + hex("0a"),
        {"ESC ! 00  font normal", "text \"Label Print\"", "LF  print and feed one line"});
    row("text with quotes", QByteArray("say \"hi\"\\"), {"text \"say \\\"hi\\\"\\\\\""});
    row("latin-1 and euro", hex("41a3a5a9ae80"), {QString::fromUtf8("text \"A£¥©®€\"")});
    row("unicode between single bytes", hex("410108421ea1"), {QString::fromUtf8("text \"AĈBạ\"")});
    row("unicode low byte is ESC", hex("061b0a"), {QString::fromUtf8("text \"؛\""), "LF  print and feed one line"});
    row("unicode greek", hex("03740375"), {QStringLiteral("text \"\u0374\u0375\"")});
    row("1E outside its range", hex("1e41"), {"unknown 1 byte 1E", "text \"A\""});
    row("GB2312", hex("1c26b7c9c1f7a3ac0a1c2e"),
        {"FS &  double-byte mode on", QString::fromUtf8("double-byte GB2312 \"飞流，\""),
         "LF  print and feed one line", "FS .  double-byte mode off"});
    row("JIS 7-bit", hex("1c26426738362464") + hex("1c2e"),
        {"FS &  double-byte mode on", QString::fromUtf8("double-byte JIS X 0208 \"大原や\""),
         "FS .  double-byte mode off"});
    row("commands inside double-byte", hex("1c262421") + hex("1b4d01") + hex("24221c2e"),
        {"FS &  double-byte mode on", QString::fromUtf8("double-byte JIS X 0208 \"ぁ\""),
         "ESC M 01  small font", QString::fromUtf8("double-byte JIS X 0208 \"あ\""),
         "FS .  double-byte mode off"});
    row("unknown control bytes", hex("07080b1b40"), {"unknown 3 bytes 07 08 0B", "ESC @  reset"});
    row("unknown ESC command", hex("1b991b40"), {"unknown 2 bytes 1B 99", "ESC @  reset"});
    row("ESC before a command", hex("1b1b40"), {"unknown 1 byte 1B", "ESC @  reset"});
    row("unknown GS v", hex("1d76311b40"), {"unknown 2 bytes 1D 76", "text \"1\"", "ESC @  reset"});
    row("truncated ESC", hex("1b"), {"truncated 1B (command cut short)"});
    row("truncated raster header", hex("1d763000"), {"truncated 1D 76 30 00 (command cut short)"});
    row("truncated QR frame", hex("1d286b0d0031"), {"truncated 1D 28 6B 0D 00 31 (command cut short)"});
    row("truncated code unit", hex("4105"), {"text \"A\"", "truncated 05 (command cut short)"});
    row("unterminated tab list", hex("1b44") + QByteArray(40, '\x05'),
        {"ESC D  tab stops 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 mm, no 00 after 32 stops",
         QString::fromUtf8("text \"\u0505\u0505\u0505\u0505\"")});
    row("raster cut short", hex("1d76300002000300aabb"),
        {"GS v 0  raster 2x3 (6 bytes), cut short: 2 of 6 bytes arrived"});
    row("raster 65535x65535", hex("1d763000ffffffff1b40"),
        {"GS v 0  raster 65535x65535 (4294836225 bytes), cut short: 2 of 4294836225 bytes arrived"});
    row("bar code cut short", hex("1d6b41050102"),
        {"GS k A  bar code UPC-A \"\\x01\\x02\", cut short: 2 of 5 bytes arrived"});
}

void tst_Decoder::commands()
{
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, expected);
    QCOMPARE(listing(decodeAll(wire)), expected);
}

// Every stream decodes the same whether it comes whole, byte by byte or in
// chunks of any size, also where a chunk ends inside a command or a code unit.
void tst_Decoder::chunkingChangesNothing_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("label") << hex("1b6100 1b2100") + "Label Print" + hex("0a 1b2108") + "Bold" + hex("0a 1d06");
    QTest::newRow("unicode and double-byte")
        << hex("1b40 0a") + "[A]" + hex("0a 01080174 061b 1ea1 0a 1c26 b7c9c1f7 0a 1c2e 1c26 2421 2422 1c2e");
    QTest::newRow("images and codes")
        << hex("1d7630000200030000112233445566 1d6b4108") + "01234567" + hex("1d286b0d00315030")
               + "0123456789" + hex("1d286b0300315130 1d71010001000100ff 1b4408182600");
    QTest::newRow("unknown runs") << hex("0708 1b99 1b1b40 1e41 0b0b");
    QRandomGenerator random(7);
    QByteArray noise(3000, '\0');
    for (char &b : noise)
        b = char(random.bounded(256));
    QTest::newRow("noise") << noise;
}

void tst_Decoder::chunkingChangesNothing()
{
    QFETCH(QByteArray, wire);
    const QList<Command> whole = decodeAll(wire);

    Decoder bytewise;
    QList<Command> pieces;
    for (char b : wire)
        pieces += bytewise.feed(QByteArray(1, b));
    pieces += bytewise.flush();
    QCOMPARE(listing(pieces), listing(whole));
    QVERIFY(pieces == whole);

    QRandomGenerator random(42);
    for (int run = 0; run < 20; ++run) {
        Decoder chunked;
        QList<Command> got;
        for (qsizetype at = 0; at < wire.size();) {
            const qsizetype n = random.bounded(1, 40);
            got += chunked.feed(wire.mid(at, n));
            at += n;
        }
        got += chunked.flush();
        QVERIFY2(got == whole, qPrintable(QStringLiteral("run %1").arg(run)));
    }
}

// A header that announces more than ever arrives swallows what follows until
// the job ends; after that the next command decodes normally.
void tst_Decoder::stalledDataEndsAtFlush_data()
{
    QTest::addColumn<QByteArray>("stalled");
    QTest::addColumn<QString>("closed");
    QTest::newRow("raster 48x94") << hex("1d76300030005e00") + QByteArray(100, '\x55')
                                  << "GS v 0  raster 48x94 (4512 bytes), cut short: 100 of 4512 bytes arrived";
    QTest::newRow("raster 65535x65535") << hex("1d763000ffffffff1b40")
                                        << "GS v 0  raster 65535x65535 (4294836225 bytes), cut short: 2 of 4294836225 bytes arrived";
    QTest::newRow("stored bitmap") << hex("1d710100ffff0100") << "GS q  store bitmap 1, align 0, 65535x1 (65535 bytes), cut short: 0 of 65535 bytes arrived";
    QTest::newRow("QR store") << hex("1d286bffff315030") + "abc" << "GS ( k  QR store 65532 bytes \"abc\", cut short: 3 of 65532 bytes arrived";
    QTest::newRow("bar code") << hex("1d6b49ff") + "1234" << "GS k I  bar code Code 128 \"1234\", cut short: 4 of 255 bytes arrived";
}

void tst_Decoder::stalledDataEndsAtFlush()
{
    QFETCH(QByteArray, stalled);
    QFETCH(QString, closed);
    Decoder d;
    QVERIFY(d.feed(stalled).isEmpty());
    QCOMPARE(listing(d.flush()), QStringList{closed});
    QCOMPARE(listing(d.feed(hex("1b40 1b6101"))), (QStringList{"ESC @  reset", "ESC a 01  align center"}));
}

void tst_Decoder::randomBytesSurvive()
{
    QRandomGenerator random(2024);
    Decoder d;
    quint64 seen = 0;
    for (int round = 0; round < 50; ++round) {
        QByteArray noise(20000, '\0');
        for (char &b : noise)
            b = char(random.bounded(256));
        QList<Command> got = d.feed(noise);
        got += d.flush();
        for (const Command &c : got)
            QVERIFY(!describe(c).isEmpty());
        seen += got.size();
        QCOMPARE(listing(d.feed(hex("1b40"))), QStringList{"ESC @  reset"});
        d.feed(hex("1c2e")); // leave double-byte mode for the next round
    }
    QVERIFY(seen > 1000);
}

void tst_Decoder::keptDataIsBounded()
{
    Decoder d;
    d.feed(hex("1d763000ffffffff"));
    const QByteArray block(1024 * 1024, '\x7f');
    for (int i = 0; i < 12; ++i)
        QVERIFY(d.feed(block).isEmpty());
    const QList<Command> closed = d.flush();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed.first().received, quint64(12) * 1024 * 1024);
    QCOMPARE(quint64(closed.first().data.size()), kMaxKeptData);
    QVERIFY(describe(closed.first()).endsWith(QStringLiteral(", 8388608 bytes kept")));
}

QTEST_GUILESS_MAIN(tst_Decoder)
#include "tst_decoder.moc"

// The decoder against hand-written streams: the hex on the wire, the listing out.

#include "decoder.h"

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

constexpr auto hex = &QByteArray::fromHex; // skips the spaces

const QStringList kReset{"ESC @  reset"};

} // namespace

class tst_Decoder : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void keptDataIsBounded();
};

void tst_Decoder::commands_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char *name, const QByteArray &wire, const QStringList &expected) {
        QTest::newRow(name) << wire << expected;
    };
    row("reset LF CR HT", hex("1b40 0a0d09"),
        {"ESC @  reset", "LF  print and feed one line", "CR  carriage return", "HT  next tab stop"});
    row("DLE", hex("1004 1005 1014 1016"), {"DLE EOT  status query", "DLE ENQ  firmware query",
                                            "DLE DC4  clear print buffer", "DLE SYN  sleep mode"});
    row("heads", hex("1b5a05 1b5a0b"), {"ESC Z 05  print head type 5 (80 mm, 576 dots)",
                                        "ESC Z 0B  print head type 11 (58 mm, 384 dots)"});
    row("fonts", hex("1b2108 1b21ff 1b4d01 1b4d02"),
        {"ESC ! 08  font bold",
         "ESC ! FF  font italic, bold, double height, double width, reverse, underline, unused bits 05",
         "ESC M 01  small font", "ESC M 02  standard font"});
    row("feeds", hex("1b4a14 1b6405 1b3342 1b32"),
        {"ESC J 14  print and feed 20 dots", "ESC d 05  print and feed 5 lines", "ESC 3 42  line spacing 66 dots",
         "ESC 2  default line spacing"});
    row("layout", hex("1b6101 1b6c08 1b5130 1b240201 1b6d04"),
        {"ESC a 01  align center", "ESC l 08  left margin 8 mm", "ESC Q 30  print area ends at 48 mm",
         "ESC $ 02 01  absolute position 258 dots", "ESC m 04  darkness 4"});
    row("tab stops", hex("1b4408182600 1b4400"), {"ESC D  tab stops 8 24 38 mm", "ESC D  tab stops cleared"});
    row("cuts and label", hex("1b69 1b6e 1d06 1d6101"),
        {"ESC i  full cut", "ESC n  partial cut", "GS ACK  next label", "GS a 01  call-back mode 1"});
    row("com mode", hex("1d280401 1d280602"), {"GS ( 04 01  UART 115200 bps, XON/XOFF flow control",
                                               "GS ( 06 02  UART 375000 bps, hardware flow control"});
    row("QR", hex("1d286b0300314306 1d286b0300314531 1d286b0d00315030") + "0123456789" + hex("1d286b0300315130"),
        {"GS ( k  QR module size 6", "GS ( k  QR error correction 31", "GS ( k  QR store 10 bytes \"0123456789\"",
         "GS ( k  QR print"});
    row("QR other function", hex("1d286b040031520041 1b40"), {"GS ( k  QR function 31 52 00, 1 bytes (ignored)", kReset[0]});
    row("QR frame too short", hex("1d286b01003f 1b40"), {"GS ( k  QR frame too short for a function", kReset[0]});
    row("rasters", hex("1d76300002000300112233445566 1d76300000000000 1d7630030100010080"),
        {"GS v 0  raster 2x3 (6 bytes)", "GS v 0  raster 0x0 (0 bytes)", "GS v 0  raster 1x1 (1 bytes), mode 3"});
    row("stored bitmap", hex("1d71010030010200") + QByteArray(608, '\x1b') + hex("1c700103"),
        {"GS q  store bitmap 1, align 0, 304x2 (608 bytes)", "FS p 01 03  print stored bitmap 1, mode 3"});
    row("stored bitmap empty", hex("1d710200000000001b40"), {"GS q  store bitmap 2, align 0, 0x0 (0 bytes)", kReset[0]});
    row("bar code settings", hex("1d6840 1d7703 1d4801 1d4800"),
        {"GS h 40  bar code height 64 dots", "GS w 03  bar code module width 3", "GS H 01  bar code text on",
         "GS H 00  bar code text off"});
    row("UPC-A", hex("1d6b410b") + "01234567890", {"GS k A  bar code UPC-A \"01234567890\""});
    row("UPC-E", hex("1d6b4206") + "012345", {"GS k B  bar code UPC-E \"012345\""});
    row("EAN-13", hex("1d6b430c") + "012345678901", {"GS k C  bar code EAN-13 \"012345678901\""});
    row("EAN-8", hex("1d6b4407") + "0123456", {"GS k D  bar code EAN-8 \"0123456\""});
    row("Code 39", hex("1d6b450b") + "123456RC302", {"GS k E  bar code Code 39 \"123456RC302\""});
    row("ITF", hex("1d6b4608") + "12345678", {"GS k F  bar code ITF \"12345678\""});
    row("Codabar", hex("1d6b4708") + "a123456a", {"GS k G  bar code Codabar \"a123456a\""});
    row("Code 93", hex("1d6b4808") + "12345678", {"GS k H  bar code Code 93 \"12345678\""});
    row("Code 128", hex("1d6b4908") + "12345678", {"GS k I  bar code Code 128 \"12345678\""});
    row("bar code unknown", hex("1d6b4a023132 1b40"), {"GS k 4A  bar code of unknown symbology 4A \"12\"", kReset[0]});
    row("bar code empty", hex("1d6b4100 1b40"), {"GS k A  bar code UPC-A \"\"", kReset[0]});
    row("text", hex("1b2100") + "say \"hi\"\\" + hex("0a"),
        {"ESC ! 00  font normal", "text \"say \\\"hi\\\"\\\\\"", "LF  print and feed one line"});
    row("latin-1 and euro", hex("41a3a5a9ae80"), {QString::fromUtf8("text \"A£¥©®€\"")});
    row("code units", hex("410108421ea1 061b"), {QString::fromUtf8("text \"AĈBạ؛\"")});
    row("1E outside its range", hex("1e41"), {"unknown 1 byte 1E", "text \"A\""});
    row("GB2312", hex("1c26 b7c9c1f7a3ac 0a 1c2e"),
        {"FS &  double-byte mode on", QString::fromUtf8("double-byte GB2312 \"飞流，\""),
         "LF  print and feed one line", "FS .  double-byte mode off"});
    row("JIS with a command inside", hex("1c26 42673836 1b4d01 2464 1c2e"),
        {"FS &  double-byte mode on", QString::fromUtf8("double-byte JIS X 0208 \"大原\""), "ESC M 01  small font",
         QString::fromUtf8("double-byte JIS X 0208 \"や\""), "FS .  double-byte mode off"});
    row("unknown bytes", hex("07080b 1b40 1b99 1b1b40"),
        {"unknown 3 bytes 07 08 0B", kReset[0], "unknown 2 bytes 1B 99", "unknown 1 byte 1B", kReset[0]});
    row("unknown GS v", hex("1d7631 1b40"), {"unknown 2 bytes 1D 76", "text \"1\"", kReset[0]});
    row("truncated ESC", hex("1b"), {"truncated 1B (command cut short)"});
    row("truncated raster header", hex("1d763000"), {"truncated 1D 76 30 00 (command cut short)"});
    row("truncated QR frame", hex("1d286b0d0031"), {"truncated 1D 28 6B 0D 00 31 (command cut short)"});
    row("truncated code unit", hex("4105"), {"text \"A\"", "truncated 05 (command cut short)"});
    row("unterminated tab list", hex("1b44") + QByteArray(34, '\x05'),
        {"ESC D  tab stops" + QString(" 5").repeated(32) + " mm, no 00 after 32 stops", QStringLiteral("text \"\u0505\"")});
    row("raster cut short", hex("1d76300030005e00") + QByteArray(100, '\x55'),
        {"GS v 0  raster 48x94 (4512 bytes), cut short: 100 of 4512 bytes arrived"});
    row("raster 65535x65535", hex("1d763000ffffffff 1b40"),
        {"GS v 0  raster 65535x65535 (4294836225 bytes), cut short: 2 of 4294836225 bytes arrived"});
    row("stored bitmap cut short", hex("1d710100ffff0100"),
        {"GS q  store bitmap 1, align 0, 65535x1 (65535 bytes), cut short: 0 of 65535 bytes arrived"});
    row("QR store cut short", hex("1d286bffff315030") + "abc",
        {"GS ( k  QR store 65532 bytes \"abc\", cut short: 3 of 65532 bytes arrived"});
    row("bar code cut short", hex("1d6b41050102"), {"GS k A  bar code UPC-A \"\\x01\\x02\", cut short: 2 of 5 bytes arrived"});
}

// Whole or byte by byte, the same listing; after the flush the next command decodes.
void tst_Decoder::commands()
{
    QFETCH(QByteArray, wire);
    QFETCH(QStringList, expected);
    const QList<Command> whole = decodeAll(wire);
    QCOMPARE(listing(whole), expected);
    Decoder d;
    QList<Command> bytewise;
    for (char b : wire)
        bytewise += d.feed(QByteArray(1, b));
    bytewise += d.flush();
    QVERIFY(bytewise == whole);
    QCOMPARE(listing(d.feed(hex("1b40"))), kReset);
}

void tst_Decoder::keptDataIsBounded()
{
    Decoder d;
    d.feed(hex("1d763000ffffffff"));
    for (int i = 0; i < 12; ++i)
        QVERIFY(d.feed(QByteArray(1024 * 1024, '\x7f')).isEmpty());
    const QList<Command> closed = d.flush();
    QCOMPARE(closed.size(), 1);
    QCOMPARE(closed.first().received, quint64(12) * 1024 * 1024);
    QCOMPARE(quint64(closed.first().data.size()), kMaxKeptData);
    QVERIFY(describe(closed.first()).endsWith(QStringLiteral(", 8388608 bytes kept")));
}

QTEST_GUILESS_MAIN(tst_Decoder)
#include "tst_decoder.moc"

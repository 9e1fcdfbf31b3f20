// The decoder against hand-written streams: the hex on the wire, the listing out.

#include "decoder/codetables.h"
#include "decoder/decoder.h"

#include <QStringDecoder>
#include <QTest>

using namespace Line;

static QStringList listing(const QList<Command> &commands)
{
    QStringList lines;
    for (const Command &c : commands)
        lines << describe(c);
    return lines;
}

// Each command's place in the stream as "offset+length".
static QStringList extents(const QList<Command> &commands)
{
    QStringList places;
    for (const Command &c : commands)
        places << QStringLiteral("%1+%2").arg(c.offset).arg(c.length);
    return places;
}

static constexpr auto hex = &QByteArray::fromHex; // skips the spaces

class tst_Decoder : public QObject
{
    Q_OBJECT

private slots:
    // The expected listing, a line per command.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QByteArray &wire, const QString &expected) {
            QTest::newRow(name) << wire << expected;
        };
        row("control", hex("1b40 0a0d09 1004 1005 1014 1016 1b5a05 1b5a0b"),
            "ESC @  reset\nLF  print and feed one line\nCR  carriage return\nHT  next tab stop\n"
            "DLE EOT  status query\nDLE ENQ  firmware query\nDLE DC4  clear print buffer\n"
            "DLE SYN  sleep mode\nESC Z 05  print head type 5 (80 mm, 576 dots)\n"
            "ESC Z 0B  print head type 11 (58 mm, 384 dots)");
        row("fonts", hex("1b2108 1b21ff 1b4d01 1b4d02"),
            "ESC ! 08  font bold\nESC ! FF  font italic, bold, double height, double width, reverse, "
            "underline, unused bits 05\nESC M 01  small font\nESC M 02  standard font");
        row("feeds and layout", hex("1b4a14 1b6405 1b3342 1b32 1b6101 1b6c08 1b5130 1b240201 1b6d04"),
            "ESC J 14  print and feed 20 dots\nESC d 05  print and feed 5 lines\n"
            "ESC 3 42  line spacing 66 dots\nESC 2  default line spacing\nESC a 01  align center\n"
            "ESC l 08  left margin 8 mm\nESC Q 30  print area ends at 48 mm\n"
            "ESC $ 02 01  absolute position 258 dots\nESC m 04  darkness 4");
        row("tabs, cuts, label, com", hex("1b4408182600 1b4400 1b69 1b6e 1d06 1d6101 1d280401 1d280602"),
            "ESC D  tab stops 8 24 38 mm\nESC D  tab stops cleared\nESC i  full cut\nESC n  partial cut\n"
            "GS ACK  next label\nGS a 01  call-back mode 1\nGS ( 04 01  UART 115200 bps, XON/XOFF flow control\n"
            "GS ( 06 02  UART 375000 bps, hardware flow control");
        row("QR", hex("1d286b0300314306 1d286b0300314531 1d286b0d00315030") + "0123456789"
                      + hex("1d286b0300315130 1d286b01003f 1d286b040031520041"),
            "GS ( k  QR module size 6\nGS ( k  QR error correction 31\nGS ( k  QR store 10 bytes \"0123456789\"\n"
            "GS ( k  QR print\nGS ( k  QR frame too short for a function\n"
            "GS ( k  QR function 31 52 00, 1 bytes (ignored)");
        row("images", hex("1d76300002000300112233445566 1d76300000000000 1d7630030100010080 1d71020000000000")
                          + hex("1d71010030010200") + QByteArray(608, '\x1b') + hex("1c700103"),
            "GS v 0  raster 2x3 (6 bytes)\nGS v 0  raster 0x0 (0 bytes)\nGS v 0  raster 1x1 (1 bytes), mode 3\n"
            "GS q  store bitmap 2, align 0, 0x0 (0 bytes)\nGS q  store bitmap 1, align 0, 304x2 (608 bytes)\n"
            "FS p 01 03  print stored bitmap 1, mode 3");
        QByteArray codes = hex("1d6840 1d7703 1d4801 1d4800 1d6b4b023132 1d6b4100");
        QString listed("GS h 40  bar code height 64 dots\nGS w 03  bar code module width 3\n"
                       "GS H 01  bar code text on\nGS H 00  bar code text off\n"
                       "GS k 4B  bar code of unknown symbology 4B \"12\"\nGS k A  bar code UPC-A \"\"");
        const char *const symbologies[][3] = {
            {"A", "UPC-A", "01234567890"}, {"B", "UPC-E", "012345"}, {"C", "EAN-13", "012345678901"},
            {"D", "EAN-8", "0123456"}, {"E", "Code 39", "123456RC302"}, {"F", "ITF", "12345678"},
            {"G", "Codabar", "a123456a"}, {"H", "Code 93", "12345678"}, {"I", "Code 128", "12345678"}};
        for (const auto &s : symbologies) {
            codes += "\x1dk" + QByteArray(s[0]) + char(qstrlen(s[2])) + s[2];
            listed += QStringLiteral("\nGS k %1  bar code %2 \"%3\"").arg(s[0], s[1], s[2]);
        }
        row("bar codes", codes, listed);
        row("text", hex("1b2100") + "say \"hi\"\\" + hex("0a 1e41 41a3a5a9ae80 410108421ea1 061b"),
            "ESC ! 00  font normal\ntext \"say \\\"hi\\\"\\\\\"\nLF  print and feed one line\n"
            "unknown 1 byte 1E\ntext \"AA£¥©®€AĈBạ؛\"");
        row("double-byte", hex("1c26 b7c9c1f7a3ac 0a 1c2e 1b4d01 1c26 42673836 1b4d01 2464 1c2e"),
            "FS &  double-byte mode on\ndouble-byte GB2312 \"飞流，\"\nLF  print and feed one line\n"
            "FS .  double-byte mode off\nESC M 01  small font\nFS &  double-byte mode on\n"
            "double-byte JIS X 0208 \"大原\"\nESC M 01  small font\ndouble-byte JIS X 0208 \"や\"\n"
            "FS .  double-byte mode off");
        row("unknown bytes", hex("07080b 1b40 1b99 1b1b40 1d7631"),
            "unknown 3 bytes 07 08 0B\nESC @  reset\nunknown 2 bytes 1B 99\nunknown 1 byte 1B\nESC @  reset\n"
            "unknown 2 bytes 1D 76\ntext \"1\"");
        row("truncated ESC", hex("1b"), "truncated 1B (command cut short)");
        row("truncated raster header", hex("1d763000"), "truncated 1D 76 30 00 (command cut short)");
        row("truncated QR frame", hex("1d286b0d0031"), "truncated 1D 28 6B 0D 00 31 (command cut short)");
        row("truncated code unit", hex("4105"), "text \"A\"\ntruncated 05 (command cut short)");
        row("unterminated tab list", hex("1b44") + QByteArray(34, '\x05'),
            "ESC D  tab stops" + QString(" 5").repeated(32) + " mm, no 00 after 32 stops\ntext \"\u0505\"");
        row("raster 65535x65535", hex("1d763000ffffffff 1b40"),
            "GS v 0  raster 65535x65535 (4294836225 bytes), cut short: 2 of 4294836225 bytes arrived");
        row("stored bitmap cut short", hex("1d710100ffff0100"),
            "GS q  store bitmap 1, align 0, 65535x1 (65535 bytes), cut short: 0 of 65535 bytes arrived");
        row("QR store cut short", hex("1d286bffff315030") + "abc",
            "GS ( k  QR store 65532 bytes \"abc\", cut short: 3 of 65532 bytes arrived");
        // The wider language of receipt printers: each command is followed by
        // ESC @, which must still decode.
        const char *const wider[][2] = {
            {"1b4501", "ESC E 01  bold on"},
            {"1b2d02", "ESC - 02  underline 2 dots"},
            {"1b2d31", "ESC - 31  underline 1 dot"},
            {"1b3401", "ESC 4 01  italic on"},
            {"1b4700", "ESC G 00  double strike off (drawn as bold)"},
            {"1b7401", "ESC t 01  code table 1 (not drawn: Latin-1 kept)"},
            {"1b7413", "ESC t 13  code table 19 (PC858)"},
            {"1b5203", "ESC R 03  international character set 3 (ignored)"},
            {"1b2002", "ESC SP 02  character spacing 2 dots"},
            {"1b7b01", "ESC { 01  upside down on"},
            {"1b5601", "ESC V 01  rotation by 90 degrees on (ignored)"},
            {"1b3d01", "ESC = 01  peripheral device 1 (ignored)"},
            {"1d4201", "GS B 01  reverse on"},
            {"1d2111", "GS ! 11  character size 2x2"},
            {"1d2170", "GS ! 70  character size 8x1"},
            {"1d6601", "GS f 01  bar code text font 1 (ignored)"},
            {"1d7201", "GS r 01  status request 1, not answered (ignored)"},
            {"1c2d01", "FS - 01  Kanji underline 1 (ignored)"},
            {"1c4301", "FS C 01  Kanji code system 1 (ignored)"},
            {"1c5701", "FS W 01  Kanji quadruple size on (ignored)"},
            {"1d5600", "GS V 00  full cut"},
            {"1d5601", "GS V 01  partial cut"},
            {"1d5630", "GS V 30  full cut"},
            {"1d5631", "GS V 31  partial cut"},
            {"1d4c2000", "GS L 20 00  left margin 32 dots"},
            {"1d578001", "GS W 80 01  print area width 384 dots"},
            {"1b5cf0ff", "ESC \\ F0 FF  relative position -16 dots"},
            {"1b5c1000", "ESC \\ 10 00  relative position +16 dots"},
            {"1c530102", "FS S 01 02  Kanji spacing 1 and 2 dots (ignored)"},
            {"1b63330f", "ESC c 3 0F  paper sensors that signal paper end 0F (ignored)"},
            {"1b633401", "ESC c 4 01  paper sensors that stop printing 01 (ignored)"},
            {"1b633500", "ESC c 5 00  panel buttons 00 (ignored)"},
            {"1d564110", "GS V 41 10  feed 16 dots and full cut"},
            {"1d564200", "GS V 42 00  feed 0 dots and partial cut"},
            {"1d566103", "GS V 61 03  feed 3 dots and full cut"},
            {"1d566201", "GS V 62 01  feed 1 dots and partial cut"},
            {"1b7000197d", "ESC p 00 19 7D  drawer pulse on pin 2, 50 ms on, 250 ms off (ignored)"},
            {"100401", "DLE EOT 01  real-time status 1"},
            {"100404", "DLE EOT 04  real-time status 4"},
            {"100502", "DLE ENQ 02  real-time request 2 (ignored)"},
            {"1004", "DLE EOT  status query"},
            {"1c284102003001", "FS ( A  Kanji character style, 2 bytes 30 01 (ignored)"},
            {"1d2845030003011b", "GS ( E  user setup, 3 bytes 03 01 1B (ignored)"},
            {"1d284c02003030", "GS ( L  graphics, 2 bytes 30 30 (ignored)"},
            {"1d284c02003032", "GS ( L  print stored graphics"},
            {"1d284c0c0030703001013110000100ffff", "GS ( L  graphics 16x1 dots stored (2 bytes)"},
            {"1d384c0c0000003070300202311000010080ff", "GS 8 L  graphics 16x1 dots stored (2 bytes), scale 2x2"},
            {"1d384c020000003002", "GS 8 L  print stored graphics"},
            {"1d384c00000000", "GS 8 L  graphics, 0 bytes (ignored)"},
            {"1b2a210200ffffff1b1b1b", "ESC * 21  column image 24-dot double density, 2 columns (6 bytes)"},
            {"1b2a0001001b", "ESC * 00  column image 8-dot single density, 1 columns (1 bytes)"},
            {"1d6b003031323334353637383930 00", "GS k 00  bar code UPC-A \"01234567890\" (ended by 00)"},
            {"1d6b04 2a41422a 00", "GS k 04  bar code Code 39 \"*AB*\" (ended by 00)"},
            {"1d6b06 4131323341 00", "GS k 06  bar code Codabar \"A123A\" (ended by 00)"},
            {"1d6b4a0a 28303129313233343536", "GS k J  bar code GS1-128 \"(01)123456\""},
            {"1d6b490b 7b424162632d3132333435", "GS k I  bar code Code 128 \"{BAbc-12345\""},
        };
        for (const auto &w : wider)
            QTest::newRow(w[1]) << hex(w[0]) + hex("1b40") << QString::fromUtf8(w[1]) + "\nESC @  reset";
        row("raster after a print area width", hex("1d578001 1d76300001000100 80 1b40"),
            "GS W 80 01  print area width 384 dots\nGS v 0  raster 1x1 (1 bytes)\nESC @  reset");
        row("code tables", hex("1b7400 8182 1b7410 80 1b7402 d5 1b7413 d5 1b7401 a3 1b7400 0a 1b40 a3"),
            "ESC t 00  code table 0 (PC437)\ntext \"üé\"\nESC t 10  code table 16 (WPC1252)\ntext \"€\"\n"
            "ESC t 02  code table 2 (PC850)\ntext \"ı\"\nESC t 13  code table 19 (PC858)\ntext \"€\"\n"
            "ESC t 01  code table 1 (not drawn: Latin-1 kept)\ntext \"£\"\nESC t 00  code table 0 (PC437)\n"
            "LF  print and feed one line\nESC @  reset\ntext \"£\"");
        row("old bar code without its 00", hex("1d6b00") + QByteArray(256, '1'),
            "GS k 00  bar code UPC-A \"" + QString(200, '1') + "...\" (no 00 after 255 bytes)\ntext \"1\"");
        row("unknown ESC c, ESC * and GS V", hex("1b6332 1b2a58 1d5658 1d3841"),
            "unknown 2 bytes 1B 63\ntext \"2\"\nunknown 2 bytes 1B 2A\ntext \"X\"\nunknown 2 bytes 1D 56\n"
            "text \"X\"\nunknown 2 bytes 1D 38\ntext \"A\"");
        row("GS ( non-letter stays the UART command", hex("1d282e01"),
            "GS ( 2E 01  UART speed code 46 (unknown), XON/XOFF flow control");
        row("truncated graphics frame", hex("1d284c0c003070"), "truncated 1D 28 4C 0C 00 30 70 (command cut short)");
        row("column image cut short", hex("1b2a21ffff00"),
            "ESC * 21  column image 24-dot double density, 65535 columns (196605 bytes), cut short: 1 of 196605 bytes arrived");
        row("bar code cut short", hex("1d6b41050102"),
            "GS k A  bar code UPC-A \"\\x01\\x02\", cut short: 2 of 5 bytes arrived");
    }

    // Whole or byte by byte, the same listing and the same places in the
    // stream, which the commands cover end to end; after the flush the next
    // command decodes and is placed after them.
    void commands()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, expected);
        const QList<Command> whole = decodeAll(wire);
        QCOMPARE(listing(whole).join('\n'), expected);
        quint64 next = 0;
        for (const Command &c : whole) {
            QCOMPARE(c.offset, next);
            QVERIFY(c.length > 0);
            next += c.length;
        }
        QCOMPARE(next, quint64(wire.size()));
        Decoder d;
        QList<Command> bytewise;
        for (char b : wire)
            bytewise += d.feed(QByteArray(1, b));
        QVERIFY((bytewise += d.flush()) == whole);
        QCOMPARE(extents(bytewise), extents(whole));
        const QList<Command> after = d.feed(hex("1b40"));
        QCOMPARE(listing(after), QStringList{"ESC @  reset"});
        QCOMPARE(extents(after), QStringList{QStringLiteral("%1+2").arg(wire.size())});
    }

    // The decoder's own code tables read as the system's converters of the
    // same name do, so a build without those converters prints the same.
    void codeTables()
    {
        QByteArray upper;
        for (int b = 0x80; b <= 0xFF; ++b)
            upper += char(b);
        int compared = 0;
        for (int n : {0, 2, 16, 19}) {
            const QString own = QString::fromUtf16(ownCodeTableUpperHalf(n), 128);
            QCOMPARE(QString::fromUtf16(codeTableUpperHalf(n), 128).size(), 128);
            QStringDecoder system(codeTableConverter(n));
            if (!system.isValid())
                continue;
            QCOMPARE(own, system(upper));
            ++compared;
        }
        if (compared == 0)
            QSKIP("this Qt has none of the converters; the own tables are what is drawn");
        for (int n : {1, 3, 17, 255})
            QVERIFY(!codeTableUpperHalf(n) && !codeTableName(n));
    }

    void keptDataIsBounded()
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
};

QTEST_GUILESS_MAIN(tst_Decoder)
#include "tst_decoder.moc"

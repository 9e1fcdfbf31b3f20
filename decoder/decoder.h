#ifndef TELVAR_LINE_DECODER_H
#define TELVAR_LINE_DECODER_H

// The controller's side of the line: turns the byte stream that arrives on the
// serial line back into commands. The virtual controller prints from it and the
// program's line monitor lists what went out with it. It is written from the controller's command
// tables alone and shares nothing with the program's encoder, so that each can
// be checked against the other.
//
// The decoder is incremental: bytes may arrive in chunks of any size, and a
// command split across chunks decodes exactly as if it had come whole. A
// command whose bytes stop arriving stays pending until flush(), which the
// virtual controller calls at the end of a job (a cut, a label feed or a
// silence on the line); flush() closes it as truncated so that the next
// command starts from a clean state.
//
// Two-byte text. Outside double-byte mode, a byte 01..06 is the high byte of a
// Unicode code unit (U+0100 to U+06FF) and takes the next byte as its low byte
// whatever its value, and 1E followed by A0..F9 is a code unit of U+1EA0 to
// U+1EF9. Inside double-byte mode (FS & ... FS .) printable bytes go in pairs:
// a pair of bytes A1..FE is GB2312, a pair of bytes 21..7E is JIS X 0208 in its
// 7-bit form. Control bytes and the command prefixes keep their meaning in
// both modes.
//
// Receipt software speaks the wider command language of receipt printers, to
// which this controller's set belongs. Those commands are known by their full
// length (fixed, a length field, or data up to a 00), so that what cannot be
// drawn is skipped whole and the next command still decodes. Where the two
// languages share bytes, this controller's meaning wins. ESC t selects the
// code table of the bytes 80..FF; ESC @ returns to Latin-1.

#include <QByteArray>
#include <QList>
#include <QString>

namespace Line {

enum class Op {
    Text,          // single-byte and Unicode text; `text` holds it decoded
    DoubleByte,    // text in double-byte mode; `text` decoded, `param[0]` 'G' or 'J'
    LineFeed,      // 0A
    CarriageReturn,// 0D
    Tab,           // 09
    Status,        // 10 04
    Firmware,      // 10 05
    ClearBuffer,   // 10 14
    Sleep,         // 10 16
    Reset,         // 1B 40
    PrintHead,     // 1B 5A n
    FeedDots,      // 1B 4A n
    FontAttributes,// 1B 21 n
    Align,         // 1B 61 n
    LineSpacing,   // 1B 33 n
    LineSpacingDefault, // 1B 32
    TabStops,      // 1B 44 n... 00; `data` holds the stops
    FeedLines,     // 1B 64 n
    LeftMargin,    // 1B 6C n
    RightMargin,   // 1B 51 n
    AbsolutePosition, // 1B 24 l h; `param[0]` the 16-bit position
    GrayScale,     // 1B 6D n
    FontMode,      // 1B 4D n
    FullCut,       // 1B 69
    PartialCut,    // 1B 6E
    DoubleByteOn,  // 1C 26
    DoubleByteOff, // 1C 2E
    PrintStoredBitmap, // 1C 70 n m
    ComMode,       // 1D 28 speed flow
    QrModuleSize,  // 1D 28 6B 03 00 31 43 n
    QrErrorCorrection, // 1D 28 6B 03 00 31 45 n
    QrStore,       // 1D 28 6B L H 31 50 30 data
    QrPrint,       // 1D 28 6B 03 00 31 51 30
    QrOther,       // a QR frame with another function or a short payload
    CallBack,      // 1D 61 n
    LabelHome,     // 1D 06
    Raster,        // 1D 76 30 m xL xH yL yH data
    BarcodeHeight, // 1D 68 n
    BarcodeWidth,  // 1D 77 n
    BarcodeText,   // 1D 48 n
    Barcode,       // 1D 6B s n data
    StoreBitmap,   // 1D 71 loc align xL xH yL yH data

    // The wider command language of receipt printers, read where its bytes do
    // not already mean one of this controller's own commands.
    Bold,          // 1B 45 n
    Underline,     // 1B 2D n: 0 off, 1 one dot, 2 two dots (or 30 to 32)
    Italic,        // 1B 34 n
    DoubleStrike,  // 1B 47 n, drawn as bold
    CodeTable,     // 1B 74 n
    CharacterSpacing, // 1B 20 n: dots right of every character
    UpsideDown,    // 1B 7B n
    Reverse,       // 1D 42 n
    CharacterSize, // 1D 21 n: width - 1 in the high nibble, height - 1 in the low
    LeftMarginDots,// 1D 4C l h; `param[0]` the 16-bit margin
    PrintAreaWidth,// 1D 57 l h; `param[0]` the 16-bit width
    RelativePosition, // 1B 5C l h; `param[0]` the signed 16-bit step
    Cut,           // 1D 56 m [n]; `param[0]` m, `param[1]` n (the feed) for m 41, 42, 61, 62
    ColumnImage,   // 1B 2A m nL nH data; `param[0]` m, `param[1]` the columns
    GraphicsStore, // 1D 28 4C / 1D 38 4C frame, function 112: `param[0]` width and
                   // `param[1]` height in dots, `param[2]` scale x | y << 8,
                   // `param[3]` tone | colour << 8 | kEightL; `data` the raster
    GraphicsPrint, // 1D 28 4C / 1D 38 4C frame, function 50; `param[3]` kEightL
    BarcodeZeroEnded, // 1D 6B m data 00 with m 00..06; `param[0]` m
    RealTimeStatus,   // 10 04 n with n 01..04, answered with one status byte
    RealTimeRequest,  // 10 05 n with n 01..04
    Ignored,       // known by its length, not drawn: `param[0]` the prefix byte,
                   // `param[1]` the command byte, `param[2]`, `param[3]` the
                   // parameters; a framed command keeps its letter in
                   // `param[2]` and its body in `data`
    Unknown,       // bytes that start no known command; `data` holds them
    Truncated,     // the incomplete head of a command at flush; `data` holds it
};

struct Command
{
    Op op = Op::Unknown;
    int param[4] = {0, 0, 0, 0};
    QByteArray data;         // the data bytes kept (at most kMaxKeptData)
    quint64 announced = 0;   // data bytes the header announced
    quint64 received = 0;    // data bytes that arrived
    QString text;            // decoded text of Text and DoubleByte
    bool truncated = false;  // closed by flush() before all data arrived
    // Where the command's bytes lie in the stream fed since the last reset():
    // the first byte's position and the count, header and data included.
    quint64 offset = 0;
    quint64 length = 0;

    bool operator==(const Command &other) const;
};

// Data beyond this many bytes is counted but not kept; a raster header can
// announce up to 4 GiB.
constexpr quint64 kMaxKeptData = 8 * 1024 * 1024;
// A tab stop list without its 00 ends after this many stops.
constexpr int kMaxTabStops = 32;
// The older bar code form ends its data with a 00; without one it ends after
// this many bytes.
constexpr int kMaxZeroEndedData = 255;
// Marks a graphics frame that came as GS 8 L (32-bit length) in `param[3]`.
constexpr int kEightL = 0x10000;

class Decoder
{
public:
    // Appends the bytes and returns the commands they complete.
    QList<Command> feed(const QByteArray &bytes);
    // Ends pending text and closes a pending command as truncated.
    QList<Command> flush();
    // The line has gone quiet: a status or firmware query that could still
    // have been waiting for the parameter byte of its real-time form is this
    // controller's own two-byte query. flush() does this first.
    QList<Command> settle();
    // True while such a query waits for the byte after it.
    bool awaitsQueryByte() const;
    void reset();

    bool doubleByteMode() const { return m_doubleByte; }
    // The command whose data is still arriving (`received` counts what has
    // come so far), or null.
    const Command *inProgress() const { return m_inData ? &m_dataCmd : nullptr; }

private:
    enum class Step { Done, NeedMore };
    Step parseOne(QList<Command> &out);
    void takeText(QList<Command> &out);
    void endText(QList<Command> &out);
    void endDoubleByte(QList<Command> &out);
    void endUnknown(QList<Command> &out);
    void endRuns(QList<Command> &out);
    void unknown(QList<Command> &out, int count);
    void startData(const Command &head, quint64 count, QList<Command> &out);
    void feedData(QList<Command> &out);
    void finishData(QList<Command> &out);
    void placeRun(Command &c) const;
    Step frame(QList<Command> &out, const uchar *p, qsizetype avail, int head, quint64 body);
    QChar singleByte(uchar b) const;
    quint64 streamPos() const { return m_base + quint64(m_pos); }

    QByteArray m_buf;      // bytes not yet consumed
    qsizetype m_pos = 0;   // first unconsumed byte in m_buf
    quint64 m_base = 0;    // stream position of m_buf's first byte
    quint64 m_step = 0;    // stream position of the command being parsed
    quint64 m_runStart = 0;// stream position of the open text or unknown run
    bool m_doubleByte = false;
    const char16_t *m_codeTable = nullptr; // bytes 80..FF after ESC t; null: Latin-1

    QString m_text;        // single-byte / Unicode text being collected
    QByteArray m_dbBytes;  // double-byte pairs being collected
    char m_dbKind = 0;
    Command m_unknown;     // unknown bytes being collected

    bool m_inData = false; // inside the data phase of a command
    Command m_dataCmd;
    quint64 m_dataLeft = 0;
};

// One line of the readable listing, e.g. "ESC @  reset".
QString describe(const Command &command);

// "UPC-A" ... "Code 128", "GS1-128" for the symbology bytes 41 to 4A, else empty.
QString barcodeName(int symbology);
// The symbology byte (41 to 47) of the older bar code form's m (00 to 06), else 0.
int zeroEndedSymbology(int m);
// GS V with m 01, 31, 42 or 62.
bool isPartialCut(const Command &command);
// Print head types 1, 5 and 8 are 80 mm heads of 576 dots, all others 58 mm.
bool isWideHead(int index);
QString headName(int index);

// Decodes the whole stream at once (fed in one piece, then flushed).
QList<Command> decodeAll(const QByteArray &bytes);

} // namespace Line

#endif

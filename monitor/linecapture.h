#ifndef TELVAR_LINECAPTURE_H
#define TELVAR_LINECAPTURE_H

// What went over the line, kept for the line monitor: the raw bytes of each
// direction, and the rows the monitor lists, made from them later.
//
// Recording only appends bytes and notes where they lie, so it costs a copy
// and nothing more in the script that sends them. takeNewRows() turns what was
// recorded since its last call into rows: sent bytes through the controller's
// command decoder, received bytes sixteen to a row, button presses as heading
// rows. Rows refer to their bytes by position and never copy them.
//
// The capture keeps the newest bytes up to its capacity; older ones are
// dropped, and with them the rows that pointed at them.

#include "decoder/decoder.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <deque>

class LineCapture
{
public:
    enum class Kind : quint8 { Heading, Sent, Received };

    struct Row
    {
        qint64 ms = 0;       // since the port was opened
        quint64 offset = 0;  // first byte in its direction's stream; a heading:
                             // the sent stream's length at the press
        quint64 length = 0;  // bytes; zero for a heading
        Kind kind = Kind::Heading;
        QString text;        // the decoded command or the button; empty when received
    };

    static constexpr qint64 kDefaultCapacity = 64 * 1024 * 1024;
    // Rows cost memory of their own; a flood of one-byte commands must not
    // make millions of them.
    static constexpr qsizetype kMaxRows = 1 << 20;
    // A reply is listed a burst at a time, as the port delivered it, in rows
    // of at most this many bytes: a flood of replies makes few rows.
    static constexpr int kReceivedRowBytes = 256;

    explicit LineCapture(qint64 capacity = kDefaultCapacity);

    void recordSent(const char *data, qsizetype size, qint64 ms);
    void recordReceived(const QByteArray &bytes, qint64 ms);
    void recordHeading(const QString &text, qint64 ms);
    bool hasPending() const { return !m_pending.isEmpty(); }

    // Rows for everything recorded since the last call. With `flush`, a
    // command still waiting for bytes is closed as it stands (the line has
    // gone quiet).
    QList<Row> takeNewRows(bool flush);
    // Rows at the front whose bytes are gone, or that exceed kMaxRows once
    // `incoming` more are added.
    qsizetype staleRows(qsizetype incoming) const;
    void dropFrontRows(qsizetype count);
    void appendRows(const QList<Row> &rows);

    const std::deque<Row> &rows() const { return m_rows; }
    QByteArray bytes(const Row &row) const;
    QByteArray bytes(Kind direction, quint64 offset, quint64 length) const;
    // Every sent byte still kept, in order.
    QByteArray allSent() const;
    quint64 keptBytes() const { return quint64(m_kept); }
    // The sent bytes kept lie from sentBegin() to sentTotal().
    quint64 sentBegin() const { return m_sent.begin(); }
    quint64 sentTotal() const { return m_sent.end(); }
    quint64 receivedTotal() const { return m_received.end(); }
    // True once older traffic was dropped to stay within the capacity.
    bool dropped() const { return m_dropped; }
    void clear();

private:
    // One direction's bytes as a queue of pieces of equal size, filled one
    // after the other, so memory follows the bytes kept however small the
    // writes; a position counts every byte since the last clear, so it stays
    // valid while old pieces go. A piece's sequence number tells when its
    // first byte came, to drop the older of the two directions first.
    class Stream
    {
    public:
        void append(const char *data, qsizetype size, quint64 sequence);
        QByteArray slice(quint64 offset, quint64 length) const;
        quint64 begin() const { return m_pieces.empty() ? m_end : m_pieces.front().start; }
        quint64 end() const { return m_end; }
        bool empty() const { return m_pieces.empty(); }
        quint64 frontSequence() const { return m_pieces.front().sequence; }
        qsizetype dropFront();
        void clear();

    private:
        struct Piece
        {
            quint64 start;
            quint64 sequence;
            QByteArray bytes;
        };
        std::deque<Piece> m_pieces;
        quint64 m_end = 0;
    };

    struct Pending
    {
        Kind kind;
        qint64 ms;
        quint64 offset;
        quint64 length;
        QString text;
    };

    const Stream &stream(Kind direction) const;
    void record(Kind kind, Stream &stream, const char *data, qsizetype size, qint64 ms);
    void keepWithinCapacity();
    void decoded(const QList<Line::Command> &commands, qint64 ms, QList<Row> &out);

    qint64 m_capacity;
    qint64 m_kept = 0;
    quint64 m_sequence = 0;
    bool m_dropped = false;
    Stream m_sent;
    Stream m_received;
    QList<Pending> m_pending;
    std::deque<Row> m_rows; // no reallocation of a million rows as it grows
    QSet<QString> m_texts; // recent row texts, shared by rows that repeat them
    Line::Decoder m_decoder;
    quint64 m_decoderBase = 0; // sent stream position of the decoder's first byte
    quint64 m_decoderEnd = 0;  // sent stream position after the last byte fed
    qint64 m_decoderMs = 0;    // when the last byte fed was sent
};

#endif

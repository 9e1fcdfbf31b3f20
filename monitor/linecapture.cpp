#include "monitor/linecapture.h"

#include <algorithm>

namespace {

// Bytes are kept in pieces of this size: a script of thousands of three-byte
// commands costs no more than its bytes.
constexpr qsizetype kPieceBytes = 64 * 1024;
constexpr qsizetype kSharedTexts = 4096;

} // namespace

void LineCapture::Stream::append(const char *data, qsizetype size, quint64 sequence)
{
    while (size > 0) {
        if (m_pieces.empty() || m_pieces.back().bytes.size() >= kPieceBytes) {
            m_pieces.push_back({m_end, sequence, QByteArray()});
            m_pieces.back().bytes.reserve(kPieceBytes);
        }
        QByteArray &piece = m_pieces.back().bytes;
        const qsizetype take = std::min(size, kPieceBytes - piece.size());
        piece.append(data, take);
        data += take;
        size -= take;
        m_end += quint64(take);
    }
}

QByteArray LineCapture::Stream::slice(quint64 offset, quint64 length) const
{
    QByteArray out;
    if (offset < begin() || offset + length > m_end || length == 0)
        return out;
    out.reserve(qsizetype(length));
    auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), offset,
                                  [](quint64 value, const Piece &p) { return value < p.start; });
    --piece; // the piece holding `offset`: begin() <= offset guarantees one
    quint64 left = length;
    for (; left > 0 && piece != m_pieces.end(); ++piece) {
        const quint64 from = offset - piece->start;
        const quint64 take = std::min(left, quint64(piece->bytes.size()) - from);
        out.append(piece->bytes.constData() + from, qsizetype(take));
        offset += take;
        left -= take;
    }
    return out;
}

qsizetype LineCapture::Stream::dropFront()
{
    const qsizetype size = m_pieces.front().bytes.size();
    m_pieces.pop_front();
    return size;
}

void LineCapture::Stream::clear()
{
    m_pieces.clear();
    m_end = 0;
}

LineCapture::LineCapture(qint64 capacity)
    : m_capacity(capacity)
{
}

void LineCapture::record(Kind kind, Stream &stream, const char *data, qsizetype size, qint64 ms)
{
    if (size <= 0)
        return;
    ++m_sequence;
    const quint64 offset = stream.end();
    stream.append(data, size, m_sequence);
    m_kept += size;
    if (!m_pending.isEmpty() && m_pending.constLast().kind == kind
        && m_pending.constLast().ms == ms && kind == Kind::Sent) {
        m_pending.last().length += quint64(size);
    } else {
        m_pending.append({kind, ms, offset, quint64(size), QString()});
    }
    keepWithinCapacity();
}

void LineCapture::recordSent(const char *data, qsizetype size, qint64 ms)
{
    record(Kind::Sent, m_sent, data, size, ms);
}

void LineCapture::recordReceived(const QByteArray &bytes, qint64 ms)
{
    record(Kind::Received, m_received, bytes.constData(), bytes.size(), ms);
}

void LineCapture::recordHeading(const QString &text, qint64 ms)
{
    // Where the press's bytes will begin, so that the paper it printed can be
    // found again.
    m_pending.append({Kind::Heading, ms, m_sent.end(), 0, text});
}

void LineCapture::keepWithinCapacity()
{
    while (m_kept > m_capacity && (!m_sent.empty() || !m_received.empty())) {
        const bool sentFirst = m_received.empty()
            || (!m_sent.empty() && m_sent.frontSequence() <= m_received.frontSequence());
        m_kept -= (sentFirst ? m_sent : m_received).dropFront();
        m_dropped = true;
    }
}

void LineCapture::decoded(const QList<Line::Command> &commands, qint64 ms, QList<Row> &out)
{
    for (const Line::Command &command : commands) {
        // Scripts repeat a few commands many times (LF, ESC ! 00): rows with
        // the same text share one copy of it.
        QString text = Line::describe(command);
        const auto seen = m_texts.constFind(text);
        if (seen != m_texts.constEnd()) {
            text = *seen;
        } else {
            if (m_texts.size() >= kSharedTexts)
                m_texts.clear();
            m_texts.insert(text);
        }
        out.append({ms, m_decoderBase + command.offset, command.length, Kind::Sent, text});
    }
}

QList<LineCapture::Row> LineCapture::takeNewRows(bool flush)
{
    QList<Row> out;
    for (const Pending &p : std::as_const(m_pending)) {
        if (p.kind == Kind::Heading) {
            // A press starts a new job: whatever the last one left open is
            // listed before its heading.
            decoded(m_decoder.flush(), p.ms, out);
            out.append({p.ms, p.offset, 0, Kind::Heading, p.text});
            continue;
        }
        const Stream &from = stream(p.kind);
        const quint64 end = p.offset + p.length;
        const quint64 start = std::max(p.offset, from.begin());
        if (start >= end)
            continue; // dropped before it was listed
        if (p.kind == Kind::Received) {
            // A reply means the controller has taken a query still waiting
            // for a byte that may extend it (DLE EOT, DLE ENQ) as it is: it
            // is listed before the answer. Anything else still open, such as
            // a raster whose data is on its way, stays open.
            decoded(m_decoder.settle(), m_decoderMs, out);
            for (quint64 at = start; at < end; at += kReceivedRowBytes)
                out.append({p.ms, at, std::min<quint64>(kReceivedRowBytes, end - at),
                            Kind::Received, QString()});
            continue;
        }
        if (start != m_decoderEnd) {
            // Bytes in between were dropped: the decoder starts afresh.
            m_decoder.reset();
            m_decoderBase = start;
        }
        decoded(m_decoder.feed(from.slice(start, end - start)), p.ms, out);
        m_decoderEnd = end;
        m_decoderMs = p.ms;
    }
    if (flush)
        decoded(m_decoder.flush(), m_decoderMs, out);
    m_pending.clear();
    return out;
}

qsizetype LineCapture::staleRows(qsizetype incoming) const
{
    qsizetype stale = 0;
    const auto gone = [this](const Row &row) {
        return row.kind != Kind::Heading && row.offset < stream(row.kind).begin();
    };
    const qsizetype count = qsizetype(m_rows.size());
    while (stale < count) {
        const Row &row = m_rows.at(stale);
        if (row.kind == Kind::Heading) {
            if (stale + 1 < count && gone(m_rows.at(stale + 1)))
                ++stale;
            else
                break;
        } else if (gone(row)) {
            ++stale;
        } else {
            break;
        }
    }
    const qsizetype over = count + incoming - kMaxRows;
    return std::clamp(std::max(stale, over), qsizetype(0), count);
}

void LineCapture::dropFrontRows(qsizetype count)
{
    if (count <= 0)
        return;
    m_rows.erase(m_rows.begin(), m_rows.begin() + count);
    m_dropped = true;
}

void LineCapture::appendRows(const QList<Row> &rows)
{
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
}

const LineCapture::Stream &LineCapture::stream(Kind direction) const
{
    return direction == Kind::Received ? m_received : m_sent;
}

QByteArray LineCapture::bytes(const Row &row) const
{
    return bytes(row.kind, row.offset, row.length);
}

QByteArray LineCapture::bytes(Kind direction, quint64 offset, quint64 length) const
{
    if (direction == Kind::Heading)
        return QByteArray();
    return stream(direction).slice(offset, length);
}

QByteArray LineCapture::allSent() const
{
    return m_sent.slice(m_sent.begin(), m_sent.end() - m_sent.begin());
}

void LineCapture::clear()
{
    m_sent.clear();
    m_received.clear();
    m_pending.clear();
    m_rows.clear();
    m_texts.clear();
    m_decoder.reset();
    m_decoderBase = 0;
    m_decoderEnd = 0;
    m_kept = 0;
    m_dropped = false;
}

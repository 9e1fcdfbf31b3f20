#include "preview/paperfeed.h"

#include "monitor/linemodel.h"

#include <algorithm>
#include <cstring>

namespace {

// A slice of decoding stops after this long, so that the window answers in
// between. Bytes go to the printer in small pieces: the dearest bytes, feeds
// to the 2 m limit and a cut, finish a page every 191 bytes, and a piece must
// not hold many of those. Raster data costs a copy per piece and goes through
// at hundreds of megabytes a second all the same.
constexpr qint64 kSliceMs = 5;
constexpr quint64 kPieceBytes = 256;

// The page from `torn` printed rows on, with the blank top every page has;
// null when nothing was printed below the tear.
QImage belowTear(const Paper::Page &page, int torn)
{
    if (torn <= 0)
        return page.image;
    const int top = Paper::Renderer::kPageTop;
    const int printed = page.image.height() - top - Paper::Renderer::pageTail(page.end);
    if (torn >= printed)
        return QImage();
    QImage rest(page.image.width(), page.image.height() - torn, page.image.format());
    for (int y = 0; y < rest.height(); ++y)
        memcpy(rest.scanLine(y), page.image.constScanLine(y < top ? y : y + torn),
               size_t(rest.bytesPerLine()));
    return rest;
}

} // namespace

PaperFeed::PaperFeed(LineModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    m_printer.onPage = [this](const Paper::Page &page) { addPage(page); };
    m_work.setSingleShot(true);
    m_work.setInterval(0);
    connect(&m_work, &QTimer::timeout, this, &PaperFeed::work);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &PaperFeed::silenceTimeout);
    // Positions in the capture start again from 0 when it is cleared, whether
    // or not the preview follows the line then.
    connect(m_model, &LineModel::modelReset, this, &PaperFeed::captureCleared);
}

void PaperFeed::follow(bool on)
{
    if (on == m_following)
        return;
    m_following = on;
    if (!on) {
        for (const QMetaObject::Connection &link : std::as_const(m_links))
            disconnect(link);
        m_links.clear();
        m_work.stop();
        m_silence.stop();
        m_lastSentMs = m_model->lastSentMs();
        return;
    }
    m_links << connect(m_model, &LineModel::sentRecorded, this, &PaperFeed::sent);
    m_links << connect(m_model, &LineModel::pressRecorded, this, [this] { at(Event::Press); });
    m_links << connect(m_model, &LineModel::clockRestarted, this, [this] {
        // A new connection starts a new job.
        m_opens = m_model->opens();
        at(Event::Silence);
    });
    catchUp();
}

// What was sent while nobody looked: its presses from the monitor's heading
// rows, and its silences from the gaps between the times of its rows.
void PaperFeed::catchUp()
{
    m_model->settle();
    const LineCapture &capture = m_model->capture();
    // Whatever waited to be drawn is found again in the rows.
    m_events.clear();
    m_silentAt = m_silenceDrawn;
    quint64 from = m_fedTo;
    bool sameConnection = m_model->opens() == m_opens;
    if (!sameConnection) {
        if (m_opens >= 0)
            silenceAt(m_fedTo);
        from = m_model->sentAtOpen();
        m_opens = m_model->opens();
    }
    if (from < capture.sentBegin()) {
        from = capture.sentBegin();
        m_dropped = true;
    }
    if (from > m_fedTo) {
        if (m_events.empty())
            silenceAt(m_fedTo);
        m_fedTo = from;
    }
    m_end = capture.sentTotal();

    const auto &rows = capture.rows();
    size_t first = rows.size();
    while (first > 0) {
        const LineCapture::Row &row = rows.at(first - 1);
        if (row.kind != LineCapture::Kind::Received && row.offset < from)
            break;
        --first;
    }
    // The last byte drawn before, on this connection's clock.
    qint64 lastMs = sameConnection ? m_lastSentMs : -1;
    for (size_t i = first; i < rows.size(); ++i) {
        const LineCapture::Row &row = rows.at(i);
        if (row.kind == LineCapture::Kind::Heading) {
            m_events.push_back({Event::Press, row.offset});
        } else if (row.kind == LineCapture::Kind::Sent) {
            if (lastMs >= 0 && row.ms - lastMs >= kSilenceMs)
                silenceAt(row.offset);
            lastMs = row.ms;
        }
    }
    const qint64 quiet = m_model->elapsedMs() - m_model->lastSentMs();
    if (m_end > m_silentAt) {
        if (quiet >= kSilenceMs)
            silenceAt(m_end);
        else
            m_silence.start(int(kSilenceMs - quiet));
    }
    schedule();
}

void PaperFeed::silenceAt(quint64 offset)
{
    m_events.push_back({Event::Silence, offset});
    m_silentAt = offset;
}

void PaperFeed::sent(quint64 offset, qsizetype size)
{
    m_end = offset + quint64(size);
    // Counted from the last byte when it runs out (silenceTimeout), so that a
    // write costs no restart of the timer.
    if (!m_silence.isActive())
        m_silence.start(kSilenceMs);
    schedule();
}

void PaperFeed::at(Event::Kind kind)
{
    const quint64 offset = m_model->capture().sentTotal();
    if (kind == Event::Silence)
        silenceAt(offset);
    else
        m_events.push_back({kind, offset});
    schedule();
}

void PaperFeed::silenceTimeout()
{
    if (m_end <= m_silentAt)
        return; // nothing sent since
    const qint64 quiet = m_model->elapsedMs() - m_model->lastSentMs();
    if (quiet < kSilenceMs)
        m_silence.start(int(kSilenceMs - quiet));
    else
        at(Event::Silence);
}

void PaperFeed::captureCleared()
{
    // Bytes not drawn yet are gone: what the printer holds of a command is
    // closed as it stands. The paper stays; the presses on it can no longer
    // be found in the monitor.
    if (m_fedTo < m_end)
        m_printer.silence();
    m_events.clear();
    m_marks.clear();
    m_fedTo = m_end = m_silentAt = m_silenceDrawn = 0;
    emit changed();
}

void PaperFeed::schedule()
{
    if (!m_work.isActive())
        m_work.start();
}

void PaperFeed::work()
{
    const LineCapture &capture = m_model->capture();
    QElapsedTimer clock;
    clock.start();
    do {
        while (!m_events.empty() && m_events.front().offset <= m_fedTo) {
            apply(m_events.front());
            m_events.pop_front();
        }
        if (m_fedTo >= m_end)
            break;
        if (m_fedTo < capture.sentBegin()) {
            // The capture dropped them before they were drawn.
            m_printer.silence();
            m_fedTo = capture.sentBegin();
            m_dropped = true;
            continue;
        }
        quint64 to = std::min(m_end, m_fedTo + kPieceBytes);
        if (!m_events.empty())
            to = std::min(to, m_events.front().offset);
        m_printer.feed(capture.bytes(LineCapture::Kind::Sent, m_fedTo, to - m_fedTo));
        m_fedTo = to;
    } while (clock.elapsed() < kSliceMs);
    keepWithinBound();
    if (busy())
        schedule();
    emit changed();
}

void PaperFeed::apply(const Event &event)
{
    if (event.kind == Event::Silence) {
        m_printer.silence();
        m_silenceDrawn = event.offset;
        return;
    }
    // A press comes long after the bytes before it: a query still waiting
    // for a parameter byte is complete, as the virtual controller takes it.
    if (m_printer.awaitsQueryByte())
        m_printer.settle();
    // Several presses without bytes between them share the place.
    if (!m_marks.empty() && m_marks.back().offset >= event.offset)
        return;
    m_marks.push_back({event.offset, serialInProgress(),
                       Paper::Renderer::kPageTop + renderer().paperRows() - m_tornRows});
    emit pressPlaced(event.offset);
}

void PaperFeed::addPage(const Paper::Page &page)
{
    const QImage image = belowTear(page, m_tornRows);
    m_tornRows = 0;
    if (image.isNull())
        return;
    m_pages.push_back({image, page.why});
    m_pageBytes += qint64(image.width()) * image.height();
    keepWithinBound();
}

void PaperFeed::keepWithinBound()
{
    const QSize inProgress = jobSize(int(m_pages.size()));
    const qint64 more = renderer().paperRows() > 0 ? qint64(inProgress.width()) * inProgress.height() : 0;
    if (m_pageBytes + more <= kKeptBytes)
        return;
    while (!m_pages.empty() && m_pageBytes + more > kKeptBytes) {
        m_pageBytes -= qint64(m_pages.front().image.width()) * m_pages.front().image.height();
        m_pages.pop_front();
        ++m_firstSerial;
        m_dropped = true;
    }
    const auto kept = std::find_if(m_marks.begin(), m_marks.end(),
                                   [this](const Mark &m) { return m.serial >= m_firstSerial; });
    m_marks.erase(m_marks.begin(), kept);
}

void PaperFeed::clear()
{
    m_firstSerial = serialInProgress();
    m_pages.clear();
    m_pageBytes = 0;
    m_marks.clear();
    m_dropped = false;
    m_tornRows = renderer().paperRows();
    emit changed();
}

int PaperFeed::jobCount() const
{
    return int(m_pages.size()) + (renderer().paperRows() > m_tornRows ? 1 : 0);
}

QSize PaperFeed::jobSize(int job) const
{
    if (!isInProgress(job))
        return page(job).size();
    const Paper::Renderer &r = renderer();
    return QSize(r.printWidth() + 2 * r.sideStrip(),
                 Paper::Renderer::kPageTop + r.paperRows() - m_tornRows
                     + Paper::Renderer::pageTail(Paper::Renderer::End::None));
}

QImage PaperFeed::pageNow(int job) const
{
    if (job < 0 || job > int(m_pages.size()))
        return QImage();
    if (!isInProgress(job))
        return page(job);
    // A copy of the printer, told that the line fell silent; the pages share
    // their pixels until one of them draws.
    Paper::Printer ending = m_printer;
    ending.onListing = nullptr;
    ending.onCommand = nullptr;
    QImage out;
    ending.onPage = [&](const Paper::Page &page) { out = belowTear(page, m_tornRows); };
    ending.silence();
    return out;
}

QString PaperFeed::endOf(int job) const
{
    return job >= 0 && job < int(m_pages.size()) ? m_pages.at(size_t(job)).why : QString();
}

bool PaperFeed::pressPlace(quint64 sentOffset, int *job, int *y) const
{
    const auto mark = std::lower_bound(m_marks.begin(), m_marks.end(), sentOffset,
                                       [](const Mark &m, quint64 offset) { return m.offset < offset; });
    if (mark == m_marks.end() || mark->offset != sentOffset)
        return false;
    *job = int(mark->serial - m_firstSerial);
    *y = mark->y;
    return true;
}

bool PaperFeed::pressAt(int job, int y, quint64 *sentOffset) const
{
    const quint64 serial = m_firstSerial + quint64(job);
    // The last press whose paper began at or before this place.
    const auto after = std::upper_bound(m_marks.begin(), m_marks.end(), std::make_pair(serial, y),
                                        [](const std::pair<quint64, int> &place, const Mark &m) {
                                            return place < std::make_pair(m.serial, m.y);
                                        });
    if (after == m_marks.begin())
        return false;
    *sentOffset = std::prev(after)->offset;
    return true;
}

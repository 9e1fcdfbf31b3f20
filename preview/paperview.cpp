#include "preview/paperview.h"

#include "preview/paperfeed.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// Desk around and between the jobs, in screen pixels.
constexpr int kMargin = 12;
constexpr int kGap = 12;
constexpr qint64 kFrameMs = 30;
// A 58 mm page, the width to fit before any paper is there.
constexpr int kDefaultPageWidth = 464;

// Rows `from` to `to` of a page, without a copy. Drawn scaled, a whole
// image would be converted for the screen first: 7 MB for 2 m of paper.
QImage rows(const QImage &page, int from, int to)
{
    return QImage(page.constScanLine(from), page.width(), to - from, page.bytesPerLine(), page.format());
}

} // namespace

PaperView::PaperView(PaperFeed *feed, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_feed(feed)
{
    setObjectName(QStringLiteral("previewPaper"));
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    // Fitted to the width, a scroll bar that came and went would change the
    // height it fits to.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(24);
    horizontalScrollBar()->setSingleStep(24);
    // Paper comes in slices of a few milliseconds; while more is coming the
    // screen shows it at most every kFrameMs, so that painting does not take
    // the time the slices leave to the rest of the program. The last of it
    // is shown at once.
    m_frame.setSingleShot(true);
    connect(&m_frame, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    connect(feed, &PaperFeed::changed, this, [this] {
        relayout();
        if (m_feed->busy()) {
            repaintSoon();
        } else {
            m_frame.stop();
            viewport()->update();
        }
    });
    // The user scrolling to the end makes the view follow the paper again.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        m_follow = value == verticalScrollBar()->maximum();
    });
    relayout();
}

double PaperView::scale() const
{
    switch (m_zoom) {
    case Zoom::Actual: return 1.0;
    case Zoom::Double: return 2.0;
    case Zoom::FitWidth: break;
    }
    return fitScale();
}

double PaperView::fitScale() const
{
    return std::max(0.1, double(viewport()->width() - 2 * kMargin) / widestPage());
}

int PaperView::scaled(int dots) const
{
    return int(std::lround(dots * scale()));
}

int PaperView::widestPage() const
{
    int widest = 0;
    for (int job = 0; job < m_feed->jobCount(); ++job)
        widest = std::max(widest, m_feed->jobSize(job).width());
    return widest > 0 ? widest : kDefaultPageWidth;
}

void PaperView::setZoom(Zoom zoom)
{
    if (zoom == m_zoom)
        return;
    // The paper at the top of the view stays there, unless the view follows the end.
    int job = -1, y = 0;
    const bool anchored = !m_follow && jobAt(QPoint(viewport()->width() / 2, 0), &job, &y);
    m_zoom = zoom;
    relayout();
    if (anchored)
        showPlace(job, y);
    viewport()->update();
}

void PaperView::relayout()
{
    const int jobs = m_feed->jobCount();
    m_tops.resize(size_t(jobs));
    int y = kMargin;
    for (int job = 0; job < jobs; ++job) {
        m_tops[size_t(job)] = y;
        y += scaled(m_feed->jobSize(job).height()) + kGap;
    }
    m_contentHeight = y - (jobs > 0 ? kGap : 0) + kMargin;
    m_contentWidth = scaled(widestPage()) + 2 * kMargin;

    const bool follow = m_follow;
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(viewport()->height());
    vertical->setRange(0, std::max(0, m_contentHeight - viewport()->height()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, m_contentWidth - viewport()->width()));
    if (follow)
        vertical->setValue(vertical->maximum());
    m_follow = follow || vertical->value() == vertical->maximum();
}

bool PaperView::jobAt(const QPoint &pos, int *job, int *y) const
{
    const int contentY = pos.y() + verticalScrollBar()->value();
    const auto after = std::upper_bound(m_tops.begin(), m_tops.end(), contentY);
    if (after == m_tops.begin())
        return false;
    const int found = int(after - m_tops.begin()) - 1;
    const QSize size = m_feed->jobSize(found);
    const int width = std::max(m_contentWidth, viewport()->width());
    const int left = (width - scaled(size.width())) / 2 - horizontalScrollBar()->value();
    const int row = int((contentY - m_tops[size_t(found)]) / scale());
    if (row >= size.height() || pos.x() < left || pos.x() >= left + scaled(size.width()))
        return false;
    *job = found;
    *y = row;
    return true;
}

int PaperView::jobInView() const
{
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    int best = -1, bestRows = 0;
    for (size_t job = 0; job < m_tops.size(); ++job) {
        const int from = std::max(top, m_tops[job]);
        const int to = std::min(bottom, m_tops[job] + scaled(m_feed->jobSize(int(job)).height()));
        if (to - from > 0 && to - from >= bestRows) {
            best = int(job);
            bestRows = to - from;
        }
    }
    return best;
}

void PaperView::showPlace(int job, int y)
{
    if (m_tops.empty())
        return;
    if (job >= int(m_tops.size())) {
        // Not printed yet: the end of the paper.
        job = int(m_tops.size()) - 1;
        y = m_feed->jobSize(job).height();
    }
    QScrollBar *vertical = verticalScrollBar();
    vertical->setValue(m_tops[size_t(std::max(0, job))] + scaled(y) - kMargin);
    m_follow = vertical->value() == vertical->maximum();
}

void PaperView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void PaperView::scrollContentsBy(int, int)
{
    repaintSoon();
}

void PaperView::repaintSoon()
{
    if (m_frame.isActive())
        return;
    const qint64 since = m_painted.isValid() ? m_painted.elapsed() : kFrameMs;
    m_frame.start(int(std::max<qint64>(0, kFrameMs - since)));
}

void PaperView::paintEvent(QPaintEvent *event)
{
    m_painted.start();
    QPainter p(viewport());
    const double s = scale();
    // Scaled to fit, dots are averaged; at 1:1 and 2:1 each stays a square.
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom == Zoom::FitWidth);
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const int width = std::max(m_contentWidth, viewport()->width());
    const auto first = std::upper_bound(m_tops.begin(), m_tops.end(), top);
    for (size_t job = size_t(std::max<qsizetype>(0, (first - m_tops.begin()) - 1));
         job < m_tops.size() && m_tops[job] < bottom; ++job) {
        const QSize size = m_feed->jobSize(int(job));
        const double x = (width - scaled(size.width())) / 2 - horizontalScrollBar()->value();
        const double y = m_tops[job] - top;
        // The rows of the page in sight.
        const int from = std::max(0, int(std::floor((0 - y) / s)));
        const int to = std::min(size.height(), int(std::ceil((viewport()->height() - y) / s)));
        if (to <= from)
            continue;
        const QRectF target(x, y + from * s, size.width() * s, (to - from) * s);
        if (!event->region().boundingRect().intersects(target.toAlignedRect()))
            continue;
        if (!m_feed->isInProgress(int(job))) {
            p.drawImage(target, rows(m_feed->page(int(job)), from, to));
            continue;
        }
        // The job in progress: its paper so far on the page it will be.
        p.fillRect(target, Qt::white);
        const Paper::Renderer &r = m_feed->renderer();
        const int shown = m_feed->firstShownRow();
        const int rowFrom = std::max(0, from - Paper::Renderer::kPageTop);
        const int rowTo = std::min(r.paperRows() - shown, to - Paper::Renderer::kPageTop);
        if (rowTo > rowFrom)
            p.drawImage(QRectF(x + r.sideStrip() * s, y + (Paper::Renderer::kPageTop + rowFrom) * s,
                               r.printWidth() * s, (rowTo - rowFrom) * s),
                        rows(r.paper(), shown + rowFrom, shown + rowTo));
    }
}

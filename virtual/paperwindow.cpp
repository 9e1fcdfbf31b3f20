#include "paperwindow.h"

#include "controller.h"

#include <QPainter>

namespace Virtual {

namespace {

// Finished paper kept for scrolling back: a few metres at 8 dots/mm.
constexpr int kKeptRows = 24000;
const QColor kDesk(58, 82, 110); // bluish, so that grey ink never blends into it

} // namespace

PaperWindow::PaperWindow(Controller &controller, std::function<QString()> status)
    : m_controller(controller)
    , m_status(std::move(status))
{
    controller.onPage = [this](const QImage &page) { addPage(page); };
    setTitle(QStringLiteral("telvar-virtual: paper"));
    resize(680, 800); // room for 80 mm paper, 640 dots with its roll edges
    m_refresh.setInterval(40);
    QObject::connect(&m_refresh, &QTimer::timeout, this, [this] { refreshIfChanged(); });
    m_refresh.start();
}

PaperWindow::~PaperWindow()
{
    m_controller.onPage = nullptr;
}

void PaperWindow::addPage(const QImage &page)
{
    m_pages << page;
    int rows = 0;
    for (const QImage &p : std::as_const(m_pages))
        rows += p.height();
    while (m_pages.size() > 1 && rows > kKeptRows) {
        rows -= m_pages.first().height();
        m_pages.removeFirst();
    }
    m_shownRows = -1;
}

void PaperWindow::refreshIfChanged()
{
    const QString status = m_status ? m_status() : QString();
    const int rows = m_controller.renderer().paperRows();
    if (status == m_shownStatus && rows == m_shownRows)
        return;
    m_shownStatus = status;
    m_shownRows = rows;
    update();
}

void PaperWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int statusTop = height() - kStatusHeight;
    p.fillRect(QRect(0, 0, width(), statusTop), kDesk);

    // The head: a dark bar across the bottom of the paper path.
    const int headTop = statusTop - kHeadHeight;
    p.fillRect(QRect(0, headTop, width(), kHeadHeight), QColor(30, 30, 30));

    // The paper being printed, its newest row just above the head.
    const Paper::Renderer &r = m_controller.renderer();
    const int width = r.printWidth();
    const int side = r.sideStrip();
    const int rows = r.paperRows();
    const int top = Paper::Renderer::kPageTop; // white paper above the first row, as on the pages
    int y = headTop - rows - top;
    const int x = (this->width() - width - 2 * side) / 2;
    p.fillRect(QRect(x, y, width + 2 * side, rows + top), Qt::white);
    if (rows > 0 && !r.paper().isNull())
        p.drawImage(QPoint(x + side, y + top), r.paper(), QRect(0, 0, width, rows));

    // Finished jobs above it, newest nearest.
    for (qsizetype i = m_pages.size() - 1; i >= 0 && y > 0; --i) {
        const QImage &page = m_pages.at(i);
        y -= page.height();
        p.drawImage(QPoint((this->width() - page.width()) / 2, y), page);
    }

    p.fillRect(QRect(0, statusTop, this->width(), kStatusHeight), QColor(236, 236, 236));
    p.setPen(Qt::black);
    p.drawText(QRect(8, statusTop, this->width() - 16, kStatusHeight), Qt::AlignVCenter | Qt::AlignLeft,
               m_shownStatus);
}

} // namespace Virtual

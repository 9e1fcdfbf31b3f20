#include "preview/paperpreview.h"

#include "monitor/linemonitor.h"
#include "preview/paperfeed.h"
#include "preview/paperview.h"
#include "render/pagefile.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

QAction *PaperPreview::addTo(QMenu *view, QWidget *window, LineMonitor *monitor)
{
    auto *toggle = new QAction(tr("&Paper Preview"), window);
    toggle->setObjectName(QStringLiteral("actionPaperPreview"));
    toggle->setCheckable(true);
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    view->addAction(toggle);
    QObject::connect(toggle, &QAction::toggled, window, [window, monitor, toggle](bool on) {
        auto *preview = window->findChild<PaperPreview *>(QString(), Qt::FindDirectChildrenOnly);
        if (!preview && !on)
            return;
        if (!preview)
            preview = new PaperPreview(window, monitor, toggle);
        preview->setVisible(on);
    });
    return toggle;
}

PaperPreview::PaperPreview(QWidget *window, LineMonitor *monitor, QAction *toggle)
    : QWidget(window, Qt::Tool)
    , m_monitor(monitor)
    , m_toggle(toggle)
    , m_feed(new PaperFeed(monitor->model(), this))
    , m_view(new PaperView(m_feed, this))
    , m_zoom(new QComboBox(this))
    , m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("paperPreview"));
    setWindowTitle(tr("Paper Preview"));
    resize(540, 760);
    addAction(m_toggle);

    auto *save = new QAction(tr("Save Page..."), this);
    save->setObjectName(QStringLiteral("previewSave"));
    save->setShortcut(QKeySequence::Save);
    auto *clear = new QAction(tr("Clear"), this);
    clear->setObjectName(QStringLiteral("previewClear"));
    m_zoom->setObjectName(QStringLiteral("previewZoom"));
    m_zoom->addItem(tr("Fit to width"), int(PaperView::Zoom::FitWidth));
    m_zoom->addItem(tr("1:1"), int(PaperView::Zoom::Actual));
    m_zoom->addItem(tr("2:1"), int(PaperView::Zoom::Double));
    m_zoom->setToolTip(tr("Zoom (Ctrl++, Ctrl+-, Ctrl+0 for 1:1)"));
    auto *tools = new QToolBar(this);
    tools->addAction(save);
    tools->addAction(clear);
    tools->addSeparator();
    tools->addWidget(m_zoom);

    auto *zoomIn = new QAction(tr("Zoom In"), this);
    zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    auto *zoomOut = new QAction(tr("Zoom Out"), this);
    zoomOut->setShortcut(QKeySequence::ZoomOut);
    auto *actual = new QAction(tr("Actual Size"), this);
    actual->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    addActions({zoomIn, zoomOut, actual});

    m_status->setObjectName(QStringLiteral("previewStatus"));
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tools);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);

    connect(save, &QAction::triggered, this, [this] { this->save(m_view->jobInView()); });
    connect(clear, &QAction::triggered, m_feed, &PaperFeed::clear);
    connect(m_zoom, &QComboBox::currentIndexChanged, this, [this] {
        m_view->setZoom(PaperView::Zoom(m_zoom->currentData().toInt()));
    });
    connect(zoomIn, &QAction::triggered, this, [this] { stepZoom(1); });
    connect(zoomOut, &QAction::triggered, this, [this] { stepZoom(-1); });
    connect(actual, &QAction::triggered, this, [this] {
        m_zoom->setCurrentIndex(m_zoom->findData(int(PaperView::Zoom::Actual)));
    });
    connect(m_view, &QWidget::customContextMenuRequested, this, &PaperPreview::contextMenu);
    connect(m_feed, &PaperFeed::changed, this, &PaperPreview::updateStatus);
    connect(m_feed, &PaperFeed::pressPlaced, this, [this](quint64 sentOffset) {
        if (m_wantsPress && sentOffset == m_wantedPress)
            showPress(sentOffset);
    });
    connect(monitor, &LineMonitor::headingSelected, this, [this](quint64 sentOffset) {
        if (isVisible())
            showPress(sentOffset);
    });
    updateStatus();
}

void PaperPreview::showEvent(QShowEvent *event)
{
    m_feed->follow(true);
    QWidget::showEvent(event);
}

void PaperPreview::hideEvent(QHideEvent *event)
{
    m_feed->follow(false);
    QWidget::hideEvent(event);
}

void PaperPreview::closeEvent(QCloseEvent *event)
{
    m_toggle->setChecked(false);
    QWidget::closeEvent(event);
}

// In and out through the three scales, ordered by what they show: fitted
// may be larger or smaller than 1:1.
void PaperPreview::stepZoom(int step)
{
    struct Level
    {
        PaperView::Zoom zoom;
        double scale;
    };
    QList<Level> levels{{PaperView::Zoom::FitWidth, m_view->fitScale()},
                        {PaperView::Zoom::Actual, 1.0},
                        {PaperView::Zoom::Double, 2.0}};
    std::stable_sort(levels.begin(), levels.end(),
                     [](const Level &a, const Level &b) { return a.scale < b.scale; });
    const double now = m_view->scale();
    constexpr double kSame = 1e-6;
    const Level *next = nullptr;
    for (const Level &level : std::as_const(levels)) {
        if (step > 0 && level.scale > now + kSame) {
            next = &level;
            break;
        }
        if (step < 0 && level.scale < now - kSame)
            next = &level;
    }
    if (next)
        m_zoom->setCurrentIndex(m_zoom->findData(int(next->zoom)));
}

void PaperPreview::save(int job)
{
    if (job < 0) {
        QMessageBox::information(this, tr("Save Page"), tr("There is no paper to save."));
        return;
    }
    QString path = QFileDialog::getSaveFileName(this, tr("Save Page"), QString(),
                                                tr("PNG image (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    savePage(job, path);
}

bool PaperPreview::savePage(int job, const QString &path)
{
    const QString title = tr("Save Page");
    const QImage page = m_feed->pageNow(job);
    if (page.isNull()) {
        QMessageBox::information(this, title, tr("There is no paper to save."));
        return false;
    }
    // The virtual controller's own writer: the same file it would write.
    QString reason;
    if (!Paper::savePng(page, path, &reason)) {
        QMessageBox::critical(this, title,
                              tr("Cannot save %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    return true;
}

void PaperPreview::showPress(quint64 sentOffset)
{
    int job = 0, y = 0;
    m_wantsPress = false;
    if (m_feed->pressPlace(sentOffset, &job, &y)) {
        m_note.clear();
        m_view->showPlace(job, y);
    } else if (m_feed->busy()) {
        // Its bytes are still being drawn.
        m_wantedPress = sentOffset;
        m_wantsPress = true;
    } else {
        m_note = tr("that press printed nothing kept here");
    }
    updateStatus();
}

bool PaperPreview::showInMonitor(const QPoint &pos)
{
    int job = 0, y = 0;
    quint64 sentOffset = 0;
    return m_view->jobAt(pos, &job, &y) && m_feed->pressAt(job, y, &sentOffset)
        && m_monitor->selectHeading(sentOffset);
}

void PaperPreview::contextMenu(const QPoint &pos)
{
    int job = -1, y = 0;
    quint64 sentOffset = 0;
    const bool onPaper = m_view->jobAt(pos, &job, &y);
    QMenu menu(this);
    QAction *show = menu.addAction(tr("Show in Line Monitor"));
    show->setEnabled(onPaper && m_feed->pressAt(job, y, &sentOffset));
    QAction *save = menu.addAction(tr("Save Page..."));
    save->setEnabled(onPaper);
    QAction *chosen = menu.exec(m_view->viewport()->mapToGlobal(pos));
    if (chosen == show && !m_monitor->selectHeading(sentOffset)) {
        m_note = tr("the Line Monitor no longer lists that press");
        updateStatus();
    } else if (chosen == save) {
        this->save(job);
    }
}

void PaperPreview::updateStatus()
{
    const int jobs = m_feed->jobCount();
    QString text = jobs == 1 ? tr("1 job") : tr("%1 jobs").arg(jobs);
    text += m_feed->renderer().printWidth() == 576 ? tr(", 80 mm head (576 dots)")
                                                   : tr(", 58 mm head (384 dots)");
    if (m_feed->droppedOlder())
        text += tr("; older paper dropped");
    if (!m_note.isEmpty())
        text += QStringLiteral("; ") + m_note;
    m_status->setText(text);
}

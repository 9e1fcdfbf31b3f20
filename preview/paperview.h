#ifndef TELVAR_PAPERVIEW_H
#define TELVAR_PAPERVIEW_H

// The paper of a PaperFeed, one job below the other on the desk, the newest at
// the bottom. While the view is scrolled to the end it stays there as paper
// comes; scrolled up, it stays where the user left it. Only the rows in sight
// are drawn, at 1:1, 2:1 or scaled to the window's width.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>

#include <vector>

class PaperFeed;

class PaperView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    enum class Zoom { FitWidth, Actual, Double };

    PaperView(PaperFeed *feed, QWidget *parent);

    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    // Screen pixels per dot, and what they would be fitted to the width.
    double scale() const;
    double fitScale() const;

    // The job and the row of its page under `pos` (viewport coordinates).
    bool jobAt(const QPoint &pos, int *job, int *y) const;
    // The job that fills most of the view, the newer of two alike; -1: none.
    int jobInView() const;
    // Scrolls row `y` of `job`'s page to the top of the view.
    void showPlace(int job, int y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void relayout();
    void repaintSoon();
    int scaled(int dots) const;
    int widestPage() const;

    PaperFeed *m_feed;
    Zoom m_zoom = Zoom::FitWidth;
    std::vector<int> m_tops; // each job's top in the content, at the scale
    int m_contentHeight = 0;
    int m_contentWidth = 0;
    bool m_follow = true;
    QTimer m_frame;
    QElapsedTimer m_painted;
};

#endif

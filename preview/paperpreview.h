#ifndef TELVAR_PAPERPREVIEW_H
#define TELVAR_PAPERPREVIEW_H

// The Paper Preview: a tool window beside the main window that shows the
// paper the controller should print, drawn by the virtual controller's own
// renderer from every byte the program sends on the line, job by job as that
// controller separates them. A page can be saved as the PNG the virtual
// controller would write, and a press of a button can be found both ways
// between the paper and the Line Monitor's heading rows.
//
// Only its entry in the View menu exists until it is first opened; while it
// is closed it decodes nothing (PaperFeed::follow).

#include <QWidget>

QT_BEGIN_NAMESPACE
class QAction;
class QComboBox;
class QLabel;
class QMenu;
QT_END_NAMESPACE

class LineMonitor;
class PaperFeed;
class PaperView;

class PaperPreview : public QWidget
{
    Q_OBJECT

public:
    // Adds "Paper Preview" to `view`; the window is made, owned by `window`,
    // when the entry is first checked.
    static QAction *addTo(QMenu *view, QWidget *window, LineMonitor *monitor);

    PaperPreview(QWidget *window, LineMonitor *monitor, QAction *toggle);

    PaperFeed *feed() const { return m_feed; }
    PaperView *view() const { return m_view; }

    // Writes the job's page (as it would end now, if still in progress) to
    // `path` as PNG; a box says why when it cannot.
    bool savePage(int job, const QString &path);
    // Scrolls to where the paper of the press whose bytes begin at
    // `sentOffset` starts; it is remembered until that paper is drawn.
    void showPress(quint64 sentOffset);
    // Selects that press's heading in the Line Monitor; false when the paper
    // at `pos` (of the view's viewport) belongs to no press it still lists.
    bool showInMonitor(const QPoint &pos);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void save(int job);
    void contextMenu(const QPoint &pos);
    void stepZoom(int step);
    void updateStatus();

    LineMonitor *m_monitor;
    QAction *m_toggle;
    PaperFeed *m_feed;
    PaperView *m_view;
    QComboBox *m_zoom;
    QLabel *m_status;
    quint64 m_wantedPress = 0;
    bool m_wantsPress = false;
    QString m_note;
};

#endif

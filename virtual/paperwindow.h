#ifndef TELVAR_VIRTUAL_PAPERWINDOW_H
#define TELVAR_VIRTUAL_PAPERWINDOW_H

// The paper as it comes out of the head: the newest row at the bottom, just
// above the head, older paper and finished jobs (with their cuts and label
// gaps) scrolling up. The status bar below says what the line model says.

#include <QImage>
#include <QList>
#include <QRasterWindow>
#include <QTimer>

#include <functional>

namespace Virtual {

class Controller;

class PaperWindow : public QRasterWindow
{
public:
    // Takes the controller's finished pages (its onPage).
    PaperWindow(Controller &controller, std::function<QString()> status);
    ~PaperWindow() override;

    static constexpr int kStatusHeight = 56;
    static constexpr int kHeadHeight = 10;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void addPage(const QImage &page);
    void refreshIfChanged();

    Controller &m_controller;
    std::function<QString()> m_status;
    QList<QImage> m_pages; // oldest first
    QTimer m_refresh;
    QString m_shownStatus;
    int m_shownRows = -1;
};

} // namespace Virtual

#endif

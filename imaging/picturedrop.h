#ifndef PICTUREDROP_H
#define PICTUREDROP_H

// Pictures that arrive without the file dialog: a file dropped on the window
// (or on the log pane, which would otherwise insert the file's address as
// text), and Ctrl+V while the Bitmaps tab is shown. A file, dropped or copied
// in a file manager, is handed on by name so that it loads exactly as if it
// had been chosen in the dialog; picture data without a file (copied from an
// image viewer or a web page) is handed on as an image.

#include <QObject>

QT_BEGIN_NAMESPACE
class QImage;
class QMimeData;
class QShortcut;
class QTabWidget;
class QWidget;
QT_END_NAMESPACE

class PictureDrop : public QObject
{
    Q_OBJECT

public:
    // Watches `window` and `alsoOn` for drops and pastes with Ctrl+V while
    // `page` is the current page of `tabs`.
    PictureDrop(QWidget *window, QWidget *alsoOn, QTabWidget *tabs, QWidget *page);

signals:
    void fileArrived(const QString &fileName);
    void imageArrived(const QImage &image, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool take(const QMimeData *data, const QString &name);
};

#endif // PICTUREDROP_H

#include "imaging/picturedrop.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QShortcut>
#include <QTabWidget>
#include <QUrl>
#include <QWidget>

namespace {

QString firstLocalFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return QString();
}

bool carriesPicture(const QMimeData *data)
{
    return data && (!firstLocalFile(data).isEmpty() || data->hasImage());
}

} // namespace

PictureDrop::PictureDrop(QWidget *window, QWidget *alsoOn, QTabWidget *tabs, QWidget *page)
    : QObject(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    alsoOn->installEventFilter(this);

    // A text field with the focus (the log pane) keeps Ctrl+V for itself.
    auto *paste = new QShortcut(QKeySequence::Paste, window);
    paste->setObjectName(QStringLiteral("shortcutPastePicture"));
    paste->setEnabled(tabs->currentWidget() == page);
    connect(tabs, &QTabWidget::currentChanged, paste,
            [paste, tabs, page] { paste->setEnabled(tabs->currentWidget() == page); });
    connect(paste, &QShortcut::activated, this, [this] {
        take(QGuiApplication::clipboard()->mimeData(), tr("Pasted image"));
    });
}

bool PictureDrop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (!carriesPicture(drag->mimeData()))
            break;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        if (!take(drop->mimeData(), tr("Dropped image")))
            break;
        drop->acceptProposedAction();
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

bool PictureDrop::take(const QMimeData *data, const QString &name)
{
    const QString file = firstLocalFile(data);
    if (!file.isEmpty()) {
        emit fileArrived(file);
        return true;
    }
    if (!data || !data->hasImage())
        return false;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return false;
    emit imageArrived(image, name);
    return true;
}

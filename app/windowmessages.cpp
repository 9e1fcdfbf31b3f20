#include "app/windowmessages.h"

#include <QMessageBox>

namespace WindowMessages {

namespace {

Receiver &receiver()
{
    static Receiver r;
    return r;
}

} // namespace

void setReceiver(Receiver r)
{
    receiver() = std::move(r);
}

static bool taken(QWidget *parent, Kind kind, const QString &title, const QString &text)
{
    if (!receiver())
        return false;
    receiver()(parent, Message{kind, title, text});
    return true;
}

void about(QWidget *parent, const QString &title, const QString &text)
{
    if (!taken(parent, Kind::About, title, text))
        QMessageBox::about(parent, title, text);
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    if (!taken(parent, Kind::Information, title, text))
        QMessageBox::information(parent, title, text);
}

void critical(QWidget *parent, const QString &title, const QString &text)
{
    if (!taken(parent, Kind::Critical, title, text))
        QMessageBox::critical(parent, title, text);
}

} // namespace WindowMessages

#ifndef TELVAR_WINDOWMESSAGES_H
#define TELVAR_WINDOWMESSAGES_H

// Every message box the main window raises goes through here. At the desk the
// box appears as it always did. A program that runs the window unattended
// (telvar-run) installs a receiver instead: it takes the box's title and text
// as the result of what was being done, and nothing waits for a click.

#include <QString>

#include <functional>

class QWidget;

namespace WindowMessages {

enum class Kind { About, Information, Critical };

struct Message
{
    Kind kind = Kind::About;
    QString title;
    QString text;
};

// Takes every message in place of its box; `parent` is the window that raised
// it. An empty receiver brings the boxes back.
using Receiver = std::function<void(QWidget *parent, const Message &message)>;
void setReceiver(Receiver receiver);

void about(QWidget *parent, const QString &title, const QString &text);
void information(QWidget *parent, const QString &title, const QString &text);
void critical(QWidget *parent, const QString &title, const QString &text);

} // namespace WindowMessages

#endif

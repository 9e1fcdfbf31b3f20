#ifndef TELVARTEST_H
#define TELVARTEST_H

// Drives the real window the way a user does: the settings dialog's "Custom"
// entry with a device path, the Connect action, clicks on buttons by object
// name, and message boxes closed and recorded as they come up.

#include "app/mainwindow.h"
#include "ptypair.h"

#include <QList>
#include <QString>
#include <QTimer>

class QAction;
class QMessageBox;
class SettingsDialog;

namespace TelvarTest {

struct SeenBox
{
    QString title;
    QString text;
    int icon = 0;
};

// Closes every message box that shows up while it lives, remembering what it
// said. Message boxes run their own event loop, so this polls from a timer.
class BoxCatcher
{
public:
    BoxCatcher();
    QList<SeenBox> boxes;

private:
    QTimer m_timer;
};

QAction *action(MainWindow &window, const char *name);
SettingsDialog *settingsDialog();
QString statusText(MainWindow &window);
QString logText(MainWindow &window);
// Puts `text` in the log pane, as if an earlier script had left it there,
// with the cursor at `cursorAt` when it is given.
void setLog(MainWindow &window, const QString &text, int cursorAt = -1);
// Hands `bytes` to the port in one write, as the encoder does.
bool queue(MainWindow &window, const QByteArray &bytes);
// Where two byte streams part, for a failure a reader can follow; empty when they are equal.
QString firstDifference(const QByteArray &got, const QByteArray &expected);

// Types `path` into the dialog's "Custom" entry and presses Apply.
void chooseCustomPort(const QString &path);
// Chooses `path` and triggers Connect; true when the port opened.
bool connectTo(MainWindow &window, const QString &path);

// Connects (again, after a Disconnect) to `path` with the settings dialog's
// speed and flow control entries of these texts ("9600", "XON/XOFF", "None").
bool connectAt(MainWindow &window, const QString &path, const QString &baud, const QString &flow);

// Presses the Controller tab's Apply with the speed radio button `radio`
// ("radioButton9600") and XON/XOFF chosen.
void applyUart(MainWindow &window, const char *radio);

// Brings the button's tab page to the front and clicks it (press and release).
void click(MainWindow &window, const char *objectName);
void press(MainWindow &window, const char *objectName);
void release(MainWindow &window, const char *objectName);

// Clicks the button with the port closed and checks the connection guard: its
// one box, the log pane left as it was and nothing on the line.
void expectGuard(MainWindow &window, PtyPair &pty, const char *objectName);

// A shown window connected to a fresh pseudo-terminal with default settings.
class ConnectedWindow
{
public:
    ConnectedWindow();
    bool connected = false;
    PtyPair pty;
    MainWindow window;
};

// Calls a private slot through the meta-object system, as the encoder slots
// are reachable from outside only that way.
template <typename... Args>
bool invoke(MainWindow &window, const char *slot, Args... args)
{
    return QMetaObject::invokeMethod(&window, slot, Qt::DirectConnection, args...);
}

} // namespace TelvarTest

#endif // TELVARTEST_H

#ifndef TELVAR_RUNNER_CONTROLS_H
#define TELVAR_RUNNER_CONTROLS_H

// The window's buttons and controls found by what a user reads on them: a
// button by its caption as shown (blanks trimmed, case and the mnemonic's &
// ignored) or its object name; a check box, radio button, combo box or spin
// box by its caption or its label's text, where an unambiguous beginning is
// enough. Only what the user can reach counts: the pages of the tab widget
// (the removed "Command" page does not) and nothing of other windows.

#include "runner/plan.h"

#include <QList>
#include <QString>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Runner {

class WindowControls
{
public:
    explicit WindowControls(QWidget *window);

    // Finds the step's button and the slot its script runs on; fills the
    // step's name with the caption when it has none. Empty when found, else
    // why not (no such button, with the closest caption; several; a button
    // that would wait for a dialog).
    QString resolvePress(Step &step) const;
    // Finds the control and checks the value; empty when both are fine.
    QString resolveSetting(Setting &setting) const;

    // Sets a resolved control on `window` as a user does it (a click on a
    // check box or radio button, a choice in a combo box); empty when done.
    static QString apply(QWidget *window, const Setting &setting);

    // Captions compared: blanks trimmed and folded, case ignored, a single
    // & dropped and && read as &.
    static QString normalized(const QString &caption);
    // A caption as the user reads it: "Clear Buffer & Line Feed".
    static QString shown(const QString &caption);

private:
    struct Control
    {
        QWidget *widget = nullptr;
        QString caption; // as shown
        Setting::Kind kind = Setting::Kind::Check;
    };
    struct Button
    {
        QString objectName;
        QString caption;
        QByteArray signal;
    };

    bool reachable(QWidget *widget) const;
    QString labelOf(QWidget *field) const;

    QWidget *m_window = nullptr;
    QList<Button> m_buttons;
    QList<Control> m_controls;
};

} // namespace Runner

#endif

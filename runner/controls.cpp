#include "runner/controls.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>

namespace Runner {

namespace {

// Buttons whose script opens a dialog and waits for its answer; the runner
// offers another way to the same script.
struct Waiting
{
    const char *objectName;
    const char *instead;
};
const Waiting waitingButtons[] = {
    {"pushButton_Load", "opens a file dialog that nobody would answer; use load: FILE instead"},
};

int distance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j]
                = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

QString quotedList(const QStringList &names)
{
    QStringList quoted;
    for (const QString &name : names)
        quoted << QLatin1Char('"') + name + QLatin1Char('"');
    return quoted.join(QStringLiteral(", "));
}

// The caption nearest to `wanted`, if it is near enough to be a slip.
QString closest(const QString &wanted, const QStringList &captions)
{
    const QString key = WindowControls::normalized(wanted);
    QString best;
    int bestDistance = std::max(2, int(key.size()) / 3) + 1;
    for (const QString &caption : captions) {
        const int d = distance(key, WindowControls::normalized(caption));
        if (d < bestDistance) {
            bestDistance = d;
            best = caption;
        }
    }
    return best;
}

std::optional<bool> onOff(const QString &value)
{
    const QString v = value.trimmed().toLower();
    for (const char *yes : {"on", "true", "yes", "1"}) {
        if (v == QLatin1String(yes))
            return true;
    }
    for (const char *no : {"off", "false", "no", "0"}) {
        if (v == QLatin1String(no))
            return false;
    }
    return std::nullopt;
}

} // namespace

QString WindowControls::normalized(const QString &caption)
{
    return shown(caption).simplified().toCaseFolded();
}

QString WindowControls::shown(const QString &caption)
{
    QString text;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&'))
                text += caption.at(++i);
            continue;
        }
        text += caption.at(i);
    }
    return text.trimmed();
}

WindowControls::WindowControls(QWidget *window)
    : m_window(window)
{
    const QMetaObject *meta = window->metaObject();
    const auto buttons = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->objectName().isEmpty() || !reachable(button))
            continue;
        for (const char *signal : {"released", "pressed"}) {
            const QByteArray slot = "on_" + button->objectName().toLatin1() + '_' + signal + "()";
            if (meta->indexOfSlot(slot.constData()) >= 0) {
                m_buttons.append({button->objectName(), shown(button->text()), signal});
                break;
            }
        }
        if (qobject_cast<QCheckBox *>(button))
            m_controls.append({button, shown(button->text()), Setting::Kind::Check});
        else if (qobject_cast<QRadioButton *>(button))
            m_controls.append({button, shown(button->text()), Setting::Kind::Radio});
    }
    for (QComboBox *box : window->findChildren<QComboBox *>()) {
        if (!box->objectName().isEmpty() && reachable(box))
            m_controls.append({box, labelOf(box), Setting::Kind::Combo});
    }
    for (QSpinBox *box : window->findChildren<QSpinBox *>()) {
        if (!box->objectName().isEmpty() && reachable(box))
            m_controls.append({box, labelOf(box), Setting::Kind::Spin});
    }
}

bool WindowControls::reachable(QWidget *widget) const
{
    if (widget->window() != m_window)
        return false;
    const auto tabWidgets = m_window->findChildren<QTabWidget *>();
    for (QTabWidget *tabs : tabWidgets) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->isAncestorOf(widget))
                return true;
        }
    }
    return false;
}

// The label a user reads beside a field: its buddy, or the one before it in
// its layout.
QString WindowControls::labelOf(QWidget *field) const
{
    for (QLabel *label : m_window->findChildren<QLabel *>()) {
        if (label->buddy() == field)
            return shown(label->text()).remove(QRegularExpression(QStringLiteral(":$")));
    }
    QLayout *layout = field->parentWidget() ? field->parentWidget()->layout() : nullptr;
    QWidget *label = nullptr;
    if (auto *form = qobject_cast<QFormLayout *>(layout)) {
        label = form->labelForField(field);
    } else if (auto *grid = qobject_cast<QGridLayout *>(layout)) {
        int row = 0, column = 0, rows = 0, columns = 0;
        const int index = grid->indexOf(field);
        if (index >= 0) {
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            if (QLayoutItem *item = column > 0 ? grid->itemAtPosition(row, column - 1) : nullptr)
                label = item->widget();
        }
    } else if (layout) {
        const int index = layout->indexOf(field);
        if (index > 0 && layout->itemAt(index - 1))
            label = layout->itemAt(index - 1)->widget();
    }
    if (auto *text = qobject_cast<QLabel *>(label))
        return shown(text->text()).remove(QRegularExpression(QStringLiteral(":$")));
    return QString();
}

QString WindowControls::resolvePress(Step &step) const
{
    const QString key = normalized(step.target);
    QList<Button> found;
    for (const Button &button : m_buttons) {
        if (normalized(button.caption) == key
            || button.objectName.compare(step.target.trimmed(), Qt::CaseInsensitive) == 0)
            found.append(button);
    }
    QStringList captions;
    for (const Button &button : m_buttons)
        captions << button.caption;
    if (found.isEmpty()) {
        const QString near = closest(step.target, captions);
        return near.isEmpty()
            ? QStringLiteral("no button \"%1\"; the buttons are %2")
                  .arg(step.target, quotedList(captions))
            : QStringLiteral("no button \"%1\"; did you mean \"%2\"?").arg(step.target, near);
    }
    if (found.size() > 1) {
        QStringList names;
        for (const Button &button : found)
            names << button.objectName;
        return QStringLiteral("\"%1\" names several buttons: %2; give the object name")
            .arg(step.target, quotedList(names));
    }
    const Button &button = found.first();
    for (const Waiting &waiting : waitingButtons) {
        if (button.objectName == QLatin1String(waiting.objectName))
            return QStringLiteral("\"%1\" %2").arg(button.caption, QLatin1String(waiting.instead));
    }
    step.buttonObject = button.objectName;
    step.buttonSignal = button.signal;
    if (step.name.isEmpty())
        step.name = button.caption;
    return QString();
}

QString WindowControls::resolveSetting(Setting &setting) const
{
    const QString key = normalized(setting.control);
    QList<const Control *> exact, prefixed;
    QStringList all;
    for (const Control &control : m_controls) {
        const QString caption = normalized(control.caption);
        all << (control.caption.isEmpty() ? control.widget->objectName() : control.caption);
        if (caption == key
            || control.widget->objectName().compare(setting.control.trimmed(), Qt::CaseInsensitive)
                == 0)
            exact.append(&control);
        else if (!caption.isEmpty() && caption.startsWith(key))
            prefixed.append(&control);
    }
    const QList<const Control *> &found = exact.isEmpty() ? prefixed : exact;
    if (found.isEmpty()) {
        const QString near = closest(setting.control, all);
        return QStringLiteral("with: no control \"%1\"%2; the controls are %3")
            .arg(setting.control,
                 near.isEmpty() ? QString() : QStringLiteral(" (did you mean \"%1\"?)").arg(near),
                 quotedList(all));
    }
    if (found.size() > 1) {
        QStringList names;
        for (const Control *control : found)
            names << control->caption;
        return QStringLiteral("with: \"%1\" fits several controls: %2")
            .arg(setting.control, quotedList(names));
    }
    const Control &control = *found.first();
    setting.objectName = control.widget->objectName();
    setting.kind = control.kind;
    const QString name = control.caption.isEmpty() ? setting.objectName : control.caption;
    switch (control.kind) {
    case Setting::Kind::Check: {
        const auto on = onOff(setting.value);
        if (!on)
            return QStringLiteral("with: \"%1\" is a check box: give on or off, not \"%2\"")
                .arg(name, setting.value);
        setting.number = *on;
        break;
    }
    case Setting::Kind::Radio: {
        const auto on = onOff(setting.value);
        if (!on || !*on)
            return QStringLiteral(
                       "with: \"%1\" is a radio button: it can only be chosen (on); choose another of its group instead of \"%2\"")
                .arg(name, setting.value);
        setting.number = 1;
        break;
    }
    case Setting::Kind::Combo: {
        auto *box = static_cast<QComboBox *>(control.widget);
        const QString wanted = normalized(setting.value);
        QList<int> exactItems, prefixItems;
        QStringList items;
        for (int i = 0; i < box->count(); ++i) {
            const QString item = normalized(box->itemText(i));
            items << box->itemText(i);
            if (item == wanted)
                exactItems << i;
            else if (item.startsWith(wanted))
                prefixItems << i;
        }
        const QList<int> &matches = exactItems.isEmpty() ? prefixItems : exactItems;
        if (matches.size() != 1)
            return QStringLiteral("with: \"%1\" has %2 entry \"%3\"; its entries are %4")
                .arg(name,
                     matches.isEmpty() ? QStringLiteral("no") : QStringLiteral("more than one"),
                     setting.value, quotedList(items));
        setting.number = matches.first();
        break;
    }
    case Setting::Kind::Spin: {
        auto *box = static_cast<QSpinBox *>(control.widget);
        bool ok = false;
        const int value = setting.value.trimmed().toInt(&ok);
        if (!ok || value < box->minimum() || value > box->maximum())
            return QStringLiteral("with: \"%1\" takes a whole number from %2 to %3, not \"%4\"")
                .arg(name)
                .arg(box->minimum())
                .arg(box->maximum())
                .arg(setting.value);
        setting.number = value;
        break;
    }
    }
    return QString();
}

QString WindowControls::apply(QWidget *window, const Setting &setting)
{
    QWidget *widget = nullptr;
    for (QWidget *candidate : window->findChildren<QWidget *>(setting.objectName)) {
        if (candidate->window() == window)
            widget = candidate;
    }
    if (!widget)
        return QStringLiteral("with: \"%1\" is not on this window").arg(setting.control);
    if (!widget->isEnabled())
        return QStringLiteral("with: \"%1\" cannot be set now: it is disabled")
            .arg(setting.control);
    switch (setting.kind) {
    case Setting::Kind::Check:
    case Setting::Kind::Radio: {
        auto *button = static_cast<QAbstractButton *>(widget);
        if (button->isChecked() != bool(setting.number))
            button->click();
        break;
    }
    case Setting::Kind::Combo:
        static_cast<QComboBox *>(widget)->setCurrentIndex(setting.number);
        break;
    case Setting::Kind::Spin:
        static_cast<QSpinBox *>(widget)->setValue(setting.number);
        break;
    }
    return QString();
}

} // namespace Runner

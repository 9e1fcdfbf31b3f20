#include "telvartest.h"

#include "serial/settingsdialog.h"

#include <QTest>
#include <QtWidgets>

#include <algorithm>

namespace TelvarTest {

BoxCatcher::BoxCatcher()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || !box->isVisible())
                continue;
            boxes.append({box->windowTitle(), box->text(), int(box->icon())});
            box->done(QMessageBox::Ok);
        }
    });
    m_timer.start();
}

QAction *action(MainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QString::fromLatin1(name));
}

SettingsDialog *settingsDialog()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            return dialog;
    }
    return nullptr;
}

QString statusText(MainWindow &window)
{
    auto *bar = window.findChild<QStatusBar *>(QStringLiteral("statusBar"));
    const auto labels = bar->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    return labels.isEmpty() ? QString() : labels.first()->text();
}

QString logText(MainWindow &window)
{
    return window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))->toPlainText();
}

void setLog(MainWindow &window, const QString &text, int cursorAt)
{
    auto *pane = window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    pane->setPlainText(text);
    if (cursorAt < 0)
        return;
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(cursorAt);
    pane->setTextCursor(cursor);
}

bool queue(MainWindow &window, const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    return invoke(window, "Write", Q_ARG(const uint8_t *, data), Q_ARG(size_t, size_t(bytes.size())));
}

QString firstDifference(const QByteArray &got, const QByteArray &expected)
{
    if (got == expected)
        return QString();
    const auto at = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
    return QStringLiteral("%1 of %2 bytes; from byte %3 on: %4 instead of %5")
        .arg(got.size()).arg(expected.size()).arg(at)
        .arg(QString::fromLatin1(got.mid(at, 8).toHex(' ')), QString::fromLatin1(expected.mid(at, 8).toHex(' ')));
}

void chooseCustomPort(const QString &path)
{
    SettingsDialog *dialog = settingsDialog();
    auto *ports = dialog->findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"));
    ports->setCurrentIndex(ports->count() - 1);
    ports->setEditText(path);
    dialog->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
}

bool connectTo(MainWindow &window, const QString &path)
{
    action(window, "actionConfigure")->trigger();
    chooseCustomPort(path);
    action(window, "actionConnect")->trigger();
    return statusText(window).startsWith(QLatin1String("Connected to "));
}

bool connectAt(MainWindow &window, const QString &path, const QString &baud, const QString &flow)
{
    action(window, "actionDisconnect")->trigger();
    action(window, "actionConfigure")->trigger();
    SettingsDialog *dialog = settingsDialog();
    auto *baudBox = dialog->findChild<QComboBox *>(QStringLiteral("baudRateBox"));
    auto *flowBox = dialog->findChild<QComboBox *>(QStringLiteral("flowControlBox"));
    baudBox->setCurrentIndex(baudBox->findText(baud));
    flowBox->setCurrentIndex(flowBox->findText(flow));
    chooseCustomPort(path);
    action(window, "actionConnect")->trigger();
    return statusText(window).startsWith(QLatin1String("Connected to "));
}

static QAbstractButton *bringForward(MainWindow &window, const char *objectName)
{
    auto *button = window.findChild<QAbstractButton *>(QString::fromLatin1(objectName));
    if (!button)
        return nullptr;
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("mainTabsTelvar"));
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(button))
            tabs->setCurrentIndex(i);
    }
    return button;
}

void click(MainWindow &window, const char *objectName)
{
    QAbstractButton *button = bringForward(window, objectName);
    QVERIFY2(button, objectName);
    QTest::mouseClick(button, Qt::LeftButton);
}

void press(MainWindow &window, const char *objectName)
{
    QAbstractButton *button = bringForward(window, objectName);
    QVERIFY2(button, objectName);
    // The cursor rests on the button while it is held down; left elsewhere,
    // the next mouse move the window system reports would slide off the
    // button and release it early.
    QCursor::setPos(button->mapToGlobal(button->rect().center()));
    QCoreApplication::processEvents();
    QTest::mousePress(button, Qt::LeftButton);
}

void release(MainWindow &window, const char *objectName)
{
    QAbstractButton *button = bringForward(window, objectName);
    QVERIFY2(button, objectName);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// A radio button takes clicks on its circle and caption only, which the
// middle of a wide button misses.
void applyUart(MainWindow &window, const char *radio)
{
    for (const char *name : {radio, "radioButtonSoftFlow"}) {
        auto *button = window.findChild<QRadioButton *>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        QVERIFY2(button->isChecked(), name);
    }
    click(window, "pushButtonApply");
}

void expectGuard(MainWindow &window, PtyPair &pty, const char *objectName)
{
    const QString before = QStringLiteral("kept as it was");
    setLog(window, before);

    BoxCatcher catcher;
    click(window, objectName);
    QTRY_COMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Serial Port Connect"));
    QCOMPARE(catcher.boxes.first().text,
             QStringLiteral("Please configure and connect to the serial port first!"));
    QCOMPARE(logText(window), before);
    QCOMPARE(pty.readUntilQuiet(100), QByteArray());
}

ConnectedWindow::ConnectedWindow()
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || !pty.isOpen())
        return;
    connected = connectTo(window, pty.slavePath());
}

} // namespace TelvarTest

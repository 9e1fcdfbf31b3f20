#include "telvartest.h"

#include <QAbstractButton>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QTest>

// Every button that talks to the controller, with the port closed: the
// connection guard's box and nothing else. The buttons come from the window's
// own slots, so a new script is covered the day it is connected.

using namespace TelvarTest;

class tst_Guard : public QObject
{
    Q_OBJECT

private slots:
    void everyScriptButton_data();
    void everyScriptButton();
};

void tst_Guard::everyScriptButton_data()
{
    QTest::addColumn<QByteArray>("button");

    MainWindow window;
    const QRegularExpression handler(QStringLiteral("^on_(pushButton\\w+)_(released|pressed)\\(\\)$"));
    const QMetaObject *meta = window.metaObject();
    int buttons = 0;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QRegularExpressionMatch m =
            handler.match(QString::fromLatin1(meta->method(i).methodSignature()));
        if (!m.hasMatch())
            continue;
        const QString name = m.captured(1);
        QVERIFY2(window.findChild<QAbstractButton *>(name), qPrintable(name));
        ++buttons;
        // Loading a picture works offline and sends nothing.
        if (name == QLatin1String("pushButton_Load"))
            continue;
        QTest::newRow(qPrintable(name)) << name.toLatin1();
    }
    // Fifteen General, eleven bar code, three image, four cutter and thirteen
    // controller buttons.
    QCOMPARE(buttons, 46);
}

void tst_Guard::everyScriptButton()
{
    QFETCH(QByteArray, button);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    action(cw.window, "actionDisconnect")->trigger();
    expectGuard(cw.window, cw.pty, button.constData());
}

QTEST_MAIN(tst_Guard)
#include "tst_guard.moc"

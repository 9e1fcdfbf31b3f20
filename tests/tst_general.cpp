#include "telvartest.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

class tst_General : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void script_data();
    void script();
    void nextLabelActsOnPress();
    void replyShownWhenItArrives_data();
    void replyShownWhenItArrives();
};

void tst_General::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_General::script_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");

    QTest::newRow("Reset") << QByteArray("pushButtonReset") << QByteArray::fromHex("1b40")
                           << QStringLiteral("Resets and initilizes to default values");
    QTest::newRow("Clear") << QByteArray("pushButtonClear") << QByteArray::fromHex("10140a")
                           << QStringLiteral("Clears the cyclic print buffer and line feeds");
    QTest::newRow("Version") << QByteArray("pushButtonVersion") << QByteArray::fromHex("1005")
                             << QString();
    QTest::newRow("Status") << QByteArray("pushButtonStatus") << QByteArray::fromHex("1004")
                            << QString();
    QTest::newRow("Power Managment")
        << QByteArray("pushButtonPowerManagment") << QByteArray::fromHex("1016")
        << QStringLiteral("Setting controller into sleep mode.\n"
                          "Send any command to exit sleep mode and then continue printing...");
    QTest::newRow("Next Label") << QByteArray("pushButtonNextLabel") << QByteArray::fromHex("1d06")
                                << QStringLiteral("Moving to top of next label");
    QTest::newRow("Print Label")
        << QByteArray("pushButtonTestLabel")
        << QByteArray::fromHex("1b6100" "1b2100") + "Label Print\n"
               + QByteArray::fromHex("1b2100") + "Label text\n"
               + QByteArray::fromHex("1b2108") + "Label text Bold\n" + QByteArray::fromHex("1d06")
        << QStringLiteral("Printing sample label and moving to new label");
}

void tst_General::script()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    auto *pane = cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    pane->setPlainText(QStringLiteral("left over from before"));

    click(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);
}

void tst_General::nextLabelActsOnPress()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    press(cw.window, "pushButtonNextLabel");
    QCOMPARE(cw.pty.read(2).toHex(' '), QByteArray("1d 06"));
    release(cw.window, "pushButtonNextLabel");
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());
}

void tst_General::replyShownWhenItArrives_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("query");
    QTest::newRow("Version") << QByteArray("pushButtonVersion") << QByteArray::fromHex("1005");
    QTest::newRow("Status") << QByteArray("pushButtonStatus") << QByteArray::fromHex("1004");
}

void tst_General::replyShownWhenItArrives()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, query);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, button.constData());
    QCOMPARE(cw.pty.read(query.size()), query);
    QVERIFY(logText(cw.window).isEmpty());

    cw.pty.write("RC30x FW 1.22 \xC2\xB5" "C\r\n");
    QTRY_VERIFY(logText(cw.window).endsWith(QLatin1Char('\n')));
    QCOMPARE(logText(cw.window), QString::fromUtf8("RC30x FW 1.22 \xC2\xB5" "C\n"));
}

QTEST_MAIN(tst_General)
#include "tst_general.moc"

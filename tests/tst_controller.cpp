#include "telvartest.h"

#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

class tst_Controller : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void send_data();
    void send();
};

void tst_Controller::send_data()
{
    QTest::addColumn<QStringList>("checked"); // radio buttons left checked; empty: as at start-up
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("onPress");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");

    const auto apply = [](const char *tag, const QStringList &checked, const char *hex) {
        QTest::newRow(tag) << checked << QByteArray("pushButtonApply") << false
                           << QByteArray::fromHex(hex)
                           << QStringLiteral("Setting UART com speed and flow control. Startup default "
                                             "settings are 115200bps and XON/XOFF\nAfter issuing this "
                                             "command you must adjust your host UART settings as well by "
                                             "diconnecting and connectin with the right settings");
    };
    apply("start-up selection", {}, "1d280401");
    apply("375000 hardware", {"radioButton375000", "radioButtonHardFlow"}, "1d280602");
    apply("9600 none", {"radioButton9600", "radioButtonNoFlow"}, "1d280000");
    apply("nothing checked falls back", {"none"}, "1d280401");
    apply("first checked wins",
          {"radioButton375000", "radioButton19200", "radioButtonHardFlow", "radioButtonNoFlow"},
          "1d280100");

    const auto head = [](const char *button, const char *hex, const char *type,
                         const char *controller, bool onPress = false) {
        QTest::newRow(button) << QStringList() << QByteArray(button) << onPress
                              << QByteArray::fromHex(hex)
                              << QStringLiteral("Setting Print Head to Type: %1\nUpdating %2 controller "
                                                "flash...").arg(type, controller);
    };
    head("pushButtonFTP628", "1b5a00", "0 - 58mm FTP628MCL101 or compatible", "RC30x");
    head("pushButtonFTP638", "1b5a01", "1 - 80mm FTP638MCL101 or compatible", "RC30x");
    head("pushButtonLTP0213", "1b5a02", "2 - 58mm Seiko LTP02-245-13 or compatible", "RC30x");
    head("pushButtonLTP02C1", "1b5a03", "3 - 58mm Seiko LTP02-245-C1 or compatible", "RC30x");
    head("pushButton58_384", "1b5a04", "4 - 58mm 384 dots with cutter 7.2V/24V", "RC304B");
    head("pushButton80_576", "1b5a05", "5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", "RC304B");
    head("pushButtonM23_H69", "1b5a06", "6 - 58mm M23-DH-H69 or compatible", "RC30x", true);
    head("pushButtonM23_SX", "1b5a07", "7 - 58mm M23-SX or compatible", "RC30x");
    head("pushButtonSeiko345", "1b5a08", "8 - 80mm Seiko LTPV345 or compatible", "RC305");
    head("pushButtonPT486HLV", "1b5a09", "9 - 58mm PT486HLV or compatible", "RC30x");
    head("pushButtonJX2R39BQ", "1b5a0a", "10 - 58mm JX2R39BQ Label printer or compatible", "RC304B");
    head("pushButtonATP2SMP8", "1b5a0b", "11 - 58mm ATP2SMP8 or compatible", "RC30x");
}

// Pressing and releasing separately shows which of the two sends.
void tst_Controller::send()
{
    QFETCH(QStringList, checked);
    QFETCH(QByteArray, button);
    QFETCH(bool, onPress);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    // Without mutual exclusion any mix of checked buttons, none or two in a group, can be set up.
    for (QRadioButton *radio : cw.window.findChildren<QRadioButton *>()) {
        radio->setAutoExclusive(false);
        if (!checked.isEmpty())
            radio->setChecked(checked.contains(radio->objectName()));
    }
    press(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), onPress ? expected.toHex(' ') : QByteArray());
    release(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), onPress ? QByteArray() : expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"

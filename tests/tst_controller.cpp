#include "telvartest.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QRegularExpression>
#include <QTest>

using namespace TelvarTest;

class tst_Controller : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void apply_data();
    void apply();
    void printHead_data();
    void printHead();
};

void tst_Controller::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

static const char *const speedButtons[] = {
    "radioButton9600",   "radioButton19200",  "radioButton38400", "radioButton57600",
    "radioButton115200", "radioButton256000", "radioButton375000"};
static const char *const flowButtons[] = {"radioButtonNoFlow", "radioButtonSoftFlow",
                                          "radioButtonHardFlow"};

// The rows name the radio buttons that end up checked. One name is a click as
// the user makes it; none or two can only be set up with the group's mutual
// exclusion switched off.
void tst_Controller::apply_data()
{
    QTest::addColumn<QStringList>("speeds");
    QTest::addColumn<QStringList>("flows");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("start-up selection") << QStringList() << QStringList()
                                        << QByteArray::fromHex("1d280401");
    QTest::newRow("375000 hardware") << QStringList{"radioButton375000"}
                                     << QStringList{"radioButtonHardFlow"}
                                     << QByteArray::fromHex("1d280602");
    QTest::newRow("9600 none") << QStringList{"radioButton9600"}
                               << QStringList{"radioButtonNoFlow"}
                               << QByteArray::fromHex("1d280000");
    QTest::newRow("nothing checked falls back") << QStringList{QString()} << QStringList{QString()}
                                                << QByteArray::fromHex("1d280401");
    QTest::newRow("first checked wins")
        << QStringList{"radioButton375000", "radioButton19200"}
        << QStringList{"radioButtonHardFlow", "radioButtonNoFlow"}
        << QByteArray::fromHex("1d280100");
}

static void bringForward(MainWindow &window, QWidget *widget)
{
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("mainTabsTelvar"));
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(widget))
            tabs->setCurrentIndex(i);
    }
}

// A radio button reacts only to clicks on its circle or its caption, so the
// click goes to the circle at the left end of the wide widget.
static void clickRadio(MainWindow &window, const QString &name)
{
    auto *radio = window.findChild<QRadioButton *>(name);
    QVERIFY2(radio, qPrintable(name));
    bringForward(window, radio);
    const int middle = radio->height() / 2;
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(middle, middle));
    QVERIFY2(radio->isChecked(), qPrintable(name));
}

template <std::size_t N>
static void setGroup(MainWindow &window, const char *const (&group)[N], const QStringList &names)
{
    // No names: the group stays as the window starts. One empty name: all
    // buttons of the group unchecked.
    if (names.isEmpty())
        return;
    if (names.size() == 1 && !names.first().isEmpty()) {
        clickRadio(window, names.first());
        return;
    }
    for (const char *name : group) {
        auto *radio = window.findChild<QRadioButton *>(QLatin1String(name));
        QVERIFY2(radio, name);
        radio->setAutoExclusive(false);
        radio->setChecked(names.contains(QLatin1String(name)));
    }
}

void tst_Controller::apply()
{
    QFETCH(QStringList, speeds);
    QFETCH(QStringList, flows);
    QFETCH(QByteArray, expected);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"))
        ->setPlainText(QStringLiteral("left over from before"));
    setGroup(cw.window, speedButtons, speeds);
    setGroup(cw.window, flowButtons, flows);
    // Choosing a setting is not a command; only Apply sends.
    QCOMPARE(cw.pty.readUntilQuiet(100), QByteArray());

    click(cw.window, "pushButtonApply");
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), expected.toHex(' '));
    QCOMPARE(logText(cw.window),
             QStringLiteral("Setting UART com speed and flow control. Startup default settings "
                            "are 115200bps and XON/XOFF\n"
                            "After issuing this command you must adjust your host UART settings "
                            "as well by diconnecting and connectin with the right settings"));
}

void tst_Controller::printHead_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("onPress");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("log");

    const auto row = [](const char *button, const char *hex, const char *type,
                        const char *controller, bool onPress = false) {
        QTest::newRow(button) << QByteArray(button) << onPress << QByteArray::fromHex(hex)
                              << QString::fromUtf8(type) + QStringLiteral("\nUpdating ")
                + QLatin1String(controller) + QStringLiteral(" controller flash...");
    };
    row("pushButtonFTP628", "1b5a00",
        "Setting Print Head to Type: 0 - 58mm FTP628MCL101 or compatible", "RC30x");
    row("pushButtonFTP638", "1b5a01",
        "Setting Print Head to Type: 1 - 80mm FTP638MCL101 or compatible", "RC30x");
    row("pushButtonLTP0213", "1b5a02",
        "Setting Print Head to Type: 2 - 58mm Seiko LTP02-245-13 or compatible", "RC30x");
    row("pushButtonLTP02C1", "1b5a03",
        "Setting Print Head to Type: 3 - 58mm Seiko LTP02-245-C1 or compatible", "RC30x");
    row("pushButton58_384", "1b5a04",
        "Setting Print Head to Type: 4 - 58mm 384 dots with cutter 7.2V/24V", "RC304B");
    row("pushButton80_576", "1b5a05",
        "Setting Print Head to Type: 5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", "RC304B");
    row("pushButtonM23_H69", "1b5a06",
        "Setting Print Head to Type: 6 - 58mm M23-DH-H69 or compatible", "RC30x", true);
    row("pushButtonM23_SX", "1b5a07", "Setting Print Head to Type: 7 - 58mm M23-SX or compatible",
        "RC30x");
    row("pushButtonSeiko345", "1b5a08",
        "Setting Print Head to Type: 8 - 80mm Seiko LTPV345 or compatible", "RC305");
    row("pushButtonPT486HLV", "1b5a09",
        "Setting Print Head to Type: 9 - 58mm PT486HLV or compatible", "RC30x");
    row("pushButtonJX2R39BQ", "1b5a0a",
        "Setting Print Head to Type: 10 - 58mm JX2R39BQ Label printer or compatible", "RC304B");
    row("pushButtonATP2SMP8", "1b5a0b",
        "Setting Print Head to Type: 11 - 58mm ATP2SMP8 or compatible", "RC30x");
}

// Pressing and releasing separately shows which of the two sends.
void tst_Controller::printHead()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, onPress);
    QFETCH(QByteArray, expected);
    QFETCH(QString, log);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    press(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), onPress ? expected.toHex(' ') : QByteArray());
    release(cw.window, button.constData());
    QCOMPARE(cw.pty.readUntilQuiet().toHex(' '), onPress ? QByteArray() : expected.toHex(' '));
    QCOMPARE(logText(cw.window), log);
}

QTEST_MAIN(tst_Controller)
#include "tst_controller.moc"

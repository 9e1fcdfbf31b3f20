#include "telvartest.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTabWidget>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>

using namespace TelvarTest;

static QPlainTextEdit *logPane(MainWindow &window)
{
    return window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
}

static std::chrono::microseconds cpuTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectAndDisconnect();
    void failedOpenCanBeRetried();
    void replyInsertedAtCursor();
    void characterSplitAcrossReads();
    void unplugReportsOnceAndCloses();
    void formAtStartup();
    void aboutBox();
};

void tst_Connection::init()
{
    // A misspelt on_<object>_<signal> slot only prints this warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_Connection::connectAndDisconnect()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    MainWindow &w = cw.window;
    QCOMPARE(statusText(w),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(cw.pty.slavePath()));
    QVERIFY(!action(w, "actionConnect")->isEnabled());
    QVERIFY(action(w, "actionDisconnect")->isEnabled());
    QVERIFY(!action(w, "actionConfigure")->isEnabled());
    QVERIFY(action(w, "actionQuit")->isEnabled());

    action(w, "actionDisconnect")->trigger();
    QCOMPARE(statusText(w), QStringLiteral("Disconnected"));
    QVERIFY(action(w, "actionConnect")->isEnabled());
    QVERIFY(!action(w, "actionDisconnect")->isEnabled());
    QVERIFY(action(w, "actionConfigure")->isEnabled());

    // The port really is closed: the far end sees nothing of a later write.
    invoke(w, "printerSoftInit");
    QVERIFY(cw.pty.readUntilQuiet(100).isEmpty());
}

void tst_Connection::failedOpenCanBeRetried()
{
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString missing = QStringLiteral("/dev/telvar-no-such-port");
    QSerialPort probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadWrite));

    BoxCatcher catcher;
    QVERIFY(!connectTo(w, missing));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Error"));
    QCOMPARE(catcher.boxes.first().text, probe.errorString());
    QCOMPARE(catcher.boxes.first().icon, int(QMessageBox::Critical));
    QCOMPARE(statusText(w), QStringLiteral("Open error"));
    QVERIFY(action(w, "actionConnect")->isEnabled());
    QVERIFY(!action(w, "actionDisconnect")->isEnabled());
    QVERIFY(action(w, "actionConfigure")->isEnabled());

    PtyPair pty;
    QVERIFY(connectTo(w, pty.slavePath()));
    invoke(w, "printerSoftInit");
    QCOMPARE(pty.read(2).toHex(' '), QByteArray("1b 40"));
    QCOMPARE(catcher.boxes.size(), 1);
}

void tst_Connection::replyInsertedAtCursor()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QPlainTextEdit *log = logPane(cw.window);
    log->setPlainText(QStringLiteral("before|after"));
    QTextCursor cursor = log->textCursor();
    cursor.setPosition(7);
    log->setTextCursor(cursor);

    cw.pty.write(QByteArray::fromHex("4f4b0d0a"));
    QTRY_VERIFY(log->toPlainText().contains(QLatin1String("OK")));
    QCOMPARE(log->toPlainText(), QStringLiteral("before|OK\nafter"));
}

void tst_Connection::characterSplitAcrossReads()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QPlainTextEdit *log = logPane(cw.window);

    // "é" is C3 A9; the two halves arrive in separate reads.
    cw.pty.write(QByteArray::fromHex("41c3"));
    QTRY_VERIFY(log->toPlainText().startsWith(QLatin1Char('A')));
    cw.pty.write(QByteArray::fromHex("a942ff43"));
    QTRY_VERIFY(log->toPlainText().endsWith(QLatin1Char('C')));
    QCOMPARE(log->toPlainText(), QString::fromUtf8("Aé\u0042\uFFFDC"));
}

void tst_Connection::unplugReportsOnceAndCloses()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    MainWindow &w = cw.window;

    BoxCatcher catcher;
    cw.pty.closeMaster();
    QTRY_COMPARE(statusText(w), QStringLiteral("Disconnected"));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Critical Error"));
    QCOMPARE(catcher.boxes.first().text, QString::fromLocal8Bit(std::strerror(EIO)));
    QVERIFY(action(w, "actionConnect")->isEnabled());
    QVERIFY(!action(w, "actionDisconnect")->isEnabled());

    // A hung-up tty that is still open keeps the process busy; once closed
    // the event loop is idle again.
    const auto before = cpuTime();
    QTest::qWait(300);
    QVERIFY2(cpuTime() - before < std::chrono::milliseconds(100), "event loop still spinning");
    QCOMPARE(catcher.boxes.size(), 1);

    PtyPair fresh;
    QVERIFY(connectTo(w, fresh.slavePath()));
    invoke(w, "printLF");
    QCOMPARE(fresh.read(1).toHex(), QByteArray("0a"));
}

void tst_Connection::formAtStartup()
{
    MainWindow w;
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("mainTabsTelvar"));
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    QCOMPARE(titles, (QStringList{"General", "Bar Codes", "Bitmaps ", "Cutter", "Controller"}));
    QCOMPARE(tabs->currentIndex(), 0);

    QVERIFY(w.findChild<QRadioButton *>(QStringLiteral("radioButton115200"))->isChecked());
    QVERIFY(w.findChild<QRadioButton *>(QStringLiteral("radioButtonSoftFlow"))->isChecked());
    QVERIFY(!w.findChild<QCheckBox *>(QStringLiteral("checkBoxBarCodeMargin"))->isChecked());
    QVERIFY(statusText(w).isEmpty());
    QVERIFY(!action(w, "actionDisconnect")->isEnabled());
    QVERIFY(!action(w, "actionConnect")->icon().isNull());
    QVERIFY(!action(w, "actionQuit")->icon().isNull());
}

void tst_Connection::aboutBox()
{
    MainWindow w;
    BoxCatcher catcher;
    action(w, "actionAbout")->trigger();
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Printer Telvar"));
    QVERIFY(catcher.boxes.first().text.startsWith(
        QStringLiteral("The <b>Printer Telvar Version: 1.1.4</b> for June 2020 firmware and newer.  ")));
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"

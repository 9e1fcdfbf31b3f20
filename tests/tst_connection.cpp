#include "telvartest.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTabWidget>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/resource.h>

using namespace TelvarTest;

// The enabled ones of Connect, Disconnect and Configure.
static QStringList enabledActions(MainWindow &w)
{
    QStringList names;
    for (const char *name : {"actionConnect", "actionDisconnect", "actionConfigure"})
        if (action(w, name)->isEnabled())
            names << QString::fromLatin1(name + 6);
    return names;
}

static QString checkState(MainWindow &w, const char *name)
{
    auto *box = w.findChild<QAbstractButton *>(QString::fromLatin1(name));
    return QLatin1String(box->isChecked() ? "[x] " : "[ ] ") + box->text();
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
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }
    void failedOpenThenConnectAndDisconnect();
    void repliesInsertedAtCursor();
    void unplugReportsOnceAndCloses();
    void formAtStartupAndAbout();
};

void tst_Connection::failedOpenThenConnectAndDisconnect()
{
    MainWindow w;
    const QString missing = QStringLiteral("/dev/telvar-no-such-port");
    QSerialPort probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadWrite));

    BoxCatcher catcher;
    QVERIFY(!connectTo(w, missing));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Error"));
    QCOMPARE(catcher.boxes.first().text, probe.errorString());
    QCOMPARE(statusText(w), QStringLiteral("Open error"));
    QCOMPARE(enabledActions(w), (QStringList{"Connect", "Configure"}));

    PtyPair pty;
    QVERIFY(connectTo(w, pty.slavePath()));
    QCOMPARE(statusText(w),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(pty.slavePath()));
    QCOMPARE(enabledActions(w), QStringList{"Disconnect"});
    invoke(w, "printerSoftInit");
    QCOMPARE(pty.read(2).toHex(' '), QByteArray("1b 40"));

    action(w, "actionDisconnect")->trigger();
    QCOMPARE(statusText(w), QStringLiteral("Disconnected"));
    QCOMPARE(enabledActions(w), (QStringList{"Connect", "Configure"}));
    invoke(w, "printerSoftInit");
    QVERIFY(pty.readUntilQuiet(100).isEmpty());
    QCOMPARE(catcher.boxes.size(), 1);
}

void tst_Connection::repliesInsertedAtCursor()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    auto *log = cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    log->setPlainText(QStringLiteral("before|after"));
    QTextCursor cursor = log->textCursor();
    cursor.setPosition(7);
    log->setTextCursor(cursor);

    // "OK\r\n", then "é" (C3 A9) split across two writes.
    cw.pty.write(QByteArray::fromHex("4f4b0d0a41c3"));
    QTRY_VERIFY(log->toPlainText().contains(QLatin1String("OK\nA")));
    cw.pty.write(QByteArray::fromHex("a942"));
    QTRY_COMPARE(log->toPlainText(), QString::fromUtf8("before|OK\nAéBafter"));
}

void tst_Connection::unplugReportsOnceAndCloses()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    BoxCatcher catcher;
    cw.pty.closeMaster();
    QTRY_COMPARE(statusText(cw.window), QStringLiteral("Disconnected"));
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Critical Error"));
    QCOMPARE(catcher.boxes.first().text, QString::fromLocal8Bit(std::strerror(EIO)));

    // A hung-up tty left open keeps the event loop busy.
    const auto before = cpuTime();
    QTest::qWait(300);
    QVERIFY2(cpuTime() - before < std::chrono::milliseconds(100), "event loop still spinning");
    QCOMPARE(catcher.boxes.size(), 1);

    PtyPair fresh;
    QVERIFY(connectTo(cw.window, fresh.slavePath()));
    invoke(cw.window, "printLF");
    QCOMPARE(fresh.read(1).toHex(), QByteArray("0a"));
}

void tst_Connection::formAtStartupAndAbout()
{
    MainWindow w;
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("mainTabsTelvar"));
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    QCOMPARE(titles, (QStringList{"General", "Bar Codes", "Bitmaps ", "Cutter", "Controller"}));
    QCOMPARE(checkState(w, "radioButton115200"), QStringLiteral("[x] 115200 bps  (*Default)"));
    QCOMPARE(checkState(w, "radioButtonSoftFlow"),
             QStringLiteral("[x] XON/XOFF Flow Control  (*Default)"));
    QCOMPARE(checkState(w, "checkBoxBarCodeMargin"), QStringLiteral("[ ] Add Left Margin Formatting"));

    BoxCatcher catcher;
    action(w, "actionAbout")->trigger();
    QCOMPARE(catcher.boxes.size(), 1);
    QCOMPARE(catcher.boxes.first().title, QStringLiteral("Printer Telvar"));
    QVERIFY(catcher.boxes.first().text.startsWith(
        QStringLiteral("The <b>Printer Telvar Version: 1.1.4</b> for June 2020 firmware and newer.  ")));
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"

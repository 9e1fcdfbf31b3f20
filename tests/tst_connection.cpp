// The port's connection: the settings dialog and the record it keeps, opening (or failing to),
// replies, the device going away; and the window as it starts.

#include "telvartest.h"

#include "serial/settingsdialog.h"

#include <QTest>
#include <QtWidgets>
#include <QSerialPort>

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

static std::chrono::microseconds cpuTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The stored number and text of the setting one box of the dialog chooses.
static QString stored(const SerialSettings &s, const QByteArray &box)
{
    const QMap<QByteArray, QPair<int, QString>> fields{
        {"parityBox", {s.parity, s.parityText}},         {"stopBitsBox", {s.stopBits, s.stopBitsText}},
        {"flowControlBox", {s.flowControl, s.flowControlText}}, {"dataBitsBox", {s.dataBits, s.dataBitsText}},
        {"baudRateBox", {s.baudRate, s.baudRateText}},
    };
    return QString::number(fields.value(box).first) + ' ' + fields.value(box).second;
}

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }

    // The last entry is "Custom": an editable path, its details not known.
    void customEntry()
    {
        SettingsDialog dialog;
        auto *ports = dialog.findChild<QComboBox *>("serialPortInfoListBox");
        QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Custom"));
        ports->setCurrentIndex(ports->count() - 1);
        QVERIFY(ports->isEditable() && ports->currentText().isEmpty());
        for (const char *name :
             {"descriptionLabel", "manufacturerLabel", "serialNumberLabel", "locationLabel", "vidLabel", "pidLabel"})
            QVERIFY2(dialog.findChild<QLabel *>(name)->text().endsWith(QLatin1String(": N/A")), name);
        const QString dev = QStringLiteral("/dev/ttyUSB0");
        QCOMPARE(portEntryTexts("ttyUSB0", "USB Serial", QString(), QString(), dev, 0x0403, 0xABCD),
                 (QStringList{"ttyUSB0", "USB Serial", "N/A", "N/A", dev, "403", "abcd"}));
        QCOMPARE(portEntryTexts("ttyS0", QString(), QString(), QString(), dev, 0, 0),
                 (QStringList{"ttyS0", "N/A", "N/A", "N/A", dev, "N/A", "N/A"}));
    }

    void captured_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("even") << QByteArray("parityBox") << QStringLiteral("Even") << 2;
        QTest::newRow("mark") << QByteArray("parityBox") << QStringLiteral("Mark") << 5;
        QTest::newRow("1.5 stop") << QByteArray("stopBitsBox") << QStringLiteral("1.5") << 3;
        QTest::newRow("rts/cts") << QByteArray("flowControlBox") << QStringLiteral("RTS/CTS") << 1;
        QTest::newRow("7 bits") << QByteArray("dataBitsBox") << QStringLiteral("7") << 7;
        QTest::newRow("375000") << QByteArray("baudRateBox") << QStringLiteral("375000") << 375000;
    }

    // Closing without Apply keeps the stored choice; the next Apply takes the box's.
    void captured()
    {
        QFETCH(QByteArray, box);
        QFETCH(QString, text);
        QFETCH(int, value);
        SettingsDialog dialog;
        dialog.show();
        const QString before = stored(dialog.settings(), box);
        auto *combo = dialog.findChild<QComboBox *>(box);
        combo->setCurrentIndex(combo->findText(text));
        dialog.close();
        QCOMPARE(stored(dialog.settings(), box), before);
        dialog.show();
        dialog.findChild<QPushButton *>("applyButton")->click();
        QCOMPARE(stored(dialog.settings(), box), QString::number(value) + ' ' + text);
    }

    void failedOpenThenConnectAndDisconnect()
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
        QCOMPARE(statusText(w), QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(pty.slavePath()));
        QCOMPARE(enabledActions(w), QStringList{"Disconnect"});
        invoke(w, "printerSoftInit");
        QCOMPARE(pty.read(2).toHex(' '), QByteArray("1b 40"));

        // Written to the closed port, commands go nowhere and say nothing.
        action(w, "actionDisconnect")->trigger();
        QCOMPARE(statusText(w), QStringLiteral("Disconnected"));
        QCOMPARE(enabledActions(w), (QStringList{"Connect", "Configure"}));
        setLog(w, QString());
        invoke(w, "printerSoftInit");
        invoke(w, "print_with_font", Q_ARG(const char *, "x"), Q_ARG(uint8_t, 0));
        QVERIFY(pty.readUntilQuiet(100).isEmpty());
        QCOMPARE(catcher.boxes.size(), 1);
        QVERIFY(logText(w).isEmpty());
    }

    void repliesInsertedAtCursor()
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

    void unplugReportsOnceAndCloses()
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

    // The "Command" page is removed and the controller's default line chosen; the icon comes from the
    // compiled resources, which a static library drops unless registered.
    void startupAndAbout()
    {
        MainWindow w;
        auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("mainTabsTelvar"));
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        QCOMPARE(titles, (QStringList{"General", "Bar Codes", "Bitmaps ", "Cutter", "Controller"}));
        for (const char *name : {"radioButton115200", "radioButtonSoftFlow"})
            QVERIFY2(w.findChild<QAbstractButton *>(name)->isChecked(), name);
        const QList<QSize> sizes = w.windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(48, 48)) && sizes.contains(QSize(128, 128)));
        BoxCatcher catcher;
        action(w, "actionAbout")->trigger();
        QCOMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes.first().title, QStringLiteral("Printer Telvar"));
        QVERIFY(catcher.boxes.first().text.startsWith(
            QStringLiteral("The <b>Printer Telvar Version: 1.1.4</b> for June 2020 firmware and newer.  ")));
    }
};

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"

// The serial connection: the settings dialog and the record it keeps, opening (or failing to),
// replies, the device going away, the window as it starts; bytes on their way out (the transmit bar
// while a slow line drains the queue, a line the controller holds with XOFF and its release); and
// floods of replies, which the log pane and the line monitor keep within their bounds.

#include "telvartest.h"

#include "app/logpanebound.h"
#include "app/transmitprogress.h"
#include "monitor/linecapture.h"
#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"
#include "serial/settingsdialog.h"

#include <QTest>
#include <QtWidgets>
#include <QSerialPort>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

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


// Under the address sanitizer memory is the sanitizer's: it holds freed memory back on purpose. The
// bound on resident memory is the program's, checked in a normal build only.
#if defined(__SANITIZE_ADDRESS__)
static constexpr bool Sanitized = true;
#else
static constexpr bool Sanitized = false;
#endif

static const QByteArray Xoff("\x13"), Xon("\x11");
static const QString HeldText = QStringLiteral("Held by the controller (XOFF)");

static QProgressBar *progressBar(MainWindow &w)
{
    return w.findChild<QProgressBar *>(QStringLiteral("transmitProgress"));
}

// Resident memory now (VmRSS) or the peak since the last reset (VmHWM), in MiB.
static double statusMiB(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// The far end as a terminal left raw by some earlier program: no XON/XOFF.
static bool makeRaw(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios attributes{};
    const bool done = fd >= 0 && ::tcgetattr(fd, &attributes) == 0
        && (::cfmakeraw(&attributes), ::tcsetattr(fd, TCSANOW, &attributes) == 0);
    if (fd >= 0)
        ::close(fd);
    return done;
}

// Bytes that differ from their neighbours, so a lost or repeated piece shows.
static QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 251);
    return bytes;
}

// Sends XOFF, presses Receipt and waits for the bar to say the line is held.
static bool holdReceipt(MainWindow &w, PtyPair &pty)
{
    pty.write(Xoff);
    QTest::qWait(50);
    click(w, "pushButtonReceipt");
    QElapsedTimer clock;
    clock.start();
    while (progressBar(w)->text() != HeldText && clock.elapsed() < 3000)
        QTest::qWait(20);
    return progressBar(w)->text() == HeldText && progressBar(w)->isVisible();
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
        setLog(cw.window, QStringLiteral("before|after"), 7);
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

    void progress();
    void heldLineReleased_data();
    void heldLineReleased();
    void xonReleasesHeldSendWhole();
    void notHeldWithoutSoftwareFlowControl();
    void xoffRacingWritesKeepsTheLine();
    void repliesFloodStaysBounded_data();
    void repliesFloodStaysBounded();
    void boundKeepsCursorAndTypedText();
};

// A pty takes about 15 KB, the rest waits in the port; reading bit by bit drains it like a slow line.
void tst_Connection::progress()
{
    constexpr int LargeSend = 512 * 1024, SecondSend = 100000;
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QProgressBar *bar = progressBar(cw.window);
    auto *port = cw.window.findChild<QSerialPort *>();
    QVERIFY(bar && !bar->isVisible());
    QByteArray sent = pattern(LargeSend);
    QVERIFY(queue(cw.window, sent));
    // The event loop runs, without reading, until the tty takes no more.
    for (qint64 last = -1, still = 0; still < 3; last = port->bytesToWrite()) {
        QTest::qWait(10);
        still = port->bytesToWrite() == last ? still + 1 : 0;
    }
    int previous = bar->value();
    QVERIFY(bar->isVisible() && previous < LargeSend);
    QCOMPARE(bar->text(), QStringLiteral("%1 of %2 bytes sent").arg(previous).arg(LargeSend));

    // A second script started meanwhile adds to the same count.
    const QByteArray second = pattern(SecondSend);
    QVERIFY(queue(cw.window, second));
    sent += second;
    const int total = bar->maximum();
    QVERIFY(bar->isVisible() && bar->value() >= previous);
    QCOMPARE(total, LargeSend + SecondSend);

    // The bar repaints for a new count at most every RepaintIntervalMs.
    QElapsedTimer clock;
    clock.start();
    QList<qint64> shown;
    connect(bar, &QProgressBar::valueChanged, bar, [&] { shown << clock.elapsed(); });
    QByteArray received;
    int steps = 0;
    while (received.size() < total) {
        const QByteArray piece = cw.pty.read(1, 2000);
        QVERIFY2(!piece.isEmpty(), "the line stalled");
        received += piece;
        // A slow line: the next piece only after the bar had its chance to show this one.
        QTest::qWait(TransmitProgress::RepaintIntervalMs);
        if (!bar->isVisible())
            continue;
        // Never back, and what is counted as sent is no longer in the queue.
        QVERIFY2(bar->maximum() == total && bar->value() >= previous && bar->value() + port->bytesToWrite() <= total,
                 qPrintable(bar->text()));
        steps += bar->value() != previous;
        previous = bar->value();
    }
    received += cw.pty.readUntilQuiet(100);
    QCOMPARE(received, sent);
    QTRY_VERIFY(!bar->isVisible());
    QVERIFY2(steps >= 10, qPrintable(QString::number(steps))); // it moved along the way
    for (qsizetype i = 1; i < shown.size(); ++i) // timers may fire up to 5% early
        QVERIFY2(shown.at(i) - shown.at(i - 1) >= TransmitProgress::RepaintIntervalMs * 95 / 100,
                 qPrintable(QString::number(shown.at(i) - shown.at(i - 1))));
}

void tst_Connection::heldLineReleased_data()
{
    QTest::addColumn<bool>("rawBefore");
    QTest::addColumn<bool>("unplug");
    QTest::newRow("terminal as created, Disconnect") << false << false;
    QTest::newRow("terminal set raw before the first open, device gone") << true << true;
}

// Held, the bar and the status bar's tooltip say so; Disconnect, or the device going away, releases
// the line: the queued bytes are dropped and the next connection counts from nothing.
void tst_Connection::heldLineReleased()
{
    QFETCH(bool, rawBefore);
    QFETCH(bool, unplug);
    PtyPair pty, fresh;
    if (rawBefore)
        QVERIFY(makeRaw(pty.slavePath()));
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(connectTo(w, pty.slavePath()));
    auto *statusBar = w.findChild<QStatusBar *>(QStringLiteral("statusBar"));
    QVERIFY(statusBar->toolTip().isEmpty());

    QVERIFY2(holdReceipt(w, pty), qPrintable(progressBar(w)->text()));
    QVERIFY(pty.readAvailable().isEmpty());
    QVERIFY(statusBar->toolTip().contains(QLatin1String("XOFF")));
    QVERIFY(statusBar->toolTip().contains(QLatin1String("Disconnect")));
    // The status line is the connection's, held or not.
    QVERIFY(statusText(w).startsWith(QLatin1String("Connected to ")));

    BoxCatcher catcher;
    unplug ? pty.closeMaster() : action(w, "actionDisconnect")->trigger();
    QTRY_COMPARE(statusText(w), QStringLiteral("Disconnected"));
    QCOMPARE(catcher.boxes.size(), unplug ? 1 : 0);
    QVERIFY(!progressBar(w)->isVisible());
    QVERIFY(statusBar->toolTip().isEmpty());
    // A write to the closed port queues nothing.
    QVERIFY(invoke(w, "printerSoftInit") && !progressBar(w)->isVisible());

    PtyPair &line = unplug ? fresh : pty;
    QVERIFY(connectTo(w, line.slavePath()));
    QVERIFY(invoke(w, "printerSoftInit") && progressBar(w)->isVisible());
    QCOMPARE(progressBar(w)->text(), QStringLiteral("0 of 2 bytes sent"));
    // The held receipt was dropped with the old connection; only the reset goes out.
    QCOMPARE(line.readUntilQuiet(200).toHex(' '), QByteArray("1b 40"));
    QTRY_VERIFY(!progressBar(w)->isVisible());
}

void tst_Connection::xonReleasesHeldSendWhole()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    click(cw.window, "pushButtonReceipt");
    const QByteArray receipt = cw.pty.readUntilQuiet(200);
    QCOMPARE(receipt.size(), 12749);

    QVERIFY2(holdReceipt(cw.window, cw.pty), qPrintable(progressBar(cw.window)->text()));
    cw.pty.write(Xon);
    QCOMPARE(cw.pty.readUntilQuiet(200), receipt);
    QTRY_VERIFY(!progressBar(cw.window)->isVisible());
    QVERIFY(cw.window.findChild<QStatusBar *>()->toolTip().isEmpty());

    // Held in the middle of a send: the count comes back once bytes move.
    const QByteArray sent(300000, 'x');
    QVERIFY(queue(cw.window, sent));
    QByteArray received = cw.pty.read(20000);
    cw.pty.write(Xoff);
    received += cw.pty.readUntilQuiet(100);
    QTRY_COMPARE_WITH_TIMEOUT(progressBar(cw.window)->text(), HeldText, 3000);
    cw.pty.write(Xon);
    received += cw.pty.read(1000);
    QTRY_VERIFY(progressBar(cw.window)->text().endsWith(QLatin1String(" of 300000 bytes sent"))
                || !progressBar(cw.window)->isVisible());
    received += cw.pty.readUntilQuiet(200);
    QCOMPARE(received.size(), sent.size());
    QCOMPARE(received, sent);
}

// Without XON/XOFF a stalled line is not the controller's XOFF: the bar keeps counting.
void tst_Connection::notHeldWithoutSoftwareFlowControl()
{
    PtyPair pty;
    MainWindow w;
    action(w, "actionConfigure")->trigger();
    auto *flow = settingsDialog()->findChild<QComboBox *>(QStringLiteral("flowControlBox"));
    flow->setCurrentIndex(flow->findText(QStringLiteral("None")));
    QVERIFY(connectTo(w, pty.slavePath()));
    QVERIFY(statusText(w).endsWith(QLatin1String(", None")));
    const QByteArray sent(300000, 'n');
    QVERIFY(queue(w, sent));
    QTest::qWait(2600); // the far end reads nothing
    QVERIFY2(progressBar(w)->text().endsWith(QLatin1String(" of 300000 bytes sent")),
             qPrintable(progressBar(w)->text()));
    QCOMPARE(pty.readUntilQuiet(200), sent);
}

// A controller that holds the line off and on while a long send goes out: now and then its XOFF
// lands between the port's check that it may write and the write itself. The line stays connected
// and every byte arrives in order.
void tst_Connection::xoffRacingWritesKeepsTheLine()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    BoxCatcher catcher;
    QByteArray sent(8 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < sent.size(); ++i)
        sent[i] = char('a' + i % 26); // text: the line monitor lists it as one run
    std::atomic<bool> done{false};
    QByteArray received;
    std::thread farEnd([&] {
        QElapsedTimer clock;
        clock.start();
        for (int round = 0; received.size() < sent.size() && clock.elapsed() < 30000; ++round) {
            const QByteArray chunk = cw.pty.readAvailable();
            received += chunk;
            if (chunk.isEmpty())
                ::usleep(50);
            if (round % 3 == 0) {
                cw.pty.writeSome("\x13", 1);
                ::usleep(100);
                cw.pty.writeSome("\x11", 1);
            }
        }
        done = true;
    });
    QVERIFY(queue(cw.window, sent));
    while (!done)
        QTest::qWait(5);
    farEnd.join();
    QVERIFY2(catcher.boxes.isEmpty(), qPrintable(catcher.boxes.value(0).title + ": " + catcher.boxes.value(0).text));
    QVERIFY(statusText(cw.window).startsWith(QLatin1String("Connected to ")));
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
}

void tst_Connection::repliesFloodStaysBounded_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("megabytes");
    QTest::addColumn<QString>("bound");
    QTest::addColumn<bool>("monitor"); // the line monitor's window open
    QTest::newRow("short lines")
        << QByteArray("status 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\n") << 40 << "lines"
        << false;
    // Enough to pass the length bound a few times over.
    QTest::newRow("long lines, monitor open") << QByteArray(255, 'L') + "\n" << 8 << "length" << true;
    QTest::newRow("no line breaks") << QByteArray("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.,")
                                    << 10 << "line" << false;
}

// Replies written as fast as the window takes them, as a controller stuck in a loop might send them:
// all of it is counted, the pane and the capture stay within their bounds, what they keep are the
// newest replies, and the process stays within a generous margin of memory and of the longest time
// the event loop went without turning (the benchmark measures both closely).
void tst_Connection::repliesFloodStaysBounded()
{
    QFETCH(QByteArray, unit);
    QFETCH(int, megabytes);
    QFETCH(QString, bound);
    QFETCH(bool, monitor);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    auto *pane = cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    if (monitor)
        action(cw.window, "actionLineMonitor")->trigger();
    const qint64 total = megabytes * qint64(1000 * 1000);
    const QByteArray block = unit.repeated(65536 / unit.size());
    const double before = statusMiB("VmRSS:");
    QFile clearPeak(QStringLiteral("/proc/self/clear_refs"));
    if (clearPeak.open(QIODevice::WriteOnly))
        clearPeak.write("5");
    double longestStall = 0;
    QElapsedTimer sinceTick, clock;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] {
        longestStall = qMax(longestStall, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    sinceTick.start();
    if (monitor) // a timer turning every millisecond makes the reads, and so the rows, small
        tick.start(1);
    clock.start();
    for (qint64 done = 0; done < total && clock.elapsed() < 240000;) {
        const qsizetype offset = done % block.size();
        done += cw.pty.writeSome(block.constData() + offset, qMin<qint64>(block.size() - offset, total - done));
        QCoreApplication::processEvents();
    }
    QVERIFY(cw.window.findChild<LineMonitor *>());
    const LineCapture &capture = cw.window.findChild<LineMonitor *>()->model()->capture();
    QTRY_COMPARE(capture.receivedTotal(), quint64(total));
    QTRY_VERIFY(!capture.hasPending());
    tick.stop();
    const double growth = statusMiB("VmHWM:") - before;
    qInfo("%d MB of replies in %lld ms, resident memory grew %.0f MiB, longest stall %.0f ms", megabytes,
          clock.elapsed(), growth, longestStall);
    QVERIFY2(Sanitized || growth < 100, qPrintable(QString::number(growth)));
    QVERIFY2(!monitor || longestStall < 2000, qPrintable(QString::number(longestStall)));

    QTextDocument *document = pane->document();
    const QString text = pane->toPlainText();
    if (bound == QLatin1String("lines")) {
        QCOMPARE(document->blockCount(), LogPaneBound::MaxLines);
    } else if (bound == QLatin1String("length")) {
        QVERIFY(document->blockCount() < LogPaneBound::MaxLines);
        QVERIFY(document->characterCount() >= LogPaneBound::KeepChars);
        QVERIFY(document->characterCount() <= LogPaneBound::MaxChars);
    } else {
        QCOMPARE(document->blockCount(), 1);
        QVERIFY(document->characterCount() > LogPaneBound::KeepLineChars);
        QVERIFY(document->characterCount() <= LogPaneBound::MaxLineChars + 1);
    }
    // What is kept is the newest replies, unbroken: the stream's last bytes.
    QByteArray end;
    for (qint64 i = total - 2000; i < total; ++i)
        end += block.at(i % block.size());
    QVERIFY(text.endsWith(QString::fromLatin1(end)));
    QVERIFY(QString::fromLatin1(block.repeated(2)).contains(text.left(2000)));
    QVERIFY(capture.keptBytes() <= quint64(LineCapture::kDefaultCapacity));
    QVERIFY(qsizetype(capture.rows().size()) <= LineCapture::kMaxRows);
    const LineCapture::Row &last = capture.rows().back();
    QCOMPARE(capture.bytes(last), end.right(qsizetype(last.length)));

    click(cw.window, "pushButtonClear");
    QCOMPARE(pane->toPlainText(), QStringLiteral("Clears the cyclic print buffer and line feeds"));
}

// The bounds act on received text: a reply goes in where the cursor stands, and whatever the user
// typed after the cursor stays.
void tst_Connection::boundKeepsCursorAndTypedText()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    auto *pane = cw.window.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
    setLog(cw.window, QStringLiteral("typed note"), 0);
    cw.pty.write(QByteArray(LogPaneBound::MaxLineChars + 500, 'r'));
    QTRY_VERIFY(pane->toPlainText().size() > LogPaneBound::KeepLineChars);
    cw.pty.readUntilQuiet(200);
    const QString text = pane->toPlainText();
    QVERIFY2(text.size() <= LogPaneBound::MaxLineChars, qPrintable(QString::number(text.size())));
    QVERIFY(text.endsWith(QLatin1String("rtyped note")));
    QCOMPARE(text.count(QLatin1Char('r')) + 10, text.size());
    QCOMPARE(pane->textCursor().position(), text.size() - 10);
}

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"

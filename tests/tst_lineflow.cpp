#include "telvartest.h"

#include "app/logpanebound.h"
#include "serial/settingsdialog.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace TelvarTest;

// Under the address sanitizer memory and time are the sanitizer's: it holds
// freed memory back on purpose and slows every access down. The bounds on
// resident memory and on the press's time are the program's, checked in a
// normal build only.
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

static QPlainTextEdit *logPane(MainWindow &w)
{
    return w.findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
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

static void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
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

// The Receipt script's bytes as they arrive on a line nobody holds.
static QByteArray receiptBytes(MainWindow &w, PtyPair &pty)
{
    click(w, "pushButtonReceipt");
    return pty.readUntilQuiet(200);
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

class tst_LineFlow : public QObject
{
    Q_OBJECT

private slots:
    void heldLineShownAndReleasedByReconnect_data();
    void heldLineShownAndReleasedByReconnect();
    void xonReleasesHeldSendWhole();
    void notHeldWithoutSoftwareFlowControl();
    void xoffRacingWritesKeepsTheLine();
    void repliesFloodStaysBounded_data();
    void repliesFloodStaysBounded();
    void boundKeepsCursorAndTypedText();
};

void tst_LineFlow::heldLineShownAndReleasedByReconnect_data()
{
    QTest::addColumn<bool>("rawBefore");
    QTest::newRow("terminal as created") << false;
    QTest::newRow("terminal set raw before the first open") << true;
}

void tst_LineFlow::heldLineShownAndReleasedByReconnect()
{
    QFETCH(bool, rawBefore);
    PtyPair pty;
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

    action(w, "actionDisconnect")->trigger();
    QCOMPARE(statusText(w), QStringLiteral("Disconnected"));
    QVERIFY(!progressBar(w)->isVisible());
    QVERIFY(statusBar->toolTip().isEmpty());
    QVERIFY(connectTo(w, pty.slavePath()));
    click(w, "pushButtonReset");
    // The held receipt was dropped with the old connection; only the reset goes out.
    QCOMPARE(pty.readUntilQuiet(200).toHex(' '), QByteArray("1b 40"));
    QTRY_VERIFY(!progressBar(w)->isVisible());
}

void tst_LineFlow::xonReleasesHeldSendWhole()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    const QByteArray receipt = receiptBytes(cw.window, cw.pty);
    QCOMPARE(receipt.size(), 12749);

    QVERIFY2(holdReceipt(cw.window, cw.pty), qPrintable(progressBar(cw.window)->text()));
    cw.pty.write(Xon);
    QCOMPARE(cw.pty.readUntilQuiet(200), receipt);
    QTRY_VERIFY(!progressBar(cw.window)->isVisible());
    QVERIFY(cw.window.findChild<QStatusBar *>()->toolTip().isEmpty());

    // Held in the middle of a send: the count comes back once bytes move.
    const QByteArray pattern(300000, 'x');
    QVERIFY(queue(cw.window, pattern));
    QByteArray received = cw.pty.read(20000);
    cw.pty.write(Xoff);
    received += cw.pty.readUntilQuiet(100);
    QTRY_COMPARE_WITH_TIMEOUT(progressBar(cw.window)->text(), HeldText, 3000);
    cw.pty.write(Xon);
    QByteArray piece = cw.pty.read(1000);
    received += piece;
    QTRY_VERIFY(progressBar(cw.window)->text().endsWith(QLatin1String(" of 300000 bytes sent"))
                || !progressBar(cw.window)->isVisible());
    received += cw.pty.readUntilQuiet(200);
    QCOMPARE(received.size(), pattern.size());
    QCOMPARE(received, pattern);
}

// Without XON/XOFF a stalled line is not the controller's XOFF: the bar keeps counting.
void tst_LineFlow::notHeldWithoutSoftwareFlowControl()
{
    PtyPair pty;
    MainWindow w;
    action(w, "actionConfigure")->trigger();
    auto *flow = settingsDialog()->findChild<QComboBox *>(QStringLiteral("flowControlBox"));
    flow->setCurrentIndex(flow->findText(QStringLiteral("None")));
    QVERIFY(connectTo(w, pty.slavePath()));
    QVERIFY(statusText(w).endsWith(QLatin1String(", None")));

    const QByteArray pattern(300000, 'n');
    QVERIFY(queue(w, pattern));
    QTest::qWait(2600); // the far end reads nothing
    QVERIFY2(progressBar(w)->text().endsWith(QLatin1String(" of 300000 bytes sent")),
             qPrintable(progressBar(w)->text()));
    QCOMPARE(pty.readUntilQuiet(200), pattern);
}

// A controller that holds the line off and on while a long send goes out:
// now and then its XOFF lands between the port's check that it may write and
// the write itself. The line stays connected and every byte arrives in order.
void tst_LineFlow::xoffRacingWritesKeepsTheLine()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    BoxCatcher catcher;
    QByteArray pattern(8 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < pattern.size(); ++i)
        pattern[i] = char('a' + i % 26);

    std::atomic<bool> done{false};
    QByteArray received;
    std::thread farEnd([&] {
        QElapsedTimer clock;
        clock.start();
        for (int round = 0; received.size() < pattern.size() && clock.elapsed() < 30000; ++round) {
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
    QVERIFY(queue(cw.window, pattern));
    while (!done)
        QTest::qWait(5);
    farEnd.join();

    QVERIFY2(catcher.boxes.isEmpty(),
             qPrintable(catcher.boxes.value(0).title + ": " + catcher.boxes.value(0).text));
    QVERIFY(statusText(cw.window).startsWith(QLatin1String("Connected to ")));
    QCOMPARE(received.size(), pattern.size());
    QVERIFY(received == pattern);
}

void tst_LineFlow::repliesFloodStaysBounded_data()
{
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<int>("megabytes");
    QTest::addColumn<QString>("bound");
    QTest::newRow("short lines")
        << QByteArray("status 0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\n")
        << 40 << "lines";
    // Enough to pass the length bound a few times over.
    QTest::newRow("long lines") << QByteArray(255, 'L') + "\n" << 8 << "length";
    QTest::newRow("no line breaks")
        << QByteArray("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.,") << 40
        << "line";
}

void tst_LineFlow::repliesFloodStaysBounded()
{
    QFETCH(QByteArray, unit);
    QFETCH(int, megabytes);
    QFETCH(QString, bound);
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QPlainTextEdit *pane = logPane(cw.window);

    // Replies written as fast as the window takes them.
    const qint64 total = megabytes * qint64(1000 * 1000);
    const QByteArray block = unit.repeated(65536 / unit.size());
    qint64 done = 0;
    const double before = statusMiB("VmRSS:");
    resetPeakResident();
    QElapsedTimer clock;
    clock.start();
    while (done < total && clock.elapsed() < 240000) {
        const qsizetype offset = done % block.size();
        const qint64 size = qMin<qint64>(block.size() - offset, total - done);
        done += cw.pty.writeSome(block.constData() + offset, size);
        QCoreApplication::processEvents();
    }
    QCOMPARE(done, total);
    QTest::qWait(200); // the last replies read
    const double growth = statusMiB("VmHWM:") - before;
    qInfo("%d MB of replies in %lld ms, resident memory grew %.0f MiB", megabytes, clock.elapsed(),
          growth);
    QVERIFY2(Sanitized || growth < 100, qPrintable(QString::number(growth)));

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

    QElapsedTimer press;
    press.start();
    click(cw.window, "pushButtonClear");
    const qint64 pressMs = press.elapsed();
    qInfo("the next press took %lld ms", pressMs);
    QCOMPARE(pane->toPlainText(), QStringLiteral("Clears the cyclic print buffer and line feeds"));
    QVERIFY2(Sanitized || pressMs < 20, qPrintable(QString::number(pressMs)));
}

// The bounds act on received text: a reply goes in where the cursor stands,
// and whatever the user typed after the cursor stays.
void tst_LineFlow::boundKeepsCursorAndTypedText()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QPlainTextEdit *pane = logPane(cw.window);
    pane->setPlainText(QStringLiteral("typed note"));
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(0);
    pane->setTextCursor(cursor);

    const QByteArray line(LogPaneBound::MaxLineChars + 500, 'r');
    cw.pty.write(line);
    QTRY_VERIFY(pane->toPlainText().size() > LogPaneBound::KeepLineChars);
    cw.pty.readUntilQuiet(200);
    const QString text = pane->toPlainText();
    QVERIFY2(text.size() <= LogPaneBound::MaxLineChars, qPrintable(QString::number(text.size())));
    QVERIFY(text.endsWith(QLatin1String("rtyped note")));
    QCOMPARE(text.count(QLatin1Char('r')) + 10, text.size());
    QCOMPARE(pane->textCursor().position(), text.size() - 10);
}

QTEST_MAIN(tst_LineFlow)
#include "tst_lineflow.moc"

#include "telvartest.h"

#include <QIcon>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTest>

using namespace TelvarTest;

// The far end of a pseudo-terminal takes about 15 KB before the slave stops
// accepting writes; the rest of a large write waits in the port's own buffer.
// Reading the master bit by bit lets it drain the way a slow line would.

static QProgressBar *indicator(MainWindow &window)
{
    return window.findChild<QProgressBar *>(QStringLiteral("transmitProgress"));
}

static QSerialPort *port(MainWindow &window)
{
    return window.findChild<QSerialPort *>();
}

// Bytes that differ from their neighbours, so a lost or repeated piece shows.
static QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 251);
    return bytes;
}

static bool send(MainWindow &window, const QByteArray &bytes)
{
    return invoke(window, "Write",
                  Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(bytes.constData())),
                  Q_ARG(size_t, size_t(bytes.size())));
}

// Runs the event loop without reading until the tty takes no more.
static void letFill(MainWindow &window)
{
    qint64 last = -1;
    for (int still = 0; still < 3;) {
        QTest::qWait(10);
        const qint64 now = port(window)->bytesToWrite();
        still = now == last ? still + 1 : 0;
        last = now;
    }
}

static constexpr qsizetype LargeSend = 512 * 1024;

class tst_Progress : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void shortCommandShowsAndHides();
    void fillsThenDrains();
    void secondScriptExtends_data();
    void secondScriptExtends();
    void closingMidSendHidesAndResets_data();
    void closingMidSendHidesAndResets();
    void windowIconFromResources();
};

void tst_Progress::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal")));
}

void tst_Progress::shortCommandShowsAndHides()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QProgressBar *bar = indicator(cw.window);
    QVERIFY(bar);
    QVERIFY(!bar->isVisible());

    // The handler has returned but nothing has gone out yet.
    QVERIFY(invoke(cw.window, "printerSoftInit"));
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 2);
    QCOMPARE(bar->value(), 0);

    QCOMPARE(cw.pty.read(2).toHex(' '), QByteArray("1b 40"));
    QTRY_VERIFY(!bar->isVisible());
}

void tst_Progress::fillsThenDrains()
{
    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QProgressBar *bar = indicator(cw.window);
    const QByteArray sent = pattern(LargeSend);
    QVERIFY(send(cw.window, sent));
    letFill(cw.window);

    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), LargeSend);
    QVERIFY(bar->value() < LargeSend);
    QCOMPARE(bar->text(), QStringLiteral("%1 of %2 bytes sent").arg(bar->value()).arg(LargeSend));
    QVERIFY(statusText(cw.window).startsWith(QLatin1String("Connected to ")));

    QByteArray received;
    int previous = bar->value();
    QList<int> steps;
    while (received.size() < LargeSend) {
        const QByteArray piece = cw.pty.read(1, 2000);
        QVERIFY2(!piece.isEmpty(), "the line stalled");
        received += piece;
        if (!bar->isVisible())
            continue;
        QCOMPARE(bar->maximum(), LargeSend);
        QVERIFY2(bar->value() >= previous, qPrintable(QString::number(bar->value())));
        // What is counted as sent is no longer in the queue.
        QVERIFY(bar->value() + port(cw.window)->bytesToWrite() <= LargeSend);
        if (bar->value() != previous)
            steps.append(bar->value());
        previous = bar->value();
    }
    QCOMPARE(received, sent);
    QTRY_VERIFY(!bar->isVisible());
    // It moved along the way, not just at the end.
    QVERIFY2(steps.size() >= 10, qPrintable(QString::number(steps.size())));
}

void tst_Progress::secondScriptExtends_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<int>("added"); // 0: whatever the script sends

    QTest::newRow("second large write") << QByteArray() << 100000;
    QTest::newRow("Print Label button") << QByteArray("pushButtonTestLabel") << 0;
}

void tst_Progress::secondScriptExtends()
{
    QFETCH(QByteArray, button);
    QFETCH(int, added);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QProgressBar *bar = indicator(cw.window);
    const QByteArray first = pattern(LargeSend);
    QVERIFY(send(cw.window, first));
    letFill(cw.window);
    const int before = bar->value();

    if (button.isEmpty())
        QVERIFY(send(cw.window, pattern(added)));
    else
        click(cw.window, button.constData());
    QVERIFY(bar->isVisible());
    QVERIFY(bar->value() >= before);
    const int announced = bar->maximum();
    if (added)
        QCOMPARE(announced, LargeSend + added);
    else
        QVERIFY(announced > LargeSend);

    QByteArray received;
    while (received.size() < announced) {
        const QByteArray piece = cw.pty.read(1, 2000);
        QVERIFY2(!piece.isEmpty(), "the line stalled");
        received += piece;
        if (bar->isVisible())
            QCOMPARE(bar->maximum(), announced);
    }
    received += cw.pty.readUntilQuiet(100);
    // The total shown was exactly what went out, the first script's bytes first.
    QCOMPARE(received.size(), announced);
    QVERIFY(received.startsWith(first));
    QTRY_VERIFY(!bar->isVisible());
}

void tst_Progress::closingMidSendHidesAndResets_data()
{
    QTest::addColumn<bool>("unplug");
    QTest::newRow("Disconnect") << false;
    QTest::newRow("device gone") << true;
}

void tst_Progress::closingMidSendHidesAndResets()
{
    QFETCH(bool, unplug);

    ConnectedWindow cw;
    QVERIFY(cw.connected);
    QProgressBar *bar = indicator(cw.window);
    QVERIFY(send(cw.window, pattern(LargeSend)));
    letFill(cw.window);
    QVERIFY(bar->isVisible());

    BoxCatcher catcher;
    if (unplug) {
        cw.pty.closeMaster();
        QTRY_COMPARE(statusText(cw.window), QStringLiteral("Disconnected"));
        QCOMPARE(catcher.boxes.size(), 1);
        QCOMPARE(catcher.boxes.first().title, QStringLiteral("Critical Error"));
    } else {
        action(cw.window, "actionDisconnect")->trigger();
    }
    QVERIFY(!bar->isVisible());

    // A write to the closed port queues nothing.
    QVERIFY(invoke(cw.window, "printerSoftInit"));
    QVERIFY(!bar->isVisible());

    // The next connection counts from nothing.
    PtyPair again;
    QVERIFY(connectTo(cw.window, again.slavePath()));
    QVERIFY(invoke(cw.window, "printerSoftInit"));
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 2);
    QCOMPARE(bar->value(), 0);
    // Only the new command: nothing of the old queue follows on the new line.
    QCOMPARE(again.readUntilQuiet(100).toHex(' '), QByteArray("1b 40"));
    QTRY_VERIFY(!bar->isVisible());
}

// The desktop entry installs the same pictures; in the window they come from
// the compiled resources, which a static library drops unless registered.
void tst_Progress::windowIconFromResources()
{
    MainWindow w;
    const QList<QSize> sizes = w.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(48, 48)));
    QVERIFY(sizes.contains(QSize(128, 128)));
}

QTEST_MAIN(tst_Progress)
#include "tst_progress.moc"

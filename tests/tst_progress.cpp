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

// Writes bytes that differ from their neighbours, so a lost or repeated piece
// shows. Returns them, or nothing if the write could not be handed over.
static QByteArray sendPattern(MainWindow &window, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 251);
    return invoke(window, "Write", Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(bytes.constData())),
                  Q_ARG(size_t, size_t(bytes.size()))) ? bytes : QByteArray();
}

static constexpr qsizetype LargeSend = 512 * 1024;

class tst_Progress : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("No matching signal"))); }

    void indicator_data()
    {
        QTest::addColumn<QByteArray>("then"); // what happens while the first script goes out
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("second large write") << QByteArray("write");
        QTest::newRow("Print Label button") << QByteArray("pushButtonTestLabel");
        QTest::newRow("Disconnect") << QByteArray("actionDisconnect");
        QTest::newRow("device gone") << QByteArray("unplug");
    }

    void indicator()
    {
        QFETCH(QByteArray, then);

        ConnectedWindow cw;
        QVERIFY(cw.connected);
        auto *bar = cw.window.findChild<QProgressBar *>(QStringLiteral("transmitProgress"));
        auto *port = cw.window.findChild<QSerialPort *>();
        QVERIFY(bar && !bar->isVisible());
        QByteArray sent = sendPattern(cw.window, LargeSend);
        QVERIFY(!sent.isEmpty());
        // The event loop runs, without reading, until the tty takes no more.
        for (qint64 last = -1, still = 0; still < 3; last = port->bytesToWrite()) {
            QTest::qWait(10);
            still = port->bytesToWrite() == last ? still + 1 : 0;
        }
        int previous = bar->value();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->maximum(), LargeSend);
        QVERIFY(previous < LargeSend);
        QCOMPARE(bar->text(), QStringLiteral("%1 of %2 bytes sent").arg(previous).arg(LargeSend));

        if (then == "unplug" || then == "actionDisconnect") {
            BoxCatcher catcher;
            if (then == "unplug")
                cw.pty.closeMaster();
            else
                action(cw.window, then.constData())->trigger();
            QTRY_COMPARE(statusText(cw.window), QStringLiteral("Disconnected"));
            // Hidden, and a write to the closed port queues nothing.
            QVERIFY(invoke(cw.window, "printerSoftInit"));
            QVERIFY(!bar->isVisible());
            // The next connection counts from nothing, shown before anything went out.
            PtyPair again;
            QVERIFY(connectTo(cw.window, again.slavePath()));
            QVERIFY(invoke(cw.window, "printerSoftInit"));
            QVERIFY(bar->isVisible());
            QCOMPARE(bar->maximum(), 2);
            QCOMPARE(bar->value(), 0);
            // Only the new command: nothing of the old queue follows on the new line.
            QCOMPARE(again.readUntilQuiet(100).toHex(' '), QByteArray("1b 40"));
            QTRY_VERIFY(!bar->isVisible());
            return;
        }

        // A second script started meanwhile adds to the same count.
        if (then == "write") {
            const QByteArray more = sendPattern(cw.window, 100000);
            QVERIFY(!more.isEmpty());
            sent += more;
        } else if (!then.isEmpty()) {
            click(cw.window, then.constData());
        }
        const int total = bar->maximum();
        QVERIFY(bar->isVisible() && bar->value() >= previous);
        if (then.startsWith("push"))
            QVERIFY(total > LargeSend);
        else
            QCOMPARE(total, sent.size());

        QByteArray received;
        int steps = 0;
        while (received.size() < total) {
            const QByteArray piece = cw.pty.read(1, 2000);
            QVERIFY2(!piece.isEmpty(), "the line stalled");
            received += piece;
            if (!bar->isVisible())
                continue;
            QCOMPARE(bar->maximum(), total);
            QVERIFY2(bar->value() >= previous, qPrintable(QString::number(bar->value())));
            // What is counted as sent is no longer in the queue.
            QVERIFY(bar->value() + port->bytesToWrite() <= total);
            steps += bar->value() != previous;
            previous = bar->value();
        }
        received += cw.pty.readUntilQuiet(100);
        QCOMPARE(received.size(), total);
        QVERIFY(received.startsWith(sent));
        QTRY_VERIFY(!bar->isVisible());
        // It moved along the way, not just at the end.
        QVERIFY2(steps >= 10, qPrintable(QString::number(steps)));
    }

    // In the window the icon comes from the compiled resources, which a static
    // library drops unless registered.
    void windowIconFromResources()
    {
        const QList<QSize> sizes = MainWindow().windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(48, 48)));
        QVERIFY(sizes.contains(QSize(128, 128)));
    }
};

QTEST_MAIN(tst_Progress)
#include "tst_progress.moc"

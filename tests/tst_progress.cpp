#include "telvartest.h"

#include "app/transmitprogress.h"

#include <QIcon>
#include <QProgressBar>
#include <QSerialPort>
#include <QElapsedTimer>
#include <QTest>

using namespace TelvarTest;

// A pty takes about 15 KB, the rest waits in the port; reading bit by bit drains it like a slow line.

// Bytes that differ from their neighbours, so a lost or repeated piece shows; nothing if not handed over.
static QByteArray sendPattern(MainWindow &window, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 251);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    return invoke(window, "Write", Q_ARG(const uint8_t *, data), Q_ARG(size_t, size_t(size))) ? bytes : "";
}

static constexpr int LargeSend = 512 * 1024, SecondSend = 100000;

class tst_Progress : public QObject
{
    Q_OBJECT

private slots:
    void indicator_data()
    {
        QTest::addColumn<QByteArray>("then"); // what happens while the first script goes out
        QTest::newRow("second script") << QByteArray("write");
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
        // The event loop runs, without reading, until the tty takes no more.
        for (qint64 last = -1, still = 0; still < 3; last = port->bytesToWrite()) {
            QTest::qWait(10);
            still = port->bytesToWrite() == last ? still + 1 : 0;
        }
        int previous = bar->value();
        QVERIFY(bar->isVisible() && previous < LargeSend);
        QCOMPARE(bar->text(), QStringLiteral("%1 of %2 bytes sent").arg(previous).arg(LargeSend));

        if (then == "unplug" || then == "actionDisconnect") {
            BoxCatcher catcher;
            then == "unplug" ? cw.pty.closeMaster() : action(cw.window, then.constData())->trigger();
            QTRY_COMPARE(statusText(cw.window), QStringLiteral("Disconnected"));
            // Hidden, and a write to the closed port queues nothing.
            QVERIFY(invoke(cw.window, "printerSoftInit") && !bar->isVisible());
            // The next connection counts from nothing, and nothing of the old queue follows on it.
            PtyPair again;
            QVERIFY(connectTo(cw.window, again.slavePath()));
            QVERIFY(invoke(cw.window, "printerSoftInit") && bar->isVisible());
            QCOMPARE(bar->text(), QStringLiteral("0 of 2 bytes sent"));
            QCOMPARE(again.readUntilQuiet(100).toHex(' '), QByteArray("1b 40"));
            QTRY_VERIFY(!bar->isVisible());
            return;
        }

        // A second script started meanwhile adds to the same count.
        sent += sendPattern(cw.window, SecondSend);
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
            QVERIFY2(bar->maximum() == total && bar->value() >= previous
                         && bar->value() + port->bytesToWrite() <= total, qPrintable(bar->text()));
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

    // The icon comes from the compiled resources, which a static library drops unless registered.
    void windowIconFromResources()
    {
        const QList<QSize> sizes = MainWindow().windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(48, 48)) && sizes.contains(QSize(128, 128)));
    }
};

QTEST_MAIN(tst_Progress)
#include "tst_progress.moc"

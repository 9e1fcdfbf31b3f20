#include "bench.h"

#include "app/mainwindow.h"
#include "ptypair.h"
#include "telvartest.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The sample receipt on the virtual controller's paced line (its defaults:
// 4 KiB buffer, 80 mm/s), from the click until the head has printed its last
// command, beside what the line alone and the head alone would take.

namespace {

QString listingOf(const QTemporaryDir &dir)
{
    QFile log(dir.filePath(QStringLiteral("listing.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

} // namespace

TELVAR_BENCH_GROUP("Virtual line (telvar-virtual defaults)", [](MainWindow &window, PtyPair &pty) {
    QList<TelvarBench::Row> rows;
    TelvarTest::click(window, "pushButtonReceipt");
    const qint64 receiptBytes = pty.readUntilQuiet(300).size();

    const int silenceMs = 300;
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyBench"));
    QProcess virt;
    virt.start(QStringLiteral(TELVAR_VIRTUAL_EXE), {"--link", link, "--out", dir.path(), "--quiet", "--silence", QString::number(silenceMs)});
    for (int i = 0; i < 80 && !QFile::exists(link); ++i)
        QTest::qWait(100);
    // A job ends when the head has printed everything and the line has then
    // been quiet for the silence; its page's height, less its white top and
    // tail, is what the head printed.
    static const QRegularExpression ended(QStringLiteral("job ended by silence on the line: .* \\(\\d+ x (\\d+) dots\\)"));
    for (const char *speed : {"115200", "9600"}) {
        TelvarBench::Row row;
        row.name = QStringLiteral("Receipt at %1 baud, until printed").arg(QLatin1String(speed));
        row.bytes = receiptBytes;
        if (qstrcmp(speed, "9600") == 0)
            TelvarTest::applyUart(window, "radioButton9600");
        QTest::qWait(500);
        if (!TelvarTest::connectAt(window, link, QLatin1String(speed), QStringLiteral("XON/XOFF"))) {
            row.note = QStringLiteral("could not connect");
            rows << row;
            continue;
        }
        QTest::qWait(500);
        const qsizetype before = listingOf(dir).count(ended);
        QElapsedTimer clock;
        clock.start();
        TelvarTest::click(window, "pushButtonReceipt");
        while (listingOf(dir).count(ended) == before && clock.elapsed() < 60000)
            QTest::qWait(2);
        row.wireMs = clock.nsecsElapsed() / 1e6 - silenceMs;
        QRegularExpressionMatch page;
        for (const QRegularExpressionMatch &m : ended.globalMatch(listingOf(dir)))
            page = m;
        const double lineMs = double(receiptBytes) * 10 * 1000 / QByteArray(speed).toDouble();
        const double headMs = (page.captured(1).toDouble() - 32) * 1000 / 640;
        row.note = QStringLiteral("line alone %1 ms, head alone %2 ms").arg(lineMs, 0, 'f', 0).arg(headMs, 0, 'f', 0);
        rows << row;
    }
    virt.terminate();
    virt.waitForFinished(5000);
    TelvarTest::connectAt(window, pty.slavePath(), QStringLiteral("115200"), QStringLiteral("XON/XOFF"));
    return rows;
});

#include "bench.h"

#include "app/mainwindow.h"
#include "ptypair.h"
#include "telvartest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

struct Replay
{
    double ms = -1; // -1: stopped at the time limit
    int pages = 0;
    QString failure;
};

// One run of `program --replay capture`, the whole process timed.
Replay replay(const QString &program, const QString &capture, int limitMs)
{
    Replay run;
    QTemporaryDir out;
    QProcess virt;
    QElapsedTimer clock;
    clock.start();
    virt.start(program, {"--replay", capture, "--out", out.path(), "--quiet"});
    if (!virt.waitForFinished(limitMs)) {
        virt.kill();
        virt.waitForFinished(5000);
        run.failure = QStringLiteral("stopped after %1 s").arg(limitMs / 1000);
    } else {
        run.ms = clock.nsecsElapsed() / 1e6;
        if (virt.exitStatus() != QProcess::NormalExit)
            run.failure = QStringLiteral("crashed");
        else if (virt.exitCode() != 0)
            run.failure = QStringLiteral("exit status %1").arg(virt.exitCode());
    }
    run.pages = int(QDir(out.path()).entryList({QStringLiteral("job-*.png")}, QDir::Files).size());
    return run;
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

// Every seed of the fuzzer (fuzz/seeds) replayed by telvar-virtual, the
// whole process timed (median of three runs; "last byte ms" is the replay):
// the streams that once crashed it or ran for minutes, beside the program's
// own scripts. TELVAR_BENCH_VIRTUAL_REFERENCE may name another build of
// telvar-virtual (an older one) to run once on the same bytes, side by side;
// a run is stopped after 120 s.
TELVAR_BENCH_GROUP("Replays by telvar-virtual --replay (fuzzer seeds)", [](MainWindow &, PtyPair &) {
    const QString reference = qEnvironmentVariable("TELVAR_BENCH_VIRTUAL_REFERENCE");
    const int limitMs = 120000;
    QList<TelvarBench::Row> rows;
    const QDir seeds(QStringLiteral(TELVAR_FUZZ_SEEDS));
    for (const QString &name : seeds.entryList(QDir::Files, QDir::Name)) {
        const QString capture = seeds.filePath(name);
        TelvarBench::Row row;
        row.name = name;
        row.bytes = QFileInfo(capture).size();
        QList<double> times;
        Replay run;
        for (int i = 0; i < 3 && run.failure.isEmpty(); ++i) {
            run = replay(QStringLiteral(TELVAR_VIRTUAL_EXE), capture, limitMs);
            times << run.ms;
        }
        row.wireMs = run.failure.isEmpty() ? TelvarBench::median(times) : -1;
        row.note = run.failure.isEmpty() ? QStringLiteral("%1 pages").arg(run.pages) : run.failure;
        if (!reference.isEmpty()) {
            const Replay old = replay(reference, capture, limitMs);
            row.note += QStringLiteral("; reference: %1, %2 pages")
                            .arg(old.failure.isEmpty() ? QStringLiteral("%1 ms").arg(old.ms, 0, 'f', 0) : old.failure)
                            .arg(old.pages);
        }
        rows << row;
    }
    return rows;
});

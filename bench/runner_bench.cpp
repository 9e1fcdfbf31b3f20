#include "bench.h"

#include "app/mainwindow.h"
#include "app/windowmessages.h"
#include "ptypair.h"
#include "runner/portrun.h"
#include "telvartest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

// telvar-run beside the window: its start-up to the first byte on the line
// beside the window's start-up; the pause between one step's last byte and
// the next step's first beside the same button's handler in the window; and
// one plan on eight drained pseudo-terminals at once beside one alone.

using TelvarBench::Row;

namespace {

// The far ends are read as fast as they come, like a line that never holds.
struct Drained
{
    std::vector<std::unique_ptr<PtyPair>> ends;
    QList<qint64> got;
    explicit Drained(int count)
    {
        for (int i = 0; i < count; ++i)
            ends.push_back(std::make_unique<PtyPair>());
        got.resize(count);
    }
    QStringList portArguments() const
    {
        QStringList args;
        for (const auto &end : ends)
            args << QStringLiteral("--port") << end->slavePath();
        return args;
    }
    void drain()
    {
        for (size_t i = 0; i < ends.size(); ++i)
            got[qsizetype(i)] += ends[i]->readAvailable().size();
    }
};

// Milliseconds from starting telvar-run until the first byte arrived, and
// until every port had `expected` bytes (or, when negative, its exit).
QPair<double, double> timeRun(const QStringList &steps, Drained &lines, qint64 expected)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(TELVAR_RUN_EXE), lines.portArguments() + steps);
    double first = -1, all = -1;
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        lines.drain();
        const bool anything
            = std::any_of(lines.got.begin(), lines.got.end(), [](qint64 n) { return n > 0; });
        if (first < 0 && anything)
            first = clock.nsecsElapsed() / 1e6;
        const bool complete = expected >= 0
            && std::all_of(lines.got.begin(), lines.got.end(),
                           [expected](qint64 n) { return n >= expected; });
        if (all < 0 && complete)
            all = clock.nsecsElapsed() / 1e6;
        if (process.state() == QProcess::NotRunning || process.waitForFinished(0))
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    process.waitForFinished(60000);
    lines.drain();
    return {first, all};
}

QList<Row> startRows(int runs)
{
    QList<double> firstByte;
    for (int i = 0; i < runs; ++i) {
        Drained line(1);
        firstByte << timeRun({QStringLiteral("Reset")}, line, -1).first;
    }
    Row runner;
    runner.name = QStringLiteral("telvar-run start to first byte");
    runner.wireMs = TelvarBench::median(firstByte);
    QList<Row> rows = TelvarBench::startupRows(runs);
    if (!rows.isEmpty() && rows.first().wireMs > 0)
        runner.note = QStringLiteral("%1x the window's start-up (target <= 1.5x)")
                          .arg(runner.wireMs / rows.first().wireMs, 0, 'f', 2);
    rows.prepend(runner);
    return rows;
}

// In this process, so that the runner's own clock gives each step's start
// and the moment its last byte had left.
Row gapRow(const QString &button, int steps)
{
    Runner::Plan plan;
    plan.name = QStringLiteral("bench");
    for (int i = 0; i < steps; ++i) {
        Runner::Step step;
        step.target = button;
        plan.steps << step;
    }
    PtyPair far;
    Runner::PortRun::takeWindowMessages();
    Runner::PortRun run(plan, far.slavePath(), Runner::LineChoice());
    Row row;
    row.name = QStringLiteral("telvar-run %1 x %2, pause between steps").arg(steps).arg(button);
    row.bytes = 0;
    if (run.resolve()) {
        row.note = QStringLiteral("the plan did not resolve");
        return row;
    }
    run.start();
    const QDeadlineTimer deadline(30000);
    while (!run.isFinished() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        row.bytes += far.readAvailable().size();
    }
    row.bytes += far.readUntilQuiet(50).size();
    WindowMessages::setReceiver({});
    QList<double> gaps;
    double worst = 0;
    for (qsizetype i = 1; i < run.results().size(); ++i) {
        const double gap = (run.results().at(i).startedNs - run.results().at(i - 1).sentNs) / 1e6;
        gaps << gap;
        worst = std::max(worst, gap);
    }
    row.wireMs = TelvarBench::median(gaps);
    row.note = QStringLiteral("median pause; longest %1 ms (target < 5 ms)").arg(worst, 0, 'f', 2);
    return row;
}

// Two plans on one port and on eight: five scripts timed to their last byte at
// every far end, where building each port's window is most of the time; and
// a plan as a bench would run it (replies awaited, a receipt, a wait), timed
// to the program's exit, where the line's own time is.
QList<Row> portsRows(int runs)
{
    const QStringList scripts{QStringLiteral("Quick Test"), QStringLiteral("Receipt"),
                              QStringLiteral("Language"), QStringLiteral("QR Bitmap"),
                              QStringLiteral("Receipt with Full Cut")};
    Drained probe(1);
    timeRun(scripts, probe, -1);
    const qint64 bytes = probe.got.first();

    QTemporaryDir dir;
    QFile plan(dir.filePath(QStringLiteral("bench.yaml")));
    if (plan.open(QIODevice::WriteOnly))
        plan.write(
            "steps:\n  - press: Reset\n  - press: Version\n    expect: {none: true, within: 300ms}\n"
            "  - press: Receipt\n  - wait: 200ms\n  - press: Status\n    expect: {none: true, within: 300ms}\n");
    plan.close();

    QList<Row> rows;
    for (const bool toExit : {false, true}) {
        double alone = -1;
        for (int ports : {1, 8}) {
            QList<double> times;
            for (int i = 0; i < runs; ++i) {
                Drained lines(ports);
                QElapsedTimer clock;
                clock.start();
                const QPair<double, double> run = timeRun(
                    toExit ? QStringList{plan.fileName()} : scripts, lines, toExit ? -1 : bytes);
                times << (toExit ? clock.nsecsElapsed() / 1e6 : run.second);
            }
            Row row;
            row.name = toExit ? QStringLiteral("telvar-run bench plan on %1 port%2, to exit")
                              : QStringLiteral("telvar-run 5 scripts on %1 port%2, last byte");
            row.name = row.name.arg(ports).arg(ports > 1 ? "s" : "");
            row.wireMs = TelvarBench::median(times);
            if (!toExit)
                row.bytes = bytes * ports;
            if (ports == 1)
                alone = row.wireMs;
            else if (alone > 0)
                row.note = QStringLiteral("%1x one port alone (target <= 1.2x)")
                               .arg(row.wireMs / alone, 0, 'f', 2);
            rows << row;
        }
    }
    return rows;
}

} // namespace

TELVAR_BENCH_GROUP("Unattended runner (telvar-run)", [](MainWindow &window, PtyPair &pty) {
    const int runs = 7;
    QList<Row> rows = startRows(runs);
    rows << TelvarBench::measure(
        QStringLiteral("Reset pressed in the window (handler)"), window, pty,
        [&] { TelvarTest::click(window, "pushButtonReset"); }, runs);
    rows << gapRow(QStringLiteral("Reset"), 50);
    rows << portsRows(3);
    return rows;
});

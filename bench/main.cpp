// telvar-bench: how fast the tool starts and how fast each script reaches the
// controller. Each script runs on a window connected to a pseudo-terminal;
// the table shows medians of several runs.

#include "bench.h"

#include "app/mainwindow.h"
#include "telvartest.h"

#include <QApplication>
#include <QMetaMethod>
#include <QProcess>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <cstdio>

using namespace TelvarBench;

int picturesProbe(int argc, char **argv); // bench/imaging_bench.cpp

static qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Start-up: from the process's start to its window first exposed (mapped, on
// a display), and the resident memory then, for the program's window and for
// a bare Qt window of the same size with a tab widget and a text pane, in
// alternating runs so that both see the same machine. The probes run on the
// display the benchmark was given (scripts/bench.sh starts one), not on the
// off-screen platform the rest of the benchmark uses.
struct Probe
{
    double ms = -1;
    double mib = -1;
};

static Probe runProbe(const QString &program)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    child.setProcessEnvironment(env);
    const qint64 started = monotonicNs();
    child.start(program, QStringList());
    if (!child.waitForFinished(10000) || child.exitCode() != 0)
        return {};
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2)
        return {};
    return {(fields.at(0).toLongLong() - started) / 1e6, fields.at(1).toDouble()};
}

QList<Row> TelvarBench::startupRows(int pairs)
{
    // The program, the bare window, and the bare window with a menu bar, in
    // turn; ratios are taken run by run against the bare window.
    const QStringList programs{QStringLiteral(TELVAR_STARTUP_PROBE),
                               QStringLiteral(TELVAR_BARE_PROBE),
                               QStringLiteral(TELVAR_BARE_MENU_PROBE)};
    for (const QString &program : programs)
        runProbe(program); // the first start of each fills the file cache
    QList<double> times[3], memory[3], timeRatios[3], memoryRatios[3];
    for (int i = 0; i < pairs; ++i) {
        Probe probes[3];
        for (int k = 0; k < 3; ++k)
            probes[k] = runProbe(programs.at(k));
        if (probes[0].ms < 0 || probes[1].ms < 0 || probes[2].ms < 0)
            continue;
        for (int k = 0; k < 3; ++k) {
            times[k] << probes[k].ms;
            memory[k] << probes[k].mib;
            timeRatios[k] << probes[k].ms / probes[1].ms;
            memoryRatios[k] << probes[k].mib / probes[1].mib;
        }
    }
    const auto note = [&](int k) {
        return QStringLiteral("resident %1 MiB; %2x the bare window's time, %3x its memory")
            .arg(median(memory[k]), 0, 'f', 1)
            .arg(median(timeRatios[k]), 0, 'f', 2)
            .arg(median(memoryRatios[k]), 0, 'f', 2);
    };
    Row row;
    row.name = QStringLiteral("start-up to window mapped");
    row.wireMs = median(times[0]);
    row.note = note(0) + (qEnvironmentVariableIsEmpty("DISPLAY")
                              ? QStringLiteral(" (no display: off screen)")
                              : QString());
    Row reference;
    reference.name = QStringLiteral("  bare Qt window, tabs and text pane");
    reference.wireMs = median(times[1]);
    reference.note = QStringLiteral("resident %1 MiB (goal: 1.2x its time, 1.15x its memory)")
                         .arg(median(memory[1]), 0, 'f', 1);
    Row menu;
    menu.name = QStringLiteral("  the same with a menu bar");
    menu.wireMs = median(times[2]);
    menu.note = note(2);
    return {row, reference, menu};
}

// Scripts that need a set-up of their own are measured by their groups.
static bool measuredByHand(const QByteArray &slot)
{
    return slot == "on_pushButton_Load_released" || slot == "on_pushButton_58PrintH_released";
}

static QList<Row> scriptRows(MainWindow &window, PtyPair &pty, int runs)
{
    QList<Row> rows;
    const QMetaObject &meta = MainWindow::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        const QByteArray slot = method.name();
        if (!slot.startsWith("on_pushButton") || measuredByHand(slot))
            continue;
        rows << measure(QString::fromLatin1(slot), window, pty,
                        [&] { method.invoke(&window, Qt::DirectConnection); }, runs);
    }
    return rows;
}

static void printRows(QTextStream &out, const QString &title, const QList<Row> &rows)
{
    out << "\n" << title << "\n";
    out << QStringLiteral("%1 %2 %3 %4  %5\n")
               .arg(QStringLiteral("measurement"), -44)
               .arg(QStringLiteral("handler ms"), 11)
               .arg(QStringLiteral("last byte ms"), 13)
               .arg(QStringLiteral("bytes"), 9)
               .arg(QStringLiteral("note"));
    const auto number = [](double value) {
        return value < 0 ? QStringLiteral("-") : QString::number(value, 'f', 2);
    };
    for (const Row &row : rows) {
        out << QStringLiteral("%1 %2 %3 %4  %5\n")
                   .arg(row.name, -44)
                   .arg(number(row.handlerMs), 11)
                   .arg(number(row.wireMs), 13)
                   .arg(row.bytes < 0 ? QStringLiteral("-") : QString::number(row.bytes), 9)
                   .arg(row.note);
    }
    out.flush();
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--pictures-probe") == 0)
        return picturesProbe(argc, argv);
    // The windows measured here are never looked at; only the start-up probes
    // go on the display (see startupRows).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    // --only TEXT runs the groups whose title contains TEXT ("Start-up",
    // "Network", ...), for a second look at a few figures.
    const QStringList arguments = app.arguments();
    const qsizetype only = arguments.indexOf(QStringLiteral("--only"));
    const QString wanted = only > 0 ? arguments.value(only + 1) : QString();
    const auto chosen = [&wanted](const QString &title) {
        return wanted.isEmpty() || title.contains(wanted, Qt::CaseInsensitive);
    };
    const int runs = 7;
    QTextStream out(stdout);
    out << "Printer Telvar benchmark, medians of " << runs << " runs\n"
        << "targets: start-up < 300 ms and < 60 MiB resident; handler < 5 ms;"
           " last byte at the far end < 20 ms after the click\n";
    const QString startup = QStringLiteral("Start-up, medians of 21 alternating runs");
    if (chosen(startup))
        printRows(out, startup, startupRows(21));

    TelvarTest::ConnectedWindow cw;
    if (!cw.connected) {
        out << "could not connect to a pseudo-terminal\n";
        return 1;
    }
    const QString scripts = QStringLiteral("Button scripts");
    if (chosen(scripts))
        printRows(out, scripts, scriptRows(cw.window, cw.pty, runs));
    for (const auto &[title, group] : registeredGroups()) {
        if (chosen(title))
            printRows(out, title, group(cw.window, cw.pty));
    }
    return 0;
}

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

// Child side of the start-up measurement: build and show the window, then
// report the clock and the resident memory at that moment.
static int startupProbe(int argc, char **argv)
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    std::printf("%lld %.1f\n", static_cast<long long>(monotonicNs()), residentMiB());
    return 0;
}

QList<Row> TelvarBench::startupRows(const QString &program, int runs)
{
    QList<double> times, memory;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        const qint64 started = monotonicNs();
        child.start(program, {QStringLiteral("--startup-probe")});
        if (!child.waitForFinished(10000) || child.exitCode() != 0)
            continue;
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() != 2)
            continue;
        times << (fields.at(0).toLongLong() - started) / 1e6;
        memory << fields.at(1).toDouble();
    }
    Row row;
    row.name = QStringLiteral("start-up to window shown");
    row.wireMs = median(times);
    row.note = QStringLiteral("resident %1 MiB").arg(median(memory), 0, 'f', 1);
    return {row};
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
    if (argc > 1 && qstrcmp(argv[1], "--startup-probe") == 0)
        return startupProbe(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--pictures-probe") == 0)
        return picturesProbe(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    const int runs = 7;
    QTextStream out(stdout);
    out << "Printer Telvar benchmark, medians of " << runs << " runs\n"
        << "targets: start-up < 300 ms and < 60 MiB resident; handler < 5 ms;"
           " last byte at the far end < 20 ms after the click\n";
    printRows(out, QStringLiteral("Start-up"), startupRows(app.applicationFilePath(), runs));

    TelvarTest::ConnectedWindow cw;
    if (!cw.connected) {
        out << "could not connect to a pseudo-terminal\n";
        return 1;
    }
    printRows(out, QStringLiteral("Button scripts"), scriptRows(cw.window, cw.pty, runs));
    for (const auto &[title, group] : registeredGroups())
        printRows(out, title, group(cw.window, cw.pty));
    return 0;
}

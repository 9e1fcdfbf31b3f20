// telvar-run: the window's scripts run unattended, from a command line or a
// YAML plan, on one port or several at once, with the replies judged and the
// results written for CI systems. See runner/portrun.h for how a step runs.

#include "runner/plan.h"
#include "runner/portrun.h"
#include "runner/report.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace Runner;

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitWrong = 2;

int wrong(const QString &message)
{
    std::fprintf(stderr, "telvar-run: %s\n", qPrintable(message));
    return ExitWrong;
}

const char *description
    = "Runs the scripts of Printer Telvar's buttons without the window: the same window object,\n"
      "never shown, its buttons pressed by name, so every byte is the button's own.\n"
      "\n"
      "  telvar-run --port PATH [line options] STEP...   press these buttons in turn\n"
      "  telvar-run [options] PLAN.yaml                   run a plan (options override it)\n"
      "\n"
      "A STEP is a button's caption as the window shows it (\"Receipt\", \"UPC-A\",\n"
      "\"Receipt with Full Cut\") or its object name (pushButtonReceipt).\n"
      "Exit status: 0 every step passed, 1 a step failed or a port could not be used,\n"
      "2 the command line or the plan is wrong (then nothing was sent).";

} // namespace

int main(int argc, char *argv[])
{
    // The window is never shown: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvar-run"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral(
            "The controller's port: a device path; give it again for more ports at once."),
        QStringLiteral("path"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Line speed: 9600 19200 38400 57600 115200 256000 375000 (default 115200)."),
        QStringLiteral("n"));
    const QCommandLineOption dataOption(QStringLiteral("data"),
                                        QStringLiteral("Data bits: 5 6 7 8 (default 8)."),
                                        QStringLiteral("bits"));
    const QCommandLineOption parityOption(
        QStringLiteral("parity"),
        QStringLiteral("Parity: none even odd space mark (default none)."),
        QStringLiteral("parity"));
    const QCommandLineOption stopOption(QStringLiteral("stop"),
                                        QStringLiteral("Stop bits: 1 1.5 2 (default 1)."),
                                        QStringLiteral("bits"));
    const QCommandLineOption flowOption(
        QStringLiteral("flow"),
        QStringLiteral("Flow control: none rtscts xonxoff (default xonxoff)."),
        QStringLiteral("flow"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Print the log pane's explanation after each step."));
    const QCommandLineOption junitOption(QStringLiteral("junit"),
                                         QStringLiteral("Write a JUnit XML report to this file."),
                                         QStringLiteral("file"));
    const QCommandLineOption captureOption(
        QStringLiteral("capture"),
        QStringLiteral("Write each step's bytes sent and received into this folder."),
        QStringLiteral("dir"));
    parser.addOptions({portOption, baudOption, dataOption, parityOption, stopOption, flowOption,
                       verboseOption, junitOption, captureOption});
    parser.addPositionalArgument(
        QStringLiteral("steps"),
        QStringLiteral("Buttons to press in turn, or one plan file (.yaml or .yml)."),
        QStringLiteral("STEP...|PLAN.yaml"));

    if (!parser.parse(app.arguments())) {
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        return wrong(error + QStringLiteral("; see --help"));
    }
    if (parser.isSet(help))
        parser.showHelp(0);

    LineChoice line;
    const QList<QPair<const QCommandLineOption *, QString>> lineOptions{
        {&baudOption, QStringLiteral("baud")},
        {&dataOption, QStringLiteral("data")},
        {&parityOption, QStringLiteral("parity")},
        {&stopOption, QStringLiteral("stop")},
        {&flowOption, QStringLiteral("flow")}};
    for (const auto &[option, key] : lineOptions) {
        if (!parser.isSet(*option))
            continue;
        const QString message = setLineOption(line, key, parser.value(*option));
        if (!message.isEmpty())
            return wrong(QStringLiteral("--") + message);
    }

    Plan plan;
    const QStringList positional = parser.positionalArguments();
    const bool planForm = positional.size() == 1
        && (positional.first().endsWith(QLatin1String(".yaml"), Qt::CaseInsensitive)
            || positional.first().endsWith(QLatin1String(".yml"), Qt::CaseInsensitive));
    if (planForm) {
        PlanError error;
        const std::optional<Plan> read = readPlan(positional.first(), &error);
        if (!read)
            return wrong(error.text());
        plan = *read;
    } else {
        if (positional.isEmpty())
            return wrong(QStringLiteral(
                "nothing to do: give the buttons to press or a plan file; see --help"));
        plan.name = QStringLiteral("telvar-run");
        for (const QString &caption : positional) {
            Step step;
            step.target = caption;
            plan.steps << step;
        }
    }
    if (parser.isSet(portOption))
        plan.ports = parser.values(portOption);
    plan.line.override(line);
    if (plan.ports.isEmpty())
        return wrong(
            planForm
                ? QStringLiteral("%1: no port: give port: in the plan or --port").arg(plan.file)
                : QStringLiteral("no port: give --port PATH"));
    QSet<QString> seenPorts;
    for (const QString &port : std::as_const(plan.ports)) {
        if (seenPorts.contains(port))
            return wrong(QStringLiteral("the port %1 is given twice").arg(port));
        seenPorts.insert(port);
    }

    // Reports that could not be written are found out before anything is sent.
    const QString junitPath = parser.value(junitOption);
    if (!junitPath.isEmpty()) {
        QFile probe(junitPath);
        const bool existed = probe.exists();
        if (!probe.open(QIODevice::Append))
            return wrong(QStringLiteral("cannot write the JUnit report %1: %2")
                             .arg(QDir::toNativeSeparators(junitPath), probe.errorString()));
        probe.close();
        if (!existed)
            probe.remove();
    }
    const QString captureDir = parser.value(captureOption);
    if (!captureDir.isEmpty() && !QDir().mkpath(captureDir))
        return wrong(QStringLiteral("cannot make the capture folder %1")
                         .arg(QDir::toNativeSeparators(captureDir)));

    // Every name in the plan is looked up on the first window, before any
    // port opens; the other windows are the same.
    PortRun::takeWindowMessages();
    std::vector<std::unique_ptr<PortRun>> owned;
    owned.push_back(std::make_unique<PortRun>(plan, plan.ports.first(), plan.line));
    if (const std::optional<PlanError> error = owned.front()->resolve())
        return wrong(error->text());
    const QList<Step> resolved = owned.front()->steps();
    for (qsizetype i = 1; i < plan.ports.size(); ++i) {
        owned.push_back(std::make_unique<PortRun>(plan, plan.ports.at(i), plan.line));
        owned.back()->setPlanSteps(resolved);
    }
    QList<PortRun *> runs;
    for (const auto &run : owned)
        runs << run.get();

    ConsoleReport console(stdout, ::isatty(STDOUT_FILENO) == 1, parser.isSet(verboseOption),
                          runs.size() > 1);
    int running = int(runs.size());
    for (PortRun *run : runs) {
        console.follow(run);
        QObject::connect(run, &PortRun::finished, &app, [&running] {
            if (--running == 0)
                QCoreApplication::quit();
        });
    }
    for (PortRun *run : runs)
        run->start();
    if (running > 0)
        app.exec();
    console.summary(runs);

    int status = allPassed(runs) ? 0 : ExitFailed;
    if (!junitPath.isEmpty()) {
        const QString error = writeJUnit(junitPath, plan.name, runs);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "telvar-run: cannot write %s: %s\n", qPrintable(junitPath),
                         qPrintable(error));
            status = ExitFailed;
        }
    }
    if (!captureDir.isEmpty()) {
        const QString error = writeCaptures(captureDir, runs);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "telvar-run: cannot write the capture: %s\n", qPrintable(error));
            status = ExitFailed;
        }
    }
    return status;
}

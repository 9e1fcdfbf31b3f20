#include "controller.h"
#include "ser2net.h"
#include "telvartest.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMetaMethod>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// telvar-run, the real program, against pseudo-terminals the test holds: what
// reaches the far end, the exit status, standard output and the report
// files. The window's own bytes come from a window in this process, clicked.

using namespace TelvarTest;

namespace {

// The controller's side of one port: what arrived, and a reply written once
// `trigger` (or, when empty, any byte) has arrived.
struct FarEnd
{
    PtyPair pty;
    QByteArray got;
    QByteArray trigger;
    QByteArray answer;
    bool closeOnFirstBytes = false;
    bool holdOnceOpen = false; // XOFF, again and again, from when the port is set up
    QList<speed_t> speeds;     // the line speeds the program set, as seen while it ran
};

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome runTelvar(const QStringList &args, const QList<FarEnd *> &ends)
{
    QProcess process;
    process.start(QStringLiteral(TELVAR_RUN_EXE), args);
    if (!process.waitForStarted())
        return {};
    QList<int> watch;
    for (FarEnd *end : ends)
        watch << ::open(end->pty.slavePath().toLocal8Bit().constData(),
                        O_RDONLY | O_NOCTTY | O_NONBLOCK);
    const QDeadlineTimer deadline(60000);
    bool running = true;
    for (int round = 0; running && !deadline.hasExpired(); ++round) {
        running = !process.waitForFinished(2);
        for (qsizetype i = 0; i < ends.size(); ++i) {
            FarEnd *end = ends.at(i);
            const bool answered
                = end->trigger.isEmpty() ? !end->got.isEmpty() : end->got.contains(end->trigger);
            end->got += end->pty.readAvailable();
            termios t;
            if (::tcgetattr(watch.at(i), &t) == 0 && !end->speeds.contains(cfgetospeed(&t)))
                end->speeds << cfgetospeed(&t);
            if (end->holdOnceOpen && end->speeds.size() > 1 && round % 16 == 0)
                end->pty.write("\x13");
            if (end->got.isEmpty())
                continue;
            if (end->closeOnFirstBytes)
                end->pty.closeMaster();
            const bool answerNow = end->trigger.isEmpty() || end->got.contains(end->trigger);
            if (!answered && answerNow && !end->answer.isEmpty())
                end->pty.write(end->answer);
        }
    }
    for (int fd : watch)
        ::close(fd);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(text);
    return file.fileName();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// A JUnit report as a CI server reads it: per suite its cases in order, each
// followed by " failure" or " skipped", and every failure's message.
struct Junit
{
    QHash<QString, QStringList> cases;
    QStringList failures;
    QString error;
};

Junit readJunit(const QString &path)
{
    Junit report;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, {}, file.errorString()};
    QXmlStreamReader xml(&file);
    QString suite;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testsuite")) {
            suite = xml.attributes().value(QLatin1String("name")).toString();
        } else if (xml.name() == QLatin1String("testcase")) {
            report.cases[suite] << xml.attributes().value(QLatin1String("name")).toString();
        } else if (xml.name() == QLatin1String("failure")
                   || xml.name() == QLatin1String("skipped")) {
            report.cases[suite].last() += QLatin1Char(' ') + xml.name().toString();
            report.failures << xml.attributes().value(QLatin1String("message")).toString();
        }
    }
    report.error = xml.hasError() ? xml.errorString() : QString();
    return report;
}

QString caption(const QAbstractButton *button)
{
    return button->text().replace(QStringLiteral("&&"), QStringLiteral("&")).trimmed();
}

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buttons_data();
    void buttons();
    void withVariants_data();
    void withVariants();
    void expectations_data();
    void expectations();
    void badInput_data();
    void badInput();
    void twoPortsWithReports();
    void lineLost_data();
    void lineLost();
    void reconnectAtNewSpeed();
    void againstVirtual_data();
    void againstVirtual();
    void throughSer2Net_data();
    void throughSer2Net();

private:
    QByteArray windowBytes(const char *objectName);

    QTemporaryDir m_dir;
    ConnectedWindow m_window;
    // Every button the quick form can press, by object name, in slot order.
    QStringList m_buttons;
    QHash<QString, QByteArray> m_windowBytes;
    QHash<QString, QByteArray> m_runBytes; // NN-name.sent.bin of one telvar-run of them all
    QByteArray m_runFarEndExpected;
};

QByteArray RunnerTest::windowBytes(const char *objectName)
{
    click(m_window.window, objectName);
    return m_window.pty.readUntilQuiet(80);
}

// Pressing every button once in the window here and once through telvar-run's
// quick form, by its caption; the run keeps each step's bytes with --capture.
void RunnerTest::initTestCase()
{
    QVERIFY(m_window.connected);
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList captions;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        static const QRegularExpression slot(QStringLiteral("^on_(.*)_(released|pressed)$"));
        const QRegularExpressionMatch match
            = slot.match(QString::fromLatin1(meta.method(i).name()));
        const QString name = match.captured(1);
        // The picture buttons have rows of their own below; the Hex box is on
        // the removed page.
        if (!match.hasMatch() || name == QLatin1String("pushButton_Load")
            || name == QLatin1String("pushButton_58PrintH")
            || name == QLatin1String("checkBoxHexEnable"))
            continue;
        auto *button = m_window.window.findChild<QAbstractButton *>(name);
        QVERIFY2(button, qPrintable(name));
        m_buttons << name;
        captions << caption(button);
        m_windowBytes[name] = windowBytes(name.toLatin1().constData());
        m_runFarEndExpected += m_windowBytes[name];
    }
    FarEnd end;
    const QString capture = m_dir.filePath(QStringLiteral("all"));
    // At the fastest speed, as the run waits for the line to carry it all.
    const Outcome outcome = runTelvar(
        QStringList{QStringLiteral("--port"), end.pty.slavePath(), QStringLiteral("--baud"),
                    QStringLiteral("375000"), QStringLiteral("--capture"), capture}
            + captions,
        {&end});
    QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.out + outcome.err));
    // The line carried the same, everything, in order.
    QCOMPARE(end.got.size(), m_runFarEndExpected.size());
    QVERIFY(end.got == m_runFarEndExpected);
    for (const QString &file : QDir(capture).entryList({QStringLiteral("*.sent.bin")})) {
        const int index = file.section(QLatin1Char('-'), 0, 0).toInt() - 1;
        m_runBytes[m_buttons.value(index)] = readFile(QDir(capture).filePath(file));
    }
}

void RunnerTest::buttons_data()
{
    QTest::addColumn<QString>("button");
    for (const QString &name : std::as_const(m_buttons))
        QTest::newRow(qPrintable(name)) << name;
}

void RunnerTest::buttons()
{
    QFETCH(QString, button);
    QVERIFY(!m_windowBytes.value(button).isEmpty());
    QCOMPARE(m_runBytes.value(button).toHex(' '), m_windowBytes.value(button).toHex(' '));
}

void RunnerTest::withVariants_data()
{
    QTest::addColumn<QByteArray>("steps");
    QTest::addColumn<QString>("variant");
    QTest::newRow("bar code margin")
        << QByteArray("  - press: UPC-A\n    with: {Add Left Margin Formatting: on}\n")
        << QStringLiteral("margin");
    QTest::newRow("apply 9600 no flow")
        << QByteArray("  - press: Apply\n    with: {9600 bps: on, No Flow Control: on}\n")
        << QStringLiteral("1d280000");
    QTest::newRow("picture fitted, Atkinson") << QByteArray(
        "  - load: wide.png\n    with: {Fit to print width: on, Dithering: Atkinson}\n"
        "  - press: Print Raster Image\n") << QStringLiteral("picture");
}

void RunnerTest::withVariants()
{
    QFETCH(QByteArray, steps);
    QFETCH(QString, variant);
    QImage wide(500, 90, QImage::Format_RGB32);
    for (int y = 0; y < wide.height(); ++y) {
        for (int x = 0; x < wide.width(); ++x)
            wide.setPixel(x, y, qRgb(x / 2, (x + y) % 256, y * 2));
    }
    QVERIFY(wide.save(m_dir.filePath(QStringLiteral("wide.png"))));

    QByteArray expected;
    MainWindow &window = m_window.window;
    if (variant == QLatin1String("margin")) {
        window.findChild<QCheckBox *>(QStringLiteral("checkBoxBarCodeMargin"))->setChecked(true);
        expected = windowBytes("pushButtonBarcodeUPCA");
        window.findChild<QCheckBox *>(QStringLiteral("checkBoxBarCodeMargin"))->setChecked(false);
    } else if (variant == QLatin1String("picture")) {
        auto *fit = window.findChild<QCheckBox *>(QStringLiteral("checkBoxFitWidth"));
        auto *dithering = window.findChild<QComboBox *>(QStringLiteral("comboBoxDithering"));
        fit->setChecked(true);
        dithering->setCurrentIndex(dithering->findText(QStringLiteral("Atkinson")));
        QVERIFY(
            invoke(window, "loadFile", Q_ARG(QString, m_dir.filePath(QStringLiteral("wide.png")))));
        expected = windowBytes("pushButton_58PrintH");
        fit->setChecked(false);
        dithering->setCurrentIndex(0);
    } else {
        expected = QByteArray::fromHex(variant.toLatin1());
    }
    QVERIFY(expected.size() > 3);

    FarEnd end;
    const QString plan = writeFile(m_dir, QStringLiteral("with.yaml"), "steps:\n" + steps);
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), end.pty.slavePath(), plan}, {&end});
    QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.out + outcome.err));
    QCOMPARE(end.got.toHex(' '), expected.toHex(' '));
}

void RunnerTest::expectations_data()
{
    QTest::addColumn<QByteArray>("step");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed");
    const QByteArray version
        = "  - press: Version\n    expect: {text: 'V[0-9]+\\.[0-9]+', within: 300ms}\n";
    QTest::newRow("text answered")
        << version << QByteArray("RC30x V1.22\r\n") << 0 << QStringLiteral("PASS  Version");
    QTest::newRow("text unanswered")
        << version << QByteArray() << 1
        << QStringLiteral("expected text /V[0-9]+\\.[0-9]+/ within 300 ms; received nothing");
    const QByteArray hex = "  - press: Status\n    expect: {hex: '12 ?? 34', within: 300ms}\n";
    QTest::newRow("hex with any byte")
        << hex << QByteArray::fromHex("12ab34") << 0 << QStringLiteral("PASS  Status");
    QTest::newRow("hex differs") << hex << QByteArray::fromHex("12ab35") << 1
                                 << QStringLiteral("received 3 bytes: 12 AB 35");
    const QByteArray bits = "  - press: Status\n    expect: {bits: {mask: 0x08, value: 0x00}}\n";
    QTest::newRow("bits clear") << bits << QByteArray::fromHex("04") << 0
                                << QStringLiteral("PASS  Status");
    QTest::newRow("bits set") << bits << QByteArray::fromHex("0c") << 1
                              << QStringLiteral("expected bits mask 08 value 00");
    const QByteArray none
        = "  - send: {text: '\\e@'}\n    name: init\n    expect: {none: true, within: 200ms}\n";
    QTest::newRow("none, quiet") << none << QByteArray() << 0 << QStringLiteral("PASS  init");
    QTest::newRow("none, answered")
        << none << QByteArray("?") << 1 << QStringLiteral("received 1 byte: 3F \"?\"");
    QTest::newRow("count") << QByteArray(
        "  - press: Status\n    expect: {count: 2, within: 200ms}\n")
                           << QByteArray::fromHex("0102") << 0 << QStringLiteral("PASS  Status");
}

void RunnerTest::expectations()
{
    QFETCH(QByteArray, step);
    QFETCH(QByteArray, answer);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    FarEnd end;
    end.answer = answer;
    const QString plan = writeFile(m_dir, QStringLiteral("expect.yaml"), "steps:\n" + step);
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), end.pty.slavePath(), plan}, {&end});
    QVERIFY2(outcome.out.contains(printed), qPrintable(outcome.out + outcome.err));
    QCOMPARE(outcome.exitCode, exitCode);
}

// Every mistake is told before the port opens: exit 2, nothing on the line.
void RunnerTest::badInput_data()
{
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    const QStringList none;
    QTest::newRow("yaml syntax") << QByteArray("steps:\n  - press: [Reset\n") << none
                                 << QStringLiteral("bad.yaml:3:1: ");
    QTest::newRow("unknown key")
        << QByteArray("steps:\n  - press: Reset\n    expext: {none: true}\n") << none
        << QStringLiteral("bad.yaml:3:5: unknown key \"expext\" in step 1");
    QTest::newRow("caption misspelt")
        << QByteArray("steps:\n  - press: Reset\n  - press: Reciept\n") << none
        << QStringLiteral("bad.yaml:3:5: step 2: no button \"Reciept\"; did you mean \"Receipt\"?");
    QTest::newRow("file dialog") << QByteArray("steps:\n  - press: Load Image\n") << none
                                 << QStringLiteral("\"Load Image\" opens a file dialog");
    QTest::newRow("send") << QByteArray("steps:\n  - send: 1B 4G\n") << none
                          << QStringLiteral(
                                 "bad.yaml:2:11: send: Not a hex digit 'G' at position 5");
    QTest::newRow("regular expression")
        << QByteArray("steps:\n  - press: Version\n    expect: {text: 'V[0-9'}\n") << none
        << QStringLiteral("bad.yaml:3:20: text: not a regular expression");
    QTest::newRow("no such control")
        << QByteArray("steps:\n  - press: UPC-A\n    with: {Margin: on}\n") << none
        << QStringLiteral("bad.yaml:3:12: step 1: with: no control \"Margin\"");
    QTest::newRow("check box value")
        << QByteArray("steps:\n  - press: UPC-A\n    with: {Add Left Margin: maybe}\n") << none
        << QStringLiteral(
               "\"Add Left Margin Formatting\" is a check box: give on or off, not \"maybe\"");
    QTest::newRow("picture missing") << QByteArray("steps:\n  - load: nothere.png\n") << none
                                     << QStringLiteral("bad.yaml:2:11: load: no picture");
    QTest::newRow("duration") << QByteArray("steps:\n  - wait: 500\n") << none
                              << QStringLiteral("give it with its unit, as 500ms or 2s");
    QTest::newRow("baud") << QByteArray("steps:\n  - press: Reset\n")
                          << QStringList{QStringLiteral("--baud"), QStringLiteral("1234")}
                          << QStringLiteral("9600 19200 38400 57600 115200 256000 375000");
}

void RunnerTest::badInput()
{
    QFETCH(QByteArray, plan);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    FarEnd end;
    const QString file = writeFile(m_dir, QStringLiteral("bad.yaml"), plan);
    const Outcome outcome = runTelvar(
        options + QStringList{QStringLiteral("--port"), end.pty.slavePath(), file}, {&end});
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    QCOMPARE(outcome.exitCode, 2);
    QCOMPARE(end.got, QByteArray());
    QCOMPARE(end.speeds.size(), 1); // never opened, never set
}

// Three benches at once: one answers, one stays silent, one cannot be opened.
// Each is its own suite in the JUnit report; the capture has a folder each.
void RunnerTest::twoPortsWithReports()
{
    FarEnd answering, silent;
    answering.trigger = m_windowBytes.value(QStringLiteral("pushButtonVersion"));
    answering.answer = "V1.22";
    const QString plan = writeFile(m_dir, QStringLiteral("benches.yaml"),
                                   "name: benches\nsteps:\n  - press: Reset\n  - press: Version\n"
                                   "    expect: {text: 'V1', within: 400ms}\n");
    const QString junit = m_dir.filePath(QStringLiteral("report.xml"));
    const QString capture = m_dir.filePath(QStringLiteral("benches"));
    const QString missing = m_dir.filePath(QStringLiteral("no-such-tty"));
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), answering.pty.slavePath(), QStringLiteral("--port"),
                     silent.pty.slavePath(), QStringLiteral("--port"), missing,
                     QStringLiteral("--junit"), junit, QStringLiteral("--capture"), capture, plan},
                    {&answering, &silent});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.out.contains(
                 QStringLiteral("FAIL %1: Error: No such file or directory").arg(missing)),
             qPrintable(outcome.out));

    // Each port's suite: its cases' verdicts in order, and the failure texts.
    const Junit report = readJunit(junit);
    QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
    const QHash<QString, QStringList> &verdicts = report.cases;
    const QStringList &failures = report.failures;
    QCOMPARE(verdicts.value(QStringLiteral("benches: ") + answering.pty.slavePath()),
             QStringList({QStringLiteral("Reset"), QStringLiteral("Version")}));
    QCOMPARE(verdicts.value(QStringLiteral("benches: ") + silent.pty.slavePath()),
             QStringList({QStringLiteral("Reset"), QStringLiteral("Version failure")}));
    QCOMPARE(verdicts.value(QStringLiteral("benches: ") + missing),
             QStringList({QStringLiteral("connect failure"), QStringLiteral("Reset skipped"),
                          QStringLiteral("Version skipped")}));
    QVERIFY2(
        failures.contains(QStringLiteral("expected text /V1/ within 400 ms; received nothing")),
        qPrintable(failures.join(QLatin1Char('\n'))));

    // The capture holds exactly what went over each line, step by step.
    for (FarEnd *end : {&answering, &silent}) {
        QDir dir(capture);
        QVERIFY(dir.cd(end->pty.slavePath().mid(1).replace(QLatin1Char('/'), QLatin1Char('-'))));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("01-Reset.sent.bin")))
                     + readFile(dir.filePath(QStringLiteral("02-Version.sent.bin"))),
                 end->got);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("02-Version.received.bin"))), end->answer);
    }
}

// A line that goes away, and one held by an XOFF that no XON follows: the
// running step fails, the rest are skipped, the run ends.
void RunnerTest::lineLost_data()
{
    QTest::addColumn<QByteArray>("steps");
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("failure");
    QTest::newRow("unplugged") << QByteArray("  - press: Reset\n  - wait: 3s\n  - press: Receipt\n")
                               << true
                               // Reset itself, when the line goes before its end is seen
                               << QStringLiteral("FAIL  (Reset|wait 3000 ms) .*\n *Critical Error: ");
    QTest::newRow("held")
        << QByteArray("  - wait: 300ms\n  - press: Receipt\n  - press: Receipt\n") << false
        << QStringLiteral(
               "FAIL  Receipt .*\n *not finished after [0-9.]+ s: [0-9]+ bytes still queued");
}

void RunnerTest::lineLost()
{
    QFETCH(QByteArray, steps);
    QFETCH(bool, unplug);
    QFETCH(QString, failure);
    FarEnd end;
    end.closeOnFirstBytes = unplug;
    end.holdOnceOpen = !unplug;
    const QString plan = writeFile(m_dir, QStringLiteral("lost.yaml"), "steps:\n" + steps);
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), end.pty.slavePath(), plan}, {&end});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.out.contains(QRegularExpression(failure)), qPrintable(outcome.out));
    QVERIFY2(outcome.out.contains(QStringLiteral("SKIP  Receipt")), qPrintable(outcome.out));
}

// After Apply with a new speed the controller listens at it; connect: follows.
void RunnerTest::reconnectAtNewSpeed()
{
    FarEnd end;
    const QString plan
        = writeFile(m_dir, QStringLiteral("speed.yaml"),
                    "steps:\n  - press: Apply\n    with: {9600 bps: on}\n  - wait: 100ms\n"
                    "  - connect: {baud: 9600}\n  - wait: 100ms\n  - press: Reset\n");
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), end.pty.slavePath(), plan}, {&end});
    QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.out + outcome.err));
    QCOMPARE(
        end.got.toHex(' '),
        (QByteArray::fromHex("1d280001") + m_windowBytes.value(QStringLiteral("pushButtonReset")))
            .toHex(' '));
    QVERIFY(end.speeds.contains(B115200));
    QVERIFY(end.speeds.contains(B9600));
}

// A plan against the virtual controller, on its pseudo-terminal and on the
// network: the reply judged, the receipt printed, the report read back.
void RunnerTest::againstVirtual_data()
{
    QTest::addColumn<QString>("transport");
    QTest::addColumn<QString>("pattern"); // what Version's reply must show
    QTest::addColumn<int>("exitCode");
    QTest::newRow("pty") << "pty" << "V1\\.00" << 0;
    QTest::newRow("pty, wrong expectation") << "pty" << "V9\\.[0-9]+" << 1;
    QTest::newRow("socket:// to --listen") << "socket" << "V1\\.00" << 0;
    QTest::newRow("rfc2217:// to --rfc2217") << "rfc2217" << "V1\\.00" << 0;
}

void RunnerTest::againstVirtual()
{
    QFETCH(QString, transport);
    QFETCH(QString, pattern);
    QFETCH(int, exitCode);
    QTemporaryDir out;
    QStringList args{QStringLiteral("--instant"), QStringLiteral("--quiet"),
                     QStringLiteral("--out"), out.path()};
    QString name = out.filePath(QStringLiteral("tty"));
    const quint16 port = freeLocalPort();
    if (transport == QLatin1String("pty")) {
        args << QStringLiteral("--link") << name;
    } else {
        args << QStringLiteral("--no-pty")
             << (transport == QLatin1String("socket") ? QStringLiteral("--listen")
                                                      : QStringLiteral("--rfc2217"))
             << QString::number(port);
        name = QStringLiteral("%1://127.0.0.1:%2").arg(transport).arg(port);
    }
    QProcess controller;
    controller.start(QStringLiteral(TELVAR_VIRTUAL_EXE), args);
    QTRY_VERIFY(transport == QLatin1String("pty") ? QFileInfo::exists(name) : listensOn(port));

    const QString plan = writeFile(m_dir, QStringLiteral("virtual.yaml"),
                                   "name: virtual\nsteps:\n  - press: Version\n    expect: {text: '"
                                       + pattern.toLatin1()
                                       + "'}\n  - press: Receipt with Full Cut\n");
    const QString junit = m_dir.filePath(QStringLiteral("virtual.xml"));
    const Outcome outcome
        = runTelvar({QStringLiteral("--port"), name, QStringLiteral("--junit"), junit, plan}, {});
    QVERIFY2(outcome.exitCode == exitCode, qPrintable(outcome.out + outcome.err));
    const Junit report = readJunit(junit);
    QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
    QCOMPARE(report.cases.value(QStringLiteral("virtual: ") + name),
             QStringList({exitCode ? QStringLiteral("Version failure") : QStringLiteral("Version"),
                          QStringLiteral("Receipt with Full Cut")}));
    if (exitCode) {
        QCOMPARE(report.failures.size(), 1);
        // The message shows what came: the controller's answer, hex and text.
        const QByteArray answer = Virtual::firmwareAnswer().left(16);
        QVERIFY2(report.failures.first().contains(QLatin1String(answer.toHex(' ').toUpper()))
                     && report.failures.first().contains(QLatin1String(answer)),
                 qPrintable(report.failures.first()));
    }
    // The full cut ends the job: its page is written.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out.filePath(QStringLiteral("job-0001.png"))), 10000);
    QCOMPARE(QImage(out.filePath(QStringLiteral("job-0001.png"))).width(), 384 + 2 * 40);
    controller.terminate();
    QVERIFY(controller.waitForFinished());
}

// ser2net in front of the controller's tty, reached as a lab's machine would:
// the far end gets the window's very bytes and its answer is judged.
void RunnerTest::throughSer2Net_data()
{
    QTest::addColumn<QString>("accepter");
    QTest::newRow("telnet(rfc2217)") << "telnet(rfc2217)";
    QTest::newRow("tcp") << "tcp";
}

void RunnerTest::throughSer2Net()
{
    QFETCH(QString, accepter);
    FarEnd device;
    device.trigger = m_windowBytes.value(QStringLiteral("pushButtonVersion"));
    device.answer = "RC30x V1.22\r\n";
    Ser2Net server(accepter, device.pty.slavePath());
    QVERIFY(server.isListening());
    const QString plan = writeFile(m_dir, QStringLiteral("ser2net.yaml"),
                                   "steps:\n  - press: Receipt\n  - press: Version\n"
                                   "    expect: {text: 'V1\\.22'}\n");
    const Outcome outcome = runTelvar({QStringLiteral("--port"), server.url(), plan}, {&device});
    QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.out + outcome.err));
    QCOMPARE(device.got.toHex(' '), (m_windowBytes.value(QStringLiteral("pushButtonReceipt"))
                                     + m_windowBytes.value(QStringLiteral("pushButtonVersion")))
                                        .toHex(' '));
    // A raw port says once that the line settings stay with the far end.
    QCOMPARE(outcome.out.contains(QLatin1String("carries bytes only")),
             accepter == QLatin1String("tcp"));
}

QTEST_MAIN(RunnerTest)
#include "tst_runner.moc"

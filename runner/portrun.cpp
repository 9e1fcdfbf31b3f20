#include "runner/portrun.h"

#include "app/mainwindow.h"
#include "app/windowmessages.h"
#include "monitor/linemodel.h"
#include "monitor/linemonitor.h"
#include "runner/controls.h"
#include "runner/judge.h"
#include "serial/settingsdialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPort>

#include <chrono>
#include <sys/ioctl.h>

namespace Runner {

namespace {

QHash<QWidget *, PortRun *> &runsByWindow()
{
    static QHash<QWidget *, PortRun *> runs;
    return runs;
}

QList<SettingsDialog *> settingsDialogs()
{
    QList<SettingsDialog *> dialogs;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            dialogs << dialog;
    }
    return dialogs;
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long the connection may take to open: a network port connects in the
// background.
constexpr int OpenLimitMs = 15000;
constexpr int DeadlineMarginMs = 5000;
constexpr int DrainPollMs = 20;

} // namespace

void PortRun::takeWindowMessages()
{
    WindowMessages::setReceiver([](QWidget *parent, const WindowMessages::Message &m) {
        PortRun *run = parent ? runsByWindow().value(parent->window()) : nullptr;
        if (run)
            run->message(m.title, m.text);
        else
            qWarning("telvar-run: %s: %s", qPrintable(m.title), qPrintable(m.text));
    });
}

PortRun::PortRun(const Plan &plan, const QString &port, const LineChoice &line, QObject *parent)
    : QObject(parent)
    , m_steps(plan.steps)
    , m_port(port)
    , m_line(LineSettings::from(line))
{
    // Each window makes its own settings dialog, a top-level widget without
    // a parent: the one that is new after construction is this window's.
    const QList<SettingsDialog *> before = settingsDialogs();
    m_window = new MainWindow;
    for (SettingsDialog *dialog : settingsDialogs()) {
        if (!before.contains(dialog))
            m_dialog = dialog;
    }
    runsByWindow().insert(m_window, this);
    m_serial = m_window->findChild<QSerialPort *>();
    m_monitor = m_window->findChild<LineMonitor *>();
    m_model = m_monitor->model();
    m_results.resize(m_steps.size());

    // The monitor's record of the line is the step's record: the same bytes
    // the user's Line Monitor lists.
    connect(m_model, &LineModel::sentRecorded, this, [this](quint64 offset, qsizetype size) {
        m_sentSinceOpen += size;
        if (m_index >= 0 && m_index < m_results.size() && m_phase != Phase::Idle
            && m_phase != Phase::Done)
            m_results[m_index].sent
                += m_model->capture().bytes(LineCapture::Kind::Sent, offset, quint64(size));
    });
    connect(m_model, &LineModel::receivedRecorded, this, [this](quint64 offset, qsizetype size) {
        if (m_index < 0 || m_index >= m_results.size() || m_phase == Phase::Idle
            || m_phase == Phase::Done)
            return;
        m_results[m_index].received
            += m_model->capture().bytes(LineCapture::Kind::Received, offset, quint64(size));
        // Judged once the window has shown the reply in its log pane too.
        if (m_phase == Phase::Awaiting)
            QTimer::singleShot(0, this, [this] { judge(false); });
    });
    connect(m_serial, &QSerialPort::bytesWritten, this, &PortRun::checkDrained);
    // A write the tty refused loses the bytes without a word on bytesWritten.
    connect(
        m_serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
            if (error == QSerialPort::WriteError && m_phase == Phase::Sending && !m_connectStep)
                endStep(
                    StepResult::Verdict::Fail,
                    QStringLiteral("the port could not write: %1").arg(m_serial->errorString()));
        });

    m_waitTimer.setSingleShot(true);
    m_drainTimer.setSingleShot(true);
    m_withinTimer.setSingleShot(true);
    m_deadline.setSingleShot(true);
    m_connectLimit.setSingleShot(true);
    m_connectPoll.setInterval(5);
    connect(&m_waitTimer, &QTimer::timeout, this, [this] {
        m_phase = Phase::Sending;
        checkDrained();
    });
    connect(&m_drainTimer, &QTimer::timeout, this, &PortRun::checkDrained);
    connect(&m_withinTimer, &QTimer::timeout, this, [this] { judge(true); });
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        endStep(StepResult::Verdict::Fail,
                QStringLiteral("not finished after %1 s: %2")
                    .arg(m_stepClock.elapsed() / 1000.0, 0, 'f', 1)
                    .arg(queuedSummary()));
    });
    connect(&m_connectPoll, &QTimer::timeout, this, &PortRun::checkConnected);
    connect(&m_connectLimit, &QTimer::timeout, this, [this] {
        connectedOrFailed(
            QStringLiteral("the port did not open within %1 s").arg(OpenLimitMs / 1000));
    });
}

PortRun::~PortRun()
{
    runsByWindow().remove(m_window);
    delete m_window;
}

QPlainTextEdit *PortRun::logPane() const
{
    return m_window->findChild<QPlainTextEdit *>(QStringLiteral("editTelvar"));
}

QWidget *PortRun::window() const
{
    return m_window;
}

std::optional<PlanError> PortRun::resolve()
{
    const WindowControls controls(m_window);
    for (qsizetype i = 0; i < m_steps.size(); ++i) {
        Step &step = m_steps[i];
        const QString which = QStringLiteral("step %1: ").arg(i + 1);
        if (step.action == Step::Action::Press) {
            const QString error = controls.resolvePress(step);
            if (!error.isEmpty())
                return PlanError{step.where, which + error};
        }
        for (Setting &setting : step.with) {
            const QString error = controls.resolveSetting(setting);
            if (!error.isEmpty())
                return PlanError{setting.where, which + error};
        }
        if (step.name.isEmpty())
            step.name = defaultStepName(step);
    }
    return std::nullopt;
}

void PortRun::setPlanSteps(const QList<Step> &steps)
{
    m_steps = steps;
    m_results.resize(m_steps.size());
}

void PortRun::start()
{
    m_runClock.start();
    beginConnect(m_line);
}

void PortRun::message(const QString &title, const QString &text)
{
    if (m_phase == Phase::Done || m_message)
        return;
    m_message = QStringLiteral("%1: %2").arg(title, text);
    // A box raised while a script runs is dealt with when the script returns;
    // one that comes from the event loop (the line went away) at once, but
    // after the window's own handler has finished.
    if (!m_connectStep
        && (m_phase == Phase::Sending || m_phase == Phase::Awaiting || m_phase == Phase::Waiting)) {
        QTimer::singleShot(0, this, [this] {
            if (m_message
                && (m_phase == Phase::Sending || m_phase == Phase::Awaiting
                    || m_phase == Phase::Waiting))
                endStep(StepResult::Verdict::Fail, *m_message);
        });
    }
}

static void chooseData(QWidget *dialog, const char *box, int data)
{
    auto *combo = dialog->findChild<QComboBox *>(QString::fromLatin1(box));
    combo->setCurrentIndex(combo->findData(data));
}

// As a user connects: the line settings chosen in the dialog's boxes, the
// "Custom" entry with the port's path typed in, Apply, then Connect.
// Bytes that have left the port may still be on their way: a UART's close
// waits for its driver to send them, but a pseudo-terminal hands them to the
// far end at once, which takes them at the line's speed, the speed it reads
// from the line's settings, and those go back to what they were when the port
// closes. So the port is closed no sooner than the line could have carried
// everything sent since it opened.
int PortRun::lingerMs() const
{
    if (!m_serial->isOpen() || !m_openClock.isValid())
        return 0;
    const double lineMs = m_sentSinceOpen * m_line.bitsPerByte() * 1000.0 / m_line.baud;
    return std::max(0, int(lineMs - m_openClock.elapsed()) + 1);
}

void PortRun::beginConnect(const LineSettings &line)
{
    m_message.reset();
    if (const int linger = lingerMs(); linger > 0) {
        QTimer::singleShot(linger, this, [this, line] { beginConnect(line); });
        return;
    }
    m_line = line;
    if (m_serial->isOpen())
        m_window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
    chooseData(m_dialog, "baudRateBox", line.baud);
    chooseData(m_dialog, "dataBitsBox", line.dataBits);
    chooseData(m_dialog, "parityBox", line.parity);
    chooseData(m_dialog, "stopBitsBox", line.stopBits);
    chooseData(m_dialog, "flowControlBox", line.flow);
    auto *ports = m_dialog->findChild<QComboBox *>(QStringLiteral("serialPortInfoListBox"));
    ports->setCurrentIndex(ports->count() - 1);
    ports->setEditText(m_port);
    m_dialog->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();

    logPane()->clear();
    if (!m_connectStep)
        m_phase = Phase::Connecting;
    m_window->findChild<QAction *>(QStringLiteral("actionConnect"))->trigger();
    m_connectLimit.start(OpenLimitMs);
    m_connectPoll.start();
    checkConnected();
}

void PortRun::checkConnected()
{
    if (m_serial->isOpen())
        connectedOrFailed(QString());
    else if (m_message)
        connectedOrFailed(*m_message);
}

void PortRun::connectedOrFailed(const QString &failure)
{
    m_connectPoll.stop();
    m_connectLimit.stop();
    if (failure.isEmpty()) {
        m_note = logPane()->toPlainText();
        m_openClock.start();
        m_sentSinceOpen = 0;
    }
    if (m_connectStep) {
        m_connectStep = false;
        if (!failure.isEmpty()) {
            endStep(StepResult::Verdict::Fail, failure);
            return;
        }
        // The connection's own note is reported with the step that made it.
        m_results[m_index].message = m_note;
        allSent();
        return;
    }
    if (!failure.isEmpty()) {
        m_failure = failure;
        skipRest(QStringLiteral("the port could not be opened"));
        finish();
        return;
    }
    emit opened();
    m_phase = Phase::Idle;
    nextStep();
}

void PortRun::nextStep()
{
    ++m_index;
    if (m_index >= m_steps.size()) {
        finish();
        return;
    }
    if (!m_stopReason.isEmpty()) {
        skipRest(m_stopReason);
        finish();
        return;
    }
    startStep();
}

void PortRun::startStep()
{
    const Step &step = m_steps.at(m_index);
    StepResult &result = m_results[m_index];
    result.startedNs = steadyNs();
    m_stepClock.start();
    m_phase = Phase::Acting;
    m_logAtStart = logPane()->toPlainText();
    // A box that came between two steps belongs to this one.
    const std::optional<QString> earlier = m_message;
    if (earlier) {
        endStep(StepResult::Verdict::Fail, *earlier);
        return;
    }
    m_queuedAtStart = m_serial->isOpen() ? m_serial->bytesToWrite() : 0;

    for (const Setting &setting : step.with) {
        const QString error = WindowControls::apply(m_window, setting);
        if (!error.isEmpty()) {
            endStep(StepResult::Verdict::Fail, error);
            return;
        }
    }
    if (m_message) {
        endStep(StepResult::Verdict::Fail, *m_message);
        return;
    }

    bool loaded = true;
    switch (step.action) {
    case Step::Action::Press: {
        // Emitting the button's own signal runs the slot connected to it by
        // name, with the button as its sender, exactly as a click does.
        auto *button = m_window->findChild<QAbstractButton *>(step.buttonObject);
        QMetaObject::invokeMethod(button, step.buttonSignal.constData(), Qt::DirectConnection);
        break;
    }
    case Step::Action::Send:
        m_monitor->sendBytes(step.bytes);
        break;
    case Step::Action::Load:
        // What Load Image does once the file dialog has been answered.
        logPane()->clear();
        QMetaObject::invokeMethod(m_window, "loadFile", Qt::DirectConnection,
                                  Q_RETURN_ARG(bool, loaded), Q_ARG(QString, step.target));
        break;
    case Step::Action::Wait:
        break;
    case Step::Action::Connect: {
        LineChoice choice;
        choice.baud = m_line.baud;
        choice.dataBits = m_line.dataBits;
        choice.parity = m_line.parity;
        choice.stopBits = m_line.stopBits;
        choice.flow = m_line.flow;
        choice.override(step.line);
        m_connectStep = true;
        m_phase = Phase::Sending;
        m_deadline.start(lingerMs() + OpenLimitMs + DeadlineMarginMs);
        beginConnect(LineSettings::from(choice));
        return;
    }
    }
    if (m_message) {
        endStep(StepResult::Verdict::Fail, *m_message);
        return;
    }
    if (!loaded) {
        endStep(StepResult::Verdict::Fail, QStringLiteral("the picture was not loaded"));
        return;
    }

    const double bytes = m_queuedAtStart + result.sent.size();
    const double lineMs = bytes * m_line.bitsPerByte() * 1000.0 / m_line.baud;
    const int within = step.expect.isSet() ? step.expect.withinMs : 0;
    m_deadline.start(int(step.waitMs + within + lineMs * 1.5 + DeadlineMarginMs));
    if (step.action == Step::Action::Wait) {
        m_phase = Phase::Waiting;
        m_waitTimer.start(step.waitMs);
        return;
    }
    m_phase = Phase::Sending;
    checkDrained();
}

// Bytes queued by the tty driver but not yet on the wire (a UART still
// shifting out what it took; a pseudo-terminal keeps none).
int PortRun::driverQueue() const
{
    int bytes = 0;
    if (!m_serial->isOpen() || ::ioctl(m_serial->handle(), TIOCOUTQ, &bytes) != 0)
        return 0;
    return bytes;
}

void PortRun::checkDrained()
{
    if (m_phase != Phase::Sending || m_connectStep)
        return;
    if (!m_serial->isOpen()) {
        endStep(StepResult::Verdict::Fail, m_message.value_or(QStringLiteral("the port closed")));
        return;
    }
    if (m_serial->bytesToWrite() > 0) {
        // bytesWritten tells when the port hands on more, as a rule. The
        // port announces its last write only when the tty is writable again,
        // which an XOFF that comes just after it puts off: look again now and
        // then as well.
        m_drainTimer.start(DrainPollMs);
        return;
    }
    if (const int queued = driverQueue(); queued > 0) {
        m_drainTimer.start(std::max(1, int(queued * m_line.bitsPerByte() * 1000 / m_line.baud)));
        return;
    }
    allSent();
}

void PortRun::allSent()
{
    StepResult &result = m_results[m_index];
    result.wireMs = m_stepClock.nsecsElapsed() / 1e6;
    result.sentNs = steadyNs();
    const Expectation &expect = m_steps.at(m_index).expect;
    if (!expect.isSet()) {
        endStep(StepResult::Verdict::Pass, QString());
        return;
    }
    m_phase = Phase::Awaiting;
    m_withinTimer.start(expect.withinMs);
    judge(false);
}

void PortRun::judge(bool final)
{
    if (m_phase != Phase::Awaiting)
        return;
    const Judgement judgement
        = Runner::judge(m_steps.at(m_index).expect, m_results.at(m_index).received, final);
    if (judgement.decision == Judgement::Decision::Pass)
        endStep(StepResult::Verdict::Pass, QString());
    else if (judgement.decision == Judgement::Decision::Fail)
        endStep(StepResult::Verdict::Fail, judgement.message);
}

void PortRun::endStep(StepResult::Verdict verdict, const QString &message)
{
    m_waitTimer.stop();
    m_drainTimer.stop();
    m_withinTimer.stop();
    m_deadline.stop();
    m_connectPoll.stop();
    m_connectLimit.stop();
    StepResult &result = m_results[m_index];
    result.verdict = verdict;
    if (verdict != StepResult::Verdict::Pass || !message.isEmpty())
        result.message = message;
    result.totalMs = m_stepClock.nsecsElapsed() / 1e6;
    if (result.sentNs == 0)
        result.wireMs = result.totalMs;
    // The pane as the step left it, unless the step did not touch it.
    result.log = logPane()->toPlainText();
    if (result.log == m_logAtStart)
        result.log.clear();
    const bool stuck = m_serial->isOpen() && (m_serial->bytesToWrite() > 0 || driverQueue() > 0);
    if (!m_serial->isOpen())
        m_stopReason = QStringLiteral("the port is closed");
    else if (stuck && verdict == StepResult::Verdict::Fail)
        m_stopReason = QStringLiteral("the line is stuck: %1").arg(queuedSummary());
    m_connectStep = false;
    m_message.reset();
    m_phase = Phase::Idle;
    emit stepFinished(int(m_index));
    QTimer::singleShot(0, this, &PortRun::nextStep);
}

void PortRun::skipRest(const QString &reason)
{
    for (qsizetype i = std::max(0, m_index); i < m_results.size(); ++i) {
        if (m_results[i].verdict != StepResult::Verdict::Pending)
            continue;
        m_results[i].verdict = StepResult::Verdict::Skip;
        m_results[i].message = reason;
        m_index = int(i);
        emit stepFinished(int(i));
    }
}

void PortRun::finish()
{
    if (m_phase == Phase::Done || m_finishing)
        return;
    m_finishing = true;
    QTimer::singleShot(lingerMs(), this, [this] {
        // Closed as a user would before leaving.
        if (m_serial->isOpen())
            m_window->findChild<QAction *>(QStringLiteral("actionDisconnect"))->trigger();
        m_phase = Phase::Done;
        emit finished();
    });
}

QString PortRun::queuedSummary() const
{
    const qint64 port = m_serial->isOpen() ? m_serial->bytesToWrite() : 0;
    const int driver = driverQueue();
    if (port == 0 && driver == 0)
        return QStringLiteral("nothing is queued");
    return QStringLiteral("%1 bytes still queued (is the line held by an XOFF?)")
        .arg(port + driver);
}

} // namespace Runner

#ifndef TELVAR_RUNNER_PORTRUN_H
#define TELVAR_RUNNER_PORTRUN_H

// One port's run of a plan: its own MainWindow, never shown, connected the
// way a user connects (the settings dialog's boxes, "Custom", Apply,
// Connect), and the steps one after the other on the event loop. Several
// runs share one event loop and no thread.
//
// A step goes through these phases:
//   acting    the controls are set and the button's signal is emitted, so the
//             window's own script runs and queues its bytes;
//   sending   until the port's queue and the tty driver's queue are empty:
//             the step's time on the wire;
//   awaiting  the expectation is judged on the bytes received since the step
//             began, until it is decided or `within` has passed.
// Every message box the window raises in the meantime is the step's failure.
// A step that cannot finish fails at its deadline: `within`, plus half as
// long again as its bytes need at the line's speed, plus five seconds.

#include "runner/plan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

QT_BEGIN_NAMESPACE
class QAction;
class QPlainTextEdit;
class QSerialPort;
class QWidget;
QT_END_NAMESPACE

class LineModel;
class LineMonitor;
class MainWindow;
class SettingsDialog;

namespace Runner {

struct StepResult
{
    enum class Verdict { Pending, Pass, Fail, Skip };
    Verdict verdict = Verdict::Pending;
    QString message;      // why it failed or was skipped
    double wireMs = 0;    // from its start until its last byte left the port
    double totalMs = 0;   // until it was judged
    qint64 startedNs = 0; // steady clock
    qint64 sentNs = 0;
    QByteArray sent;
    QByteArray received;
    QString log; // the log pane when it ended
};

class PortRun : public QObject
{
    Q_OBJECT

public:
    PortRun(const Plan &plan, const QString &port, const LineChoice &line,
            QObject *parent = nullptr);
    ~PortRun() override;

    // Message boxes of every run's window become that run's results.
    static void takeWindowMessages();

    QWidget *window() const;
    const QString &port() const { return m_port; }
    const LineSettings &line() const { return m_line; }
    // Resolves the plan's steps against this window: empty, or the first
    // mistake.
    std::optional<PlanError> resolve();
    void setPlanSteps(const QList<Step> &steps);

    void start();
    bool isFinished() const { return m_phase == Phase::Done; }
    // Why the port could not be used at all (its open error), else empty.
    const QString &failure() const { return m_failure; }
    // What the log pane held once the port had opened: the connection's own
    // note, if it has one.
    const QString &connectionNote() const { return m_note; }
    const QList<Step> &steps() const { return m_steps; }
    const QList<StepResult> &results() const { return m_results; }
    double elapsedMs() const { return m_runClock.isValid() ? m_runClock.nsecsElapsed() / 1e6 : 0; }

signals:
    void opened();
    void stepFinished(int index);
    void finished();

private:
    enum class Phase { Idle, Connecting, Acting, Waiting, Sending, Awaiting, Done };

    void message(const QString &title, const QString &text);
    void beginConnect(const LineSettings &line);
    void checkConnected();
    void connectedOrFailed(const QString &failure);
    void nextStep();
    void startStep();
    void checkDrained();
    void allSent();
    void judge(bool final);
    void endStep(StepResult::Verdict verdict, const QString &message);
    void skipRest(const QString &reason);
    void finish();
    int driverQueue() const;
    int lingerMs() const;
    QPlainTextEdit *logPane() const;
    QString queuedSummary() const;

    Phase m_phase = Phase::Idle;
    QList<Step> m_steps;
    QString m_port;
    LineSettings m_line;
    MainWindow *m_window = nullptr;
    SettingsDialog *m_dialog = nullptr;
    QSerialPort *m_serial = nullptr;
    LineMonitor *m_monitor = nullptr;
    LineModel *m_model = nullptr;

    QList<StepResult> m_results;
    int m_index = -1;
    bool m_connectStep = false;
    std::optional<QString> m_message; // a box raised since the step began
    QString m_stopReason;             // the port is unusable from here on
    QString m_failure;
    QString m_note;
    qint64 m_queuedAtStart = 0;
    QString m_logAtStart;

    QElapsedTimer m_runClock;
    QElapsedTimer m_openClock; // since the port last opened
    qint64 m_sentSinceOpen = 0;
    bool m_finishing = false;
    QElapsedTimer m_stepClock;
    QTimer m_waitTimer;   // a wait step
    QTimer m_drainTimer;  // the driver's queue, looked at again
    QTimer m_withinTimer; // the expectation's window
    QTimer m_deadline;    // the step's last chance
    QTimer m_connectPoll;
    QTimer m_connectLimit;
};

} // namespace Runner

#endif

#ifndef TELVAR_RUNNER_PLAN_H
#define TELVAR_RUNNER_PLAN_H

// What telvar-run is asked to do: the ports, the line settings and the steps,
// read from a YAML plan or made from the command line. Everything a step
// needs is checked and converted here, before any port opens, so that a
// mistake in the plan costs not one byte on the line.

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>

namespace Runner {

// Where something was written: a plan file's line and column (1-based), or
// nothing for the command line.
struct Location
{
    QString file;
    int line = 0;
    int column = 0;

    QString prefix() const; // "plan.yaml:7:5: ", or empty
};

// A mistake in the command line or the plan: exit status 2.
struct PlanError
{
    Location where;
    QString message;

    QString text() const { return where.prefix() + message; }
};

// The line settings as the settings dialog's boxes hold them (their item
// data); a field left empty keeps the dialog's default.
struct LineChoice
{
    std::optional<int> baud;
    std::optional<QSerialPort::DataBits> dataBits;
    std::optional<QSerialPort::Parity> parity;
    std::optional<QSerialPort::StopBits> stopBits;
    std::optional<QSerialPort::FlowControl> flow;

    // Fields set in `over` replace those here.
    void override(const LineChoice &over);
};

// The settings dialog's defaults filled in where nothing was chosen.
struct LineSettings
{
    int baud = 115200;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flow = QSerialPort::SoftwareControl;

    static LineSettings from(const LineChoice &choice);
    // Bits on the line for one byte: start, data, parity, stop.
    double bitsPerByte() const;
};

// The speeds the settings dialog offers; no other can be chosen there.
const QList<int> &allowedBauds();
// One line option given as text ("baud", "9600"); the keys are those of the
// command line and the plan: baud data parity stop flow. Empty when fine,
// else the message.
QString setLineOption(LineChoice &choice, const QString &key, const QString &value);

// A duration with its unit: "500ms", "2s", "1.5 s". A bare number is refused,
// as "within: 2" could mean either.
std::optional<int> parseDuration(const QString &text, QString *error);

struct Expectation
{
    enum class Kind { Nothing, Text, Hex, Bits, Count, Silence };
    Kind kind = Kind::Nothing; // Nothing: no expectation, the step passes once sent
    QString source;            // as written, for the report
    QRegularExpression text;
    QByteArray hex;     // the bytes expected, and which of them count:
    QByteArray hexCare; // 0 for a ?? that takes any byte, else 1
    int mask = 0;
    int value = 0;
    int count = 0;
    int withinMs = 2000;

    bool isSet() const { return kind != Kind::Nothing; }
    // "text /V[0-9]+/", "hex 56 ?? 2E", "bits 08 = 00", "4 bytes", "no reply".
    QString describe() const;
};

// One `with:` entry, resolved against the window (runner/controls.h).
struct Setting
{
    QString control; // as written
    QString value;   // as written
    Location where;
    // Resolved: the control's object name, and what to set.
    QString objectName;
    enum class Kind { Check, Radio, Combo, Spin } kind = Kind::Check;
    int number = 0; // check: 0/1, combo: index, spin: value
};

struct Step
{
    enum class Action { Press, Send, Wait, Load, Connect };
    Action action = Action::Press;
    QString name; // in the report
    Location where;
    QString target;   // press: the caption as written; load: the file
    QByteArray bytes; // send
    int waitMs = 0;   // wait
    LineChoice line;  // connect: changes from the settings in force
    QList<Setting> with;
    Expectation expect;
    // Resolved press: the button and the signal its script listens to.
    QString buttonObject;
    QByteArray buttonSignal;
};

struct Plan
{
    QString name;
    QString file; // empty for the quick form
    QStringList ports;
    LineChoice line;
    QList<Step> steps;
};

// Reads a plan file. Relative picture paths are taken from the plan's folder.
std::optional<Plan> readPlan(const QString &path, PlanError *error);

// `send` text as the Line Monitor's send line reads it, and `hex` of an
// expectation (?? for any byte), both through the monitor's own parser.
std::optional<QByteArray> parseSendHex(const QString &text, QString *error);
bool parseExpectedHex(const QString &text, QByteArray *bytes, QByteArray *care, QString *error);

// What the report calls a step that has no name of its own.
QString defaultStepName(const Step &step);

} // namespace Runner

#endif

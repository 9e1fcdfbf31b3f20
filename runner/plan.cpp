#include "runner/plan.h"

#include "monitor/lineformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <yaml-cpp/yaml.h>

namespace Runner {

QString Location::prefix() const
{
    if (file.isEmpty())
        return QString();
    if (line <= 0)
        return file + QStringLiteral(": ");
    return QStringLiteral("%1:%2:%3: ").arg(file).arg(line).arg(column);
}

void LineChoice::override(const LineChoice &over)
{
    if (over.baud)
        baud = over.baud;
    if (over.dataBits)
        dataBits = over.dataBits;
    if (over.parity)
        parity = over.parity;
    if (over.stopBits)
        stopBits = over.stopBits;
    if (over.flow)
        flow = over.flow;
}

LineSettings LineSettings::from(const LineChoice &choice)
{
    LineSettings s;
    s.baud = choice.baud.value_or(s.baud);
    s.dataBits = choice.dataBits.value_or(s.dataBits);
    s.parity = choice.parity.value_or(s.parity);
    s.stopBits = choice.stopBits.value_or(s.stopBits);
    s.flow = choice.flow.value_or(s.flow);
    return s;
}

double LineSettings::bitsPerByte() const
{
    const double stop = stopBits == QSerialPort::OneStop ? 1
        : stopBits == QSerialPort::TwoStop               ? 2
                                                         : 1.5;
    return 1 + int(dataBits) + (parity == QSerialPort::NoParity ? 0 : 1) + stop;
}

const QList<int> &allowedBauds()
{
    static const QList<int> bauds{9600, 19200, 38400, 57600, 115200, 256000, 375000};
    return bauds;
}

QString setLineOption(LineChoice &choice, const QString &key, const QString &rawValue)
{
    const QString value = rawValue.trimmed().toLower();
    if (key == QLatin1String("baud")) {
        bool ok = false;
        const int baud = value.toInt(&ok);
        if (!ok || !allowedBauds().contains(baud)) {
            QStringList offered;
            for (int b : allowedBauds())
                offered << QString::number(b);
            return QStringLiteral("baud \"%1\" is not one the settings dialog offers: %2")
                .arg(rawValue, offered.join(QLatin1Char(' ')));
        }
        choice.baud = baud;
    } else if (key == QLatin1String("data")) {
        bool ok = false;
        const int bits = value.toInt(&ok);
        if (!ok || bits < 5 || bits > 8)
            return QStringLiteral("data \"%1\": give 5, 6, 7 or 8 data bits").arg(rawValue);
        choice.dataBits = QSerialPort::DataBits(bits);
    } else if (key == QLatin1String("parity")) {
        static const QList<QPair<QString, QSerialPort::Parity>> names{
            {QStringLiteral("none"), QSerialPort::NoParity},
            {QStringLiteral("even"), QSerialPort::EvenParity},
            {QStringLiteral("odd"), QSerialPort::OddParity},
            {QStringLiteral("space"), QSerialPort::SpaceParity},
            {QStringLiteral("mark"), QSerialPort::MarkParity}};
        for (const auto &[name, parity] : names) {
            if (value == name) {
                choice.parity = parity;
                return QString();
            }
        }
        return QStringLiteral("parity \"%1\": give none, even, odd, space or mark").arg(rawValue);
    } else if (key == QLatin1String("stop")) {
        if (value == QLatin1String("1"))
            choice.stopBits = QSerialPort::OneStop;
        else if (value == QLatin1String("1.5"))
            choice.stopBits = QSerialPort::OneAndHalfStop;
        else if (value == QLatin1String("2"))
            choice.stopBits = QSerialPort::TwoStop;
        else
            return QStringLiteral("stop \"%1\": give 1, 1.5 or 2 stop bits").arg(rawValue);
    } else if (key == QLatin1String("flow")) {
        if (value == QLatin1String("none"))
            choice.flow = QSerialPort::NoFlowControl;
        else if (value == QLatin1String("rtscts"))
            choice.flow = QSerialPort::HardwareControl;
        else if (value == QLatin1String("xonxoff"))
            choice.flow = QSerialPort::SoftwareControl;
        else
            return QStringLiteral("flow \"%1\": give none, rtscts or xonxoff").arg(rawValue);
    } else {
        return QStringLiteral("no line option \"%1\"").arg(key);
    }
    return QString();
}

std::optional<int> parseDuration(const QString &text, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*(ms|s)\\s*$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("\"%1\" is no duration: give it with its unit, as 500ms or 2s")
                     .arg(text);
        return std::nullopt;
    }
    const double amount = match.captured(1).toDouble();
    const double ms = match.captured(2) == QLatin1String("s") ? amount * 1000 : amount;
    if (ms > 3600 * 1000) {
        *error = QStringLiteral("\"%1\" is longer than an hour").arg(text);
        return std::nullopt;
    }
    return int(ms + 0.5);
}

QString Expectation::describe() const
{
    switch (kind) {
    case Kind::Nothing:
        return QString();
    case Kind::Text:
        return QStringLiteral("text /%1/").arg(source);
    case Kind::Hex: {
        QStringList bytes;
        for (qsizetype i = 0; i < hex.size(); ++i)
            bytes << (hexCare.at(i) ? LineFormat::hexList(hex.mid(i, 1)) : QStringLiteral("??"));
        return QStringLiteral("hex %1").arg(bytes.join(QLatin1Char(' ')));
    }
    case Kind::Bits:
        return QStringLiteral("bits mask %1 value %2")
            .arg(LineFormat::hexList(QByteArray(1, char(mask))),
                 LineFormat::hexList(QByteArray(1, char(value))));
    case Kind::Count:
        return QStringLiteral("%1 bytes").arg(count);
    case Kind::Silence:
        return QStringLiteral("no reply");
    }
    return QString();
}

std::optional<QByteArray> parseSendHex(const QString &text, QString *error)
{
    const LineFormat::Parsed parsed = LineFormat::parseHex(text);
    if (!parsed.ok()) {
        *error = LineFormat::describeError(parsed);
        return std::nullopt;
    }
    return parsed.bytes;
}

// The monitor's hex parser knows no wildcard: the pieces between the ??s are
// parsed by it, and a piece of nothing but separators stands for no bytes.
bool parseExpectedHex(const QString &text, QByteArray *bytes, QByteArray *care, QString *error)
{
    bytes->clear();
    care->clear();
    const QStringList pieces = text.split(QStringLiteral("??"));
    int offset = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            bytes->append('\0');
            care->append('\0');
        }
        LineFormat::Parsed parsed = LineFormat::parseHex(pieces.at(i));
        if (parsed.ok()) {
            bytes->append(parsed.bytes);
            care->append(QByteArray(parsed.bytes.size(), 1));
        } else if (parsed.position > 0) {
            parsed.position += offset;
            *error = LineFormat::describeError(parsed);
            return false;
        }
        offset += int(pieces.at(i).size()) + 2;
    }
    if (bytes->isEmpty()) {
        *error = QStringLiteral("no bytes to expect");
        return false;
    }
    return true;
}

QString defaultStepName(const Step &step)
{
    switch (step.action) {
    case Step::Action::Press:
        return step.target.trimmed();
    case Step::Action::Send:
        return QStringLiteral("send %1").arg(LineFormat::hexList(step.bytes.left(16)))
            + (step.bytes.size() > 16 ? QStringLiteral(" ...") : QString());
    case Step::Action::Wait:
        return QStringLiteral("wait %1 ms").arg(step.waitMs);
    case Step::Action::Load:
        return QStringLiteral("load %1").arg(QFileInfo(step.target).fileName());
    case Step::Action::Connect:
        return QStringLiteral("connect");
    }
    return QString();
}

namespace {

// Thrown while reading, caught once at the top.
struct Refusal
{
    PlanError error;
};

class Reader
{
public:
    explicit Reader(const QString &file)
        : m_file(file)
        , m_folder(QFileInfo(file).absoluteDir())
    {
    }

    Plan read(const YAML::Node &root);

private:
    Location at(const YAML::Node &node) const
    {
        const YAML::Mark mark = node.Mark();
        return Location{m_file, mark.line + 1, mark.column + 1};
    }
    [[noreturn]] void refuse(const YAML::Node &node, const QString &message) const
    {
        throw Refusal{PlanError{at(node), message}};
    }
    QString scalar(const YAML::Node &node, const QString &what) const
    {
        if (!node.IsScalar())
            refuse(node, QStringLiteral("%1 wants a single value").arg(what));
        return QString::fromStdString(node.Scalar());
    }
    // Keys of a mapping, each once, each one of `known`.
    QList<QPair<QString, YAML::Node>> entries(const YAML::Node &map, const QString &what,
                                              const QStringList &known) const;
    int number(const YAML::Node &node, const QString &what, int low, int high) const;
    void lineOption(LineChoice &choice, const QString &key, const YAML::Node &value) const;
    Step step(const YAML::Node &node, int index) const;
    Expectation expectation(const YAML::Node &node) const;

    QString m_file;
    QDir m_folder;
};

QList<QPair<QString, YAML::Node>> Reader::entries(const YAML::Node &map, const QString &what,
                                                  const QStringList &known) const
{
    if (!map.IsMap())
        refuse(
            map,
            QStringLiteral("%1 wants a mapping of %2").arg(what, known.join(QStringLiteral(", "))));
    QList<QPair<QString, YAML::Node>> result;
    QSet<QString> seen;
    for (auto it = map.begin(); it != map.end(); ++it) {
        const QString key = scalar(it->first, QStringLiteral("a key"));
        if (!known.contains(key))
            refuse(it->first,
                   QStringLiteral("unknown key \"%1\" in %2; known: %3")
                       .arg(key, what, known.join(QStringLiteral(", "))));
        if (seen.contains(key))
            refuse(it->first, QStringLiteral("\"%1\" given twice in %2").arg(key, what));
        seen.insert(key);
        result.append({key, it->second});
    }
    return result;
}

int Reader::number(const YAML::Node &node, const QString &what, int low, int high) const
{
    QString text = scalar(node, what).trimmed();
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        text = text.mid(2);
    }
    bool ok = false;
    const int value = text.toInt(&ok, base);
    if (!ok || value < low || value > high)
        refuse(node,
               QStringLiteral("%1 wants a whole number from %2 to %3, not \"%4\"")
                   .arg(what)
                   .arg(low)
                   .arg(high)
                   .arg(QString::fromStdString(node.Scalar())));
    return value;
}

void Reader::lineOption(LineChoice &choice, const QString &key, const YAML::Node &value) const
{
    const QString message = setLineOption(choice, key, scalar(value, key));
    if (!message.isEmpty())
        refuse(value, message);
}

Plan Reader::read(const YAML::Node &root)
{
    static const QStringList lineKeys{QStringLiteral("baud"), QStringLiteral("data"),
                                      QStringLiteral("parity"), QStringLiteral("stop"),
                                      QStringLiteral("flow")};
    Plan plan;
    plan.file = m_file;
    plan.name = QFileInfo(m_file).completeBaseName();
    if (!root.IsDefined() || root.IsNull())
        throw Refusal{PlanError{Location{m_file, 1, 1}, QStringLiteral("the plan is empty")}};
    bool hasSteps = false;
    bool portGiven = false;
    for (const auto &[key, value] :
         entries(root, QStringLiteral("the plan"),
                 QStringList{QStringLiteral("name"), QStringLiteral("port"),
                             QStringLiteral("ports"), QStringLiteral("steps")}
                     + lineKeys)) {
        if (key == QLatin1String("name")) {
            plan.name = scalar(value, key);
        } else if (key == QLatin1String("port") || key == QLatin1String("ports")) {
            if (portGiven)
                refuse(value, QStringLiteral("give either port or ports, not both"));
            portGiven = true;
            if (value.IsSequence()) {
                for (const YAML::Node &port : value)
                    plan.ports << scalar(port, QStringLiteral("a port"));
                if (plan.ports.isEmpty())
                    refuse(value, QStringLiteral("ports is empty"));
            } else {
                plan.ports << scalar(value, key);
            }
            for (const QString &port : std::as_const(plan.ports)) {
                if (port.trimmed().isEmpty())
                    refuse(value, QStringLiteral("a port without a name"));
            }
        } else if (key == QLatin1String("steps")) {
            hasSteps = true;
            if (!value.IsSequence() || value.size() == 0)
                refuse(value, QStringLiteral("steps wants a list of at least one step"));
            int index = 0;
            for (const YAML::Node &node : value)
                plan.steps.append(step(node, ++index));
        } else {
            lineOption(plan.line, key, value);
        }
    }
    if (!hasSteps)
        refuse(root, QStringLiteral("the plan has no steps"));
    return plan;
}

Step Reader::step(const YAML::Node &node, int index) const
{
    static const QStringList actions{QStringLiteral("press"), QStringLiteral("send"),
                                     QStringLiteral("wait"), QStringLiteral("load"),
                                     QStringLiteral("connect")};
    Step step;
    step.where = at(node);
    const QString which = QStringLiteral("step %1").arg(index);
    if (node.IsScalar()) { // "- Receipt" is a press
        step.target = scalar(node, which);
        return step;
    }
    YAML::Node actionNode;
    QString action;
    for (const auto &[key, value] :
         entries(node, which,
                 actions
                     + QStringList{QStringLiteral("name"), QStringLiteral("with"),
                                   QStringLiteral("expect")})) {
        if (actions.contains(key)) {
            if (!action.isEmpty())
                refuse(value,
                       QStringLiteral("%1 does one thing: %2 or %3, not both")
                           .arg(which, action, key));
            action = key;
            actionNode = value;
        } else if (key == QLatin1String("name")) {
            step.name = scalar(value, key);
        } else if (key == QLatin1String("with")) {
            // Control names are checked against the window later; here only
            // their form, in the order written: a user sets one after the other.
            if (!value.IsMap())
                refuse(value, QStringLiteral("with wants a mapping of controls to values"));
            QSet<QString> seen;
            for (auto it = value.begin(); it != value.end(); ++it) {
                Setting setting;
                setting.control = scalar(it->first, QStringLiteral("a control's name"));
                setting.value = scalar(it->second,
                                       QStringLiteral("the value of \"%1\"").arg(setting.control));
                setting.where = at(it->first);
                if (seen.contains(setting.control))
                    refuse(it->first,
                           QStringLiteral("\"%1\" given twice in with").arg(setting.control));
                seen.insert(setting.control);
                step.with.append(setting);
            }
        } else {
            step.expect = expectation(value);
        }
    }
    if (action.isEmpty())
        refuse(node,
               QStringLiteral("%1 does nothing: give one of %2")
                   .arg(which, actions.join(QStringLiteral(", "))));

    if (action == QLatin1String("press")) {
        step.action = Step::Action::Press;
        step.target = scalar(actionNode, action);
    } else if (action == QLatin1String("send")) {
        step.action = Step::Action::Send;
        QString error;
        if (actionNode.IsMap()) {
            const auto given = entries(actionNode, QStringLiteral("send"),
                                       {QStringLiteral("text"), QStringLiteral("hex")});
            if (given.size() != 1)
                refuse(actionNode, QStringLiteral("send wants one of text or hex"));
            const QString text = scalar(given.first().second, given.first().first);
            LineFormat::Parsed parsed = given.first().first == QLatin1String("text")
                ? LineFormat::parseText(text)
                : LineFormat::parseHex(text);
            if (!parsed.ok())
                refuse(given.first().second,
                       QStringLiteral("send: %1").arg(LineFormat::describeError(parsed)));
            step.bytes = parsed.bytes;
        } else {
            const auto bytes = parseSendHex(scalar(actionNode, action), &error);
            if (!bytes)
                refuse(actionNode, QStringLiteral("send: %1").arg(error));
            step.bytes = *bytes;
        }
    } else if (action == QLatin1String("wait")) {
        step.action = Step::Action::Wait;
        QString error;
        const auto ms = parseDuration(scalar(actionNode, action), &error);
        if (!ms)
            refuse(actionNode, QStringLiteral("wait: %1").arg(error));
        step.waitMs = *ms;
    } else if (action == QLatin1String("load")) {
        step.action = Step::Action::Load;
        const QString given = scalar(actionNode, action);
        const QFileInfo info(m_folder, given);
        if (!info.exists())
            refuse(actionNode,
                   QStringLiteral("load: no picture %1")
                       .arg(QDir::toNativeSeparators(info.filePath())));
        if (!info.isFile() || !info.isReadable())
            refuse(actionNode,
                   QStringLiteral("load: %1 is not a file that can be read")
                       .arg(QDir::toNativeSeparators(info.filePath())));
        step.target = info.absoluteFilePath();
    } else {
        step.action = Step::Action::Connect;
        if (!actionNode.IsNull()) {
            for (const auto &[key, value] :
                 entries(actionNode, QStringLiteral("connect"),
                         {QStringLiteral("baud"), QStringLiteral("data"), QStringLiteral("parity"),
                          QStringLiteral("stop"), QStringLiteral("flow")}))
                lineOption(step.line, key, value);
        }
    }

    return step;
}

Expectation Reader::expectation(const YAML::Node &node) const
{
    static const QStringList kinds{QStringLiteral("text"), QStringLiteral("hex"),
                                   QStringLiteral("bits"), QStringLiteral("count"),
                                   QStringLiteral("none")};
    Expectation expect;
    QString kind;
    for (const auto &[key, value] :
         entries(node, QStringLiteral("expect"), kinds + QStringList{QStringLiteral("within")})) {
        if (key == QLatin1String("within")) {
            QString error;
            const auto ms = parseDuration(scalar(value, key), &error);
            if (!ms)
                refuse(value, QStringLiteral("within: %1").arg(error));
            expect.withinMs = *ms;
            continue;
        }
        if (!kind.isEmpty())
            refuse(value,
                   QStringLiteral("expect judges one thing: %1 or %2, not both").arg(kind, key));
        kind = key;
        if (key == QLatin1String("text")) {
            expect.kind = Expectation::Kind::Text;
            expect.source = scalar(value, key);
            expect.text.setPattern(expect.source);
            if (!expect.text.isValid())
                refuse(value,
                       QStringLiteral("text: not a regular expression: %1 at offset %2")
                           .arg(expect.text.errorString())
                           .arg(expect.text.patternErrorOffset()));
        } else if (key == QLatin1String("hex")) {
            expect.kind = Expectation::Kind::Hex;
            expect.source = scalar(value, key);
            QString error;
            if (!parseExpectedHex(expect.source, &expect.hex, &expect.hexCare, &error))
                refuse(value, QStringLiteral("hex: %1").arg(error));
        } else if (key == QLatin1String("bits")) {
            expect.kind = Expectation::Kind::Bits;
            const auto fields = entries(value, QStringLiteral("bits"),
                                        {QStringLiteral("mask"), QStringLiteral("value")});
            if (fields.size() != 2)
                refuse(value, QStringLiteral("bits wants both mask and value"));
            for (const auto &[field, number] : fields)
                (field == QLatin1String("mask") ? expect.mask : expect.value)
                    = this->number(number, field, 0, 255);
            if (expect.value & ~expect.mask)
                refuse(
                    value,
                    QStringLiteral("bits: value %1 has bits outside mask %2, so no byte can match")
                        .arg(expect.value)
                        .arg(expect.mask));
        } else if (key == QLatin1String("count")) {
            expect.kind = Expectation::Kind::Count;
            expect.count = number(value, key, 0, 1 << 30);
        } else {
            const QString flag = scalar(value, key).toLower();
            if (flag != QLatin1String("true") && flag != QLatin1String("yes")
                && flag != QLatin1String("on"))
                refuse(value,
                       QStringLiteral(
                           "none: only none: true is meant; leave expect out to judge nothing"));
            expect.kind = Expectation::Kind::Silence;
        }
    }
    if (kind.isEmpty())
        refuse(node,
               QStringLiteral("expect wants one of %1").arg(kinds.join(QStringLiteral(", "))));
    return expect;
}

} // namespace

std::optional<Plan> readPlan(const QString &path, PlanError *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = PlanError{Location(),
                           QStringLiteral("cannot read the plan %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString())};
        return std::nullopt;
    }
    const QByteArray text = file.readAll();
    try {
        const YAML::Node root = YAML::Load(text.toStdString());
        return Reader(path).read(root);
    } catch (const Refusal &refusal) {
        *error = refusal.error;
    } catch (const YAML::Exception &e) {
        *error = PlanError{Location{path, e.mark.line + 1, e.mark.column + 1},
                           QString::fromStdString(e.msg)};
    }
    return std::nullopt;
}

} // namespace Runner

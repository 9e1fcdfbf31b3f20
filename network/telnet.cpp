#include "telnet.h"

#include <initializer_list>

namespace Network::Telnet {

namespace {

QByteArray bytes(std::initializer_list<uchar> list)
{
    QByteArray out;
    for (uchar b : list)
        out.append(char(b));
    return out;
}

// A sub-negotiation longer than this is no COM-PORT-OPTION message (the
// longest, a signature, is text of a line); the rest of it is dropped.
constexpr qsizetype kMaxSub = 1024;

} // namespace

QByteArray escape(const QByteArray &data)
{
    if (!data.contains(char(Iac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 16);
    qsizetype from = 0;
    for (qsizetype at = data.indexOf(char(Iac)); at >= 0; at = data.indexOf(char(Iac), from)) {
        out.append(data.constData() + from, at + 1 - from);
        out.append(char(Iac));
        from = at + 1;
    }
    out.append(data.constData() + from, data.size() - from);
    return out;
}

QByteArray negotiation(uchar verb, uchar option)
{
    return bytes({Iac, verb, option});
}

QByteArray subnegotiation(uchar option, const QByteArray &payload)
{
    return bytes({Iac, Sb, option}) + escape(payload) + bytes({Iac, Se});
}

Session::Session(const QList<uchar> &ours, const QList<uchar> &theirs)
{
    for (uchar option : ours)
        m_acceptOurs[option] = true;
    for (uchar option : theirs)
        m_acceptTheirs[option] = true;
}

QByteArray Session::open()
{
    QByteArray out;
    for (int option = 0; option < 256; ++option) {
        if (m_acceptOurs[option] && m_ours[option] == No) {
            m_ours[option] = WantYes;
            out += negotiation(Will, uchar(option));
        }
        if (m_acceptTheirs[option] && m_theirs[option] == No) {
            m_theirs[option] = WantYes;
            out += negotiation(Do, uchar(option));
        }
    }
    return out;
}

void Session::command(uchar verb, uchar option, QByteArray *reply)
{
    const bool aboutOurs = verb == Do || verb == Dont;
    State &state = aboutOurs ? m_ours[option] : m_theirs[option];
    const bool accept = aboutOurs ? m_acceptOurs[option] : m_acceptTheirs[option];
    const uchar agree = aboutOurs ? Will : Do;
    const uchar decline = aboutOurs ? Wont : Dont;
    if (verb == Do || verb == Will) {
        if (state == WantYes) {
            state = Yes; // the answer to our own request
        } else if (state == No) {
            state = accept ? Yes : No;
            *reply += negotiation(accept ? agree : decline, option);
        }
    } else {
        if (state == WantYes)
            m_refused[option] = true;
        else if (state == Yes)
            *reply += negotiation(decline, option);
        state = No;
    }
}

QByteArray Session::receive(const QByteArray &bytes, QByteArray *reply, QList<QByteArray> *subs)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar b = uchar(c);
        switch (m_parse) {
        case Parse::Data:
            if (b == Iac)
                m_parse = Parse::Iac;
            else
                data.append(c);
            break;
        case Parse::Iac:
            m_parse = Parse::Data;
            if (b == Iac) {
                data.append(c);
                break;
            }
            m_spoke = true;
            if (b >= Will) {
                m_verb = b;
                m_parse = Parse::Verb;
            } else if (b == Sb) {
                m_sub.clear();
                m_parse = Parse::Sub;
            } // NOP, GA, AYT and the like carry nothing for a serial line
            break;
        case Parse::Verb:
            command(m_verb, b, reply);
            m_parse = Parse::Data;
            break;
        case Parse::Sub:
            if (b == Iac)
                m_parse = Parse::SubIac;
            else if (m_sub.size() < kMaxSub)
                m_sub.append(c);
            break;
        case Parse::SubIac:
            if (b == Iac) {
                if (m_sub.size() < kMaxSub)
                    m_sub.append(c);
                m_parse = Parse::Sub;
            } else {
                // IAC SE ends it; any other command after IAC ends it too.
                if (!m_sub.isEmpty())
                    subs->append(m_sub);
                m_parse = Parse::Data;
            }
            break;
        }
    }
    return data;
}

} // namespace Network::Telnet

namespace Network::Rfc2217 {

namespace {

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;

// RFC 2217's numbers: SET-PARITY 1 none, 2 odd, 3 even, 4 mark, 5 space;
// SET-CONTROL 1 none, 2 XON/XOFF, 3 hardware (4 to 19 are BREAK, DTR and RTS).
constexpr Parity kParities[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};

// Each setting as the remote port's ("even parity") and as the asked one's ("even").
const char *const kParityNames[] = {"no", "odd", "even", "mark", "space"};
const char *const kStopNames[] = {"", "1", "2", "1.5"};
const char *const kControlNames[] = {"", "no", "XON/XOFF", "RTS/CTS"};

int controlOf(const LineSettings &line)
{
    return line.rtsCts ? 3 : line.xonXoff ? 2 : 1;
}

} // namespace

QString commandName(uchar command)
{
    static const char *const names[] = {"SIGNATURE",          "SET-BAUDRATE",       "SET-DATASIZE",
                                        "SET-PARITY",         "SET-STOPSIZE",       "SET-CONTROL",
                                        "NOTIFY-LINESTATE",   "NOTIFY-MODEMSTATE",  "FLOWCONTROL-SUSPEND",
                                        "FLOWCONTROL-RESUME", "SET-LINESTATE-MASK", "SET-MODEMSTATE-MASK",
                                        "PURGE-DATA"};
    const uchar c = command >= ServerOffset ? uchar(command - ServerOffset) : command;
    return c <= PurgeData ? QLatin1String(names[c]) : QStringLiteral("command %1").arg(command);
}

QByteArray value(uchar command, const LineSettings &line)
{
    switch (command) {
    case SetBaudRate: {
        const quint32 baud = quint32(qBound<qint64>(0, line.baud, 0xffffffff));
        QByteArray four(4, Qt::Uninitialized);
        for (int i = 0; i < 4; ++i)
            four[i] = char(baud >> (24 - 8 * i));
        return four;
    }
    case SetDataSize: return QByteArray(1, char(line.dataBits));
    case SetParity: return QByteArray(1, char(int(line.parity) + 1));
    case SetStopSize: return QByteArray(1, char(int(line.stopBits)));
    case SetControl: return QByteArray(1, char(controlOf(line)));
    default: return QByteArray(1, '\0');
    }
}

QByteArray message(uchar command, const QByteArray &value)
{
    return Telnet::subnegotiation(Telnet::ComPortOption, QByteArray(1, char(command)) + value);
}

QByteArray settingsMessages(const LineSettings &line, uchar offset)
{
    QByteArray out;
    for (Command command : Settings)
        out += message(uchar(command + offset), value(command, line));
    return out;
}

bool apply(uchar command, const QByteArray &value, LineSettings *line)
{
    if (value.isEmpty())
        return false;
    const int v = uchar(value.at(0));
    switch (command) {
    case SetBaudRate: {
        if (value.size() != 4)
            return false;
        const auto byte = [&](int i) { return quint32(uchar(value.at(i))); };
        const quint32 baud = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (baud == 0)
            return false;
        line->baud = baud;
        return true;
    }
    case SetDataSize:
        if (v < 5 || v > 8)
            return false;
        line->dataBits = v;
        return true;
    case SetParity:
        if (v < 1 || v > 5)
            return false;
        line->parity = kParities[v - 1];
        return true;
    case SetStopSize:
        if (v < 1 || v > 3)
            return false;
        line->stopBits = StopBits(v);
        return true;
    case SetControl:
        if (v < 1 || v > 3)
            return false;
        line->xonXoff = v == 2;
        line->rtsCts = v == 3;
        return true;
    default:
        return false;
    }
}

QStringList differences(const LineSettings &asked, const LineSettings &runs, bool ignoreControl)
{
    QStringList lines;
    const auto differ = [&lines](const QString &runsText, const char *askedText) {
        lines << QStringLiteral("The remote port uses %1, not %2").arg(runsText, QLatin1String(askedText));
    };
    if (runs.baud != asked.baud)
        lines << QStringLiteral("The remote port runs at %1 baud, not %2").arg(runs.baud).arg(asked.baud);
    if (runs.dataBits != asked.dataBits)
        lines << QStringLiteral("The remote port uses %1 data bits, not %2").arg(runs.dataBits).arg(asked.dataBits);
    if (runs.parity != asked.parity)
        differ(QStringLiteral("%1 parity").arg(QLatin1String(kParityNames[int(runs.parity)])),
               asked.parity == Parity::None ? "none" : kParityNames[int(asked.parity)]);
    if (runs.stopBits != asked.stopBits)
        differ(QStringLiteral("%1 stop %2")
                   .arg(QLatin1String(kStopNames[int(runs.stopBits)]),
                        runs.stopBits == StopBits::One ? QLatin1String("bit") : QLatin1String("bits")),
               kStopNames[int(asked.stopBits)]);
    if (!ignoreControl && controlOf(runs) != controlOf(asked))
        differ(QStringLiteral("%1 flow control").arg(QLatin1String(kControlNames[controlOf(runs)])),
               controlOf(asked) == 1 ? "none" : kControlNames[controlOf(asked)]);
    return lines;
}

} // namespace Network::Rfc2217

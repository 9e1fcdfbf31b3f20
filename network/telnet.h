#ifndef TELVAR_NETWORK_TELNET_H
#define TELVAR_NETWORK_TELNET_H

// Telnet as RFC 2217 uses it to carry a serial line. Data bytes flow as they
// are, except that a data byte FF (IAC, which starts every Telnet command) is
// sent twice. Each end offers options with WILL (I will do it) and asks for
// them with DO (please do it); the other end agrees with DO or WILL, or
// refuses with DONT or WONT. A request is never answered when the state it
// asks for is already in force, which keeps two ends from answering each
// other forever (RFC 1143). A sub-negotiation, IAC SB option ... IAC SE,
// carries an option's own messages: for COM-PORT-OPTION (44) the client sets
// the remote UART with commands 1 to 12 and the server answers each with
// the setting now in force, as command number + 100.
//
// Everything here works on bytes only; the sockets are the callers'.

#include "linesettings.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Network::Telnet {

constexpr uchar Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250, Se = 240;
constexpr uchar Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPortOption = 44;

// Data with every FF doubled.
QByteArray escape(const QByteArray &data);
QByteArray negotiation(uchar verb, uchar option);
// IAC SB option payload IAC SE, the payload escaped.
QByteArray subnegotiation(uchar option, const QByteArray &payload);

// One end of a Telnet connection: the options it enables itself and the
// options it wants the peer to enable. Any other option is refused.
class Session
{
public:
    Session(const QList<uchar> &ours, const QList<uchar> &theirs);

    // The opening requests: WILL for each of ours, DO for each of theirs.
    QByteArray open();
    // Takes bytes from the peer; returns the data among them. Answers to the
    // peer's requests are appended to `reply`; each complete sub-negotiation
    // (its option byte, then the payload, unescaped) is appended to `subs`.
    QByteArray receive(const QByteArray &bytes, QByteArray *reply, QList<QByteArray> *subs);

    // Our option is in force: the peer said DO to it.
    bool enabled(uchar option) const { return m_ours[option] == Yes; }
    // The peer refused our option (DONT) or our request (WONT).
    bool refused(uchar option) const { return m_refused[option]; }
    // The peer has sent a Telnet command of any kind.
    bool spokeTelnet() const { return m_spoke; }

private:
    enum State : uchar { No, WantYes, Yes };
    enum class Parse { Data, Iac, Verb, Sub, SubIac };
    void command(uchar verb, uchar option, QByteArray *reply);

    State m_ours[256] = {};
    State m_theirs[256] = {};
    bool m_acceptOurs[256] = {};
    bool m_acceptTheirs[256] = {};
    bool m_refused[256] = {};
    bool m_spoke = false;
    Parse m_parse = Parse::Data;
    uchar m_verb = 0;
    QByteArray m_sub;
};

} // namespace Network::Telnet

namespace Network::Rfc2217 {

enum Command : uchar {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
// A server's answers and notices carry the command's number plus this.
constexpr uchar ServerOffset = 100;

// The five settings commands in the order they are sent.
constexpr Command Settings[] = {SetBaudRate, SetDataSize, SetParity, SetStopSize, SetControl};
// "SET-BAUDRATE" and so on.
QString commandName(uchar command);

// The value of settings command `command` for `line`: four bytes, high byte
// first, for the speed, one byte for the others.
QByteArray value(uchar command, const LineSettings &line);
// IAC SB COM-PORT-OPTION command value IAC SE.
QByteArray message(uchar command, const QByteArray &value);
// The five settings commands for `line`; a server sends its answers with
// `offset` ServerOffset.
QByteArray settingsMessages(const LineSettings &line, uchar offset = 0);
// Sets what `command` sets from `value`. False when the value is none of the
// command's settings; 0, the request for the setting in force, is none.
bool apply(uchar command, const QByteArray &value, LineSettings *line);

// What the remote port runs at where it differs from what was asked, one line
// each: "The remote port runs at 9600 baud, not 115200".
QStringList differences(const LineSettings &asked, const LineSettings &runs, bool ignoreControl = false);

} // namespace Network::Rfc2217

#endif

#ifndef TELVAR_NETWORK_NETWORKADDRESS_H
#define TELVAR_NETWORK_NETWORKADDRESS_H

// Port names that reach a controller on another machine, in the forms that
// pyserial and labgrid use:
//
//   rfc2217://HOST:PORT   Telnet with the RFC 2217 COM port control, as ser2net's
//                         telnet(rfc2217) accepter serves a serial port: the
//                         line settings travel to the remote UART
//   socket://HOST:PORT    raw TCP, bytes only: a serial device server or a
//                         network receipt printer (usually port 9100)
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets. Any other
// name with "://" in it cannot be a device path either: it is refused with the
// reason, so that a typo never opens a file of that name.

#include <QString>

namespace Network {

struct Address
{
    enum class Kind { Rfc2217, Socket };
    Kind kind = Kind::Socket;
    QString host; // an IPv6 address without its brackets
    quint16 port = 0;
    // pyserial's ?ign_set_control: the server's answer to the flow control
    // setting is not worth a word (ser2net on a pseudo-terminal reports none).
    bool ignoreSetControl = false;
    QString name; // as typed
};

enum class NameKind { Device, Network, Bad };

// Tells a device path from a network port name; reads the latter into
// `address`, or says in `error` what is wrong with it.
NameKind parsePortName(const QString &name, Address *address, QString *error);

// Where a server listens: "[HOST:]PORT", HOST 127.0.0.1 when left out, PORT 0
// for any free port.
bool parseListenAddress(const QString &text, QString *host, quint16 *port, QString *error);

} // namespace Network

#endif

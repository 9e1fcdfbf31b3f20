#ifndef TELVAR_NETWORK_NETWORKPORT_H
#define TELVAR_NETWORK_NETWORKPORT_H

// A serial port on another machine, made to look like a local one. The
// bridge opens a pseudo-terminal of its own and carries bytes between its
// master and a TCP connection in the event loop; the window's serial port
// opens the slave like any other device. So every path of a local port works
// unchanged: the port's queue and its progress, the line monitor, XON/XOFF
// from the remote device (written into the pseudo-terminal, whose IXON stops
// the port's output), and an unplugged device (the bridge hangs the
// pseudo-terminal up when the connection drops).
//
//   start()        pseudo-terminal made, connecting: within 5 s, or failed()
//   connected()    the network side is up (for rfc2217:// the server agreed
//                  to COM-PORT-OPTION): open the serial port on devicePath()
//   portOpened()   the bridge reads the settings the port set on the
//                  pseudo-terminal and, for rfc2217://, sends them to the
//                  remote port and reads its answers (within 5 s of connecting)
//   ready()        bytes flow; notes() says where the remote port runs at
//                  other settings than asked, or that socket:// has none
//   dropped()      the connection went away while ready: the
//                  pseudo-terminal is hung up, errorString() says why
//
// Nothing here blocks: the host is looked up, the connection made and every
// answer awaited in the event loop. Bytes the socket cannot take yet stay in
// the pseudo-terminal, so the port's writes wait as on a slow line; bytes the
// pseudo-terminal cannot take yet stay in the socket, whose TCP window holds
// the far end off.

#include "linesettings.h"
#include "networkaddress.h"
#include "telnet.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

namespace Network {

class TcpStream;

class NetworkPort : public QObject
{
    Q_OBJECT

public:
    explicit NetworkPort(const Address &address, QObject *parent = nullptr);
    ~NetworkPort() override;

    // Makes the pseudo-terminal and starts connecting; false, with the
    // reason in errorString(), when no pseudo-terminal can be made.
    bool start();
    const Address &address() const { return m_address; }
    // The pseudo-terminal's slave, for the serial port to open.
    QString devicePath() const { return m_devicePath; }
    // The serial port is open on devicePath(). `framing` gives what a
    // pseudo-terminal cannot keep: the data bits, the parity and 1.5 stop bits.
    void portOpened(const LineSettings &framing);
    // Ends the connection: what the port has handed over still goes out (for
    // at most two seconds), then the bridge deletes itself.
    void stop();

    bool isReady() const { return m_state == State::Ready; }
    QString errorString() const { return m_error; }
    QStringList notes() const { return m_notes; }
    // What was asked of the remote port and what it answered it runs at.
    LineSettings asked() const { return m_asked; }
    LineSettings remote() const { return m_remote; }

    static constexpr int ConnectMs = 5000;   // host lookup and TCP connection
    static constexpr int NegotiateMs = 5000; // Telnet options and the settings' answers

signals:
    void connected();
    void ready();
    void failed();
    void dropped();

private:
    enum class State { Idle, Connecting, Negotiating, Connected, Setting, Ready, Dropping, Closed };

    void socketConnected();
    void socketReadable();
    void socketGone();
    void deadlinePassed();
    void subnegotiation(const QByteArray &sub);
    void becomeReady();
    void readPty();
    void writePty();
    void updatePtyReading();
    void fail(const QString &reason);
    void drop(const QString &reason);
    void hangUp();
    void closeMaster();
    QString where() const;
    QString notTelnet() const;

    Address m_address;
    State m_state = State::Idle;
    TcpStream *m_socket = nullptr;
    int m_master = -1;
    QString m_devicePath;
    QSocketNotifier *m_ptyRead = nullptr;
    QSocketNotifier *m_ptyWrite = nullptr;
    bool m_portOpen = false;
    bool m_suspended = false; // the server sent FLOWCONTROL-SUSPEND
    QByteArray m_toPty;       // from the network, not yet taken by the pseudo-terminal
    QByteArray m_stranger;    // the first bytes of a server that speaks no Telnet
    QTimer m_deadline;
    QTimer m_hangUpTimer;
    Telnet::Session m_telnet;
    LineSettings m_asked;
    LineSettings m_remote;
    unsigned m_unanswered = 0; // bit n: settings command n awaits its answer
    QString m_error;
    QStringList m_notes;
};

} // namespace Network

#endif

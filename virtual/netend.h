#ifndef TELVAR_VIRTUAL_NETEND_H
#define TELVAR_VIRTUAL_NETEND_H

// The virtual controller on the network, one end of its line:
//
//   --listen [HOST:]PORT    raw TCP, as a network receipt printer (port 9100):
//                           bytes only; the controller's UART speed paces
//                           them and the TCP window holds the host off while
//                           the buffer is full
//   --rfc2217 [HOST:]PORT   Telnet with RFC 2217, as ser2net serves a serial
//                           port: the settings the client sets are the host's
//                           line, exactly as a pseudo-terminal's settings are
//                           (pacing, the speed mismatch, XON/XOFF)
//
// One client at a time, as a printer serves one job at a time: a second one
// is accepted and listed but waits, unread, until the first has left.
// Neither protocol has any authentication.

#include "linesettings.h"
#include "telnet.h"
#include "ttylink.h"

#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

namespace Virtual {

class NetworkEnd : public QObject, public LineEnd
{
public:
    enum class Kind { Raw, Rfc2217 };
    explicit NetworkEnd(Kind kind, QObject *parent = nullptr);

    // Listens on `host`:`port` (0: any free port); false with errorString().
    bool listen(const QString &host, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    // The name a client types: "socket://127.0.0.1:9100", "rfc2217://...".
    QString url() const;

    std::function<void(const QString &)> onListing;

    qint64 read(char *buffer, qint64 size) override;
    void write(const QByteArray &bytes) override;
    bool hostLine(HostLine *line) override;
    void watch(bool on) override;

private:
    void accept();
    void serveNext();
    void take();
    void subnegotiation(const QByteArray &sub);
    void clientGone(QTcpSocket *client);
    void list(const QString &line) const;
    void notify();
    static QString peer(const QTcpSocket *client);

    Kind m_kind;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;  // the host the end serves
    QList<QTcpSocket *> m_waiting;   // accepted, not read until their turn
    Network::Telnet::Session m_telnet;
    Network::LineSettings m_settings; // the remote port's, as the client set it
    QByteArray m_in;                   // data taken from the client, not yet read
    bool m_watching = false;
    bool m_notifyQueued = false;
};

} // namespace Virtual

#endif

#include "netend.h"

#include "ttysettings.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

namespace Virtual {

namespace {

using namespace Network;

// Bytes taken from the client and not yet read by the line; beyond this they
// stay in the TCP window, which holds the client off.
constexpr qint64 kHighWater = 64 * 1024;

// The remote port as a client finds it: the controller's own line.
LineSettings controllerLine()
{
    LineSettings line;
    line.baud = 115200;
    line.xonXoff = true;
    return line;
}

} // namespace

NetworkEnd::NetworkEnd(Kind kind, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_telnet({}, {})
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
}

bool NetworkEnd::listen(const QString &host, quint16 port)
{
    QHostAddress address(host);
    if (address.isNull())
        address = QHostInfo::fromName(host).addresses().value(0);
    return m_server.listen(address.isNull() ? QHostAddress(QHostAddress::LocalHost) : address, port);
}

QString NetworkEnd::url() const
{
    const QString host = m_server.serverAddress().toString();
    return QStringLiteral("%1://%2:%3")
        .arg(m_kind == Kind::Raw ? QLatin1String("socket") : QLatin1String("rfc2217"),
             host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
        .arg(m_server.serverPort());
}

QString NetworkEnd::peer(const QTcpSocket *client)
{
    return QStringLiteral("%1:%2").arg(client->peerAddress().toString()).arg(client->peerPort());
}

void NetworkEnd::list(const QString &line) const
{
    if (onListing)
        onListing(line);
}

void NetworkEnd::accept()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        client->setReadBufferSize(kHighWater);
        connect(client, &QTcpSocket::disconnected, this, [this, client] { clientGone(client); });
        connect(client, &QTcpSocket::readyRead, this, [this, client] {
            if (client == m_client)
                notify();
        });
        if (m_client) {
            list(QStringLiteral("network: %1 waits: the line serves %2").arg(peer(client), peer(m_client)));
            m_waiting << client;
        } else {
            m_waiting.prepend(client);
            serveNext();
        }
    }
}

void NetworkEnd::serveNext()
{
    if (m_waiting.isEmpty())
        return;
    m_client = m_waiting.takeFirst();
    m_settings = controllerLine();
    if (m_kind == Kind::Raw) {
        list(QStringLiteral("network: %1 connected (raw TCP, paced at the controller's UART)").arg(peer(m_client)));
    } else {
        list(QStringLiteral("network: %1 connected (Telnet with RFC 2217)").arg(peer(m_client)));
        m_telnet = Telnet::Session({Telnet::Binary, Telnet::SuppressGoAhead},
                                   {Telnet::Binary, Telnet::SuppressGoAhead, Telnet::ComPortOption});
        m_client->write(m_telnet.open());
    }
    notify();
}

void NetworkEnd::clientGone(QTcpSocket *client)
{
    client->deleteLater();
    if (m_waiting.removeOne(client)) {
        list(QStringLiteral("network: %1 left before its turn").arg(peer(client)));
        return;
    }
    if (client != m_client)
        return;
    take(); // its last bytes are still read
    list(QStringLiteral("network: %1 left").arg(peer(client)));
    m_client = nullptr;
    serveNext();
}

void NetworkEnd::take()
{
    while (m_client && m_in.size() < kHighWater && m_client->bytesAvailable() > 0) {
        QByteArray bytes = m_client->read(kHighWater - m_in.size());
        if (m_kind == Kind::Rfc2217) {
            QByteArray reply;
            QList<QByteArray> subs;
            bytes = m_telnet.receive(bytes, &reply, &subs);
            for (const QByteArray &sub : subs)
                subnegotiation(sub);
            if (!reply.isEmpty())
                m_client->write(reply);
        }
        m_in += bytes;
    }
}

void NetworkEnd::subnegotiation(const QByteArray &sub)
{
    if (sub.size() < 2 || uchar(sub.at(0)) != Telnet::ComPortOption)
        return;
    const uchar command = uchar(sub.at(1));
    const QByteArray value = sub.mid(2);
    const auto answer = [this, command](const QByteArray &v) {
        m_client->write(Rfc2217::message(uchar(command + Rfc2217::ServerOffset), v));
    };
    switch (command) {
    case Rfc2217::SetBaudRate:
    case Rfc2217::SetDataSize:
    case Rfc2217::SetParity:
    case Rfc2217::SetStopSize:
    case Rfc2217::SetControl:
        if (command == Rfc2217::SetControl && !value.isEmpty() && uchar(value.at(0)) > 3) {
            answer(value); // BREAK, DTR and RTS: a virtual line has no such wires
            break;
        }
        // A request (0) or a value that is no setting is answered with the one in force.
        Rfc2217::apply(command, value, &m_settings);
        answer(Rfc2217::value(command, m_settings));
        break;
    case Rfc2217::PurgeData:
        if (!value.isEmpty() && (value.at(0) == 1 || value.at(0) == 3))
            m_in.clear();
        answer(value);
        break;
    case Rfc2217::SetLineStateMask:
    case Rfc2217::SetModemStateMask:
        answer(value);
        break;
    default:
        break; // the client's signature, notices and flow requests ask for nothing
    }
}

qint64 NetworkEnd::read(char *buffer, qint64 size)
{
    take();
    if (m_in.isEmpty())
        return m_client ? 0 : -1;
    const qint64 n = qMin<qint64>(size, m_in.size());
    std::memcpy(buffer, m_in.constData(), size_t(n));
    m_in.remove(0, n);
    return n;
}

void NetworkEnd::write(const QByteArray &bytes)
{
    if (!m_client)
        return;
    QByteArray out = bytes;
    // A host UART with XON/XOFF takes them off the wire itself and stops; on
    // raw TCP no one expects them: the TCP window holds the host off instead.
    if (m_kind == Kind::Raw || m_settings.xonXoff) {
        out.replace(kXon, QByteArray());
        out.replace(kXoff, QByteArray());
    }
    m_client->write(m_kind == Kind::Rfc2217 ? Telnet::escape(out) : out);
}

bool NetworkEnd::hostLine(HostLine *line)
{
    if (!m_client)
        return false;
    if (m_kind == Kind::Rfc2217) {
        *line = Virtual::hostLine(m_settings);
    } else {
        // No line settings: bytes are taken at the controller's UART speed
        // (speed 0), and the host stops while XOFF is in force.
        *line = HostLine{};
        line->xonXoff = true;
    }
    return true;
}

void NetworkEnd::watch(bool on)
{
    m_watching = on;
    notify();
}

void NetworkEnd::notify()
{
    // Telnet commands are answered as they come, whoever has the line; the
    // line is told about data from the event loop, as it may be reading now.
    take();
    if (!m_watching || m_notifyQueued || m_in.isEmpty())
        return;
    m_notifyQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_notifyQueued = false;
        if (m_watching && !m_in.isEmpty() && readable)
            readable();
    });
}

} // namespace Virtual

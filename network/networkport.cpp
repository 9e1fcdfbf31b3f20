#include "networkport.h"

#include "tcpstream.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace Network {

namespace {

// The socket's queue and the bytes waiting for the pseudo-terminal are kept
// below this: enough to keep a fast link busy, small enough that the port's
// writes wait for a slow one.
constexpr qint64 kHighWater = 256 * 1024;
// After the connection drops, the last bytes that came are given this long
// to be read by the port before the pseudo-terminal is hung up.
constexpr int kLastBytesMs = 50;
// How long the bytes handed over before a disconnect may take to go out.
constexpr int kFlushMs = 2000;

QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes.left(bytes.indexOf('\n') < 0 ? 60 : qMin<qsizetype>(60, bytes.indexOf('\n')))) {
        if (c == '\r')
            break;
        text += (c >= 0x20 && c < 0x7f) ? QChar::fromLatin1(c) : QChar(u'.');
    }
    return text;
}

} // namespace

NetworkPort::NetworkPort(const Address &address, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_socket(new TcpStream(this))
    , m_telnet({Telnet::Binary, Telnet::SuppressGoAhead, Telnet::ComPortOption},
               {Telnet::Binary, Telnet::SuppressGoAhead})
{
    // Unread bytes stay in the kernel, whose TCP window holds the far end off.
    m_socket->setReadBufferSize(kHighWater);
    connect(m_socket, &TcpStream::connected, this, &NetworkPort::socketConnected);
    connect(m_socket, &TcpStream::readyRead, this, &NetworkPort::socketReadable);
    connect(m_socket, &TcpStream::bytesWritten, this, &NetworkPort::updatePtyReading);
    connect(m_socket, &TcpStream::failed, this, &NetworkPort::socketGone);
    connect(m_socket, &TcpStream::disconnected, this, &NetworkPort::socketGone);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &NetworkPort::deadlinePassed);
    m_hangUpTimer.setSingleShot(true);
    m_hangUpTimer.setInterval(kLastBytesMs);
    connect(&m_hangUpTimer, &QTimer::timeout, this, &NetworkPort::hangUp);
}

NetworkPort::~NetworkPort()
{
    closeMaster();
}

QString NetworkPort::where() const
{
    const bool v6 = m_address.host.contains(QLatin1Char(':'));
    return (v6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(m_address.host).arg(m_address.port);
}

bool NetworkPort::start()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QStringLiteral("No pseudo-terminal for the network port: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        closeMaster();
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw from the start, so that nothing written before the port sets its
    // own mode is echoed back to the far end.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios attributes{};
    if (slave >= 0 && ::tcgetattr(slave, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(slave, TCSANOW, &attributes);
    }
    if (slave >= 0)
        ::close(slave);
    m_ptyRead = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_ptyRead->setEnabled(false);
    connect(m_ptyRead, &QSocketNotifier::activated, this, &NetworkPort::readPty);
    m_ptyWrite = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_ptyWrite->setEnabled(false);
    connect(m_ptyWrite, &QSocketNotifier::activated, this, &NetworkPort::writePty);

    m_state = State::Connecting;
    m_deadline.start(ConnectMs);
    m_socket->connectToHost(m_address.host, m_address.port);
    return true;
}

void NetworkPort::socketConnected()
{
    if (m_state != State::Connecting)
        return;
    if (m_address.kind == Address::Kind::Socket) {
        m_deadline.stop();
        m_state = State::Connected;
        emit connected();
        return;
    }
    m_state = State::Negotiating;
    m_deadline.start(NegotiateMs);
    m_socket->write(m_telnet.open());
}

void NetworkPort::socketReadable()
{
    const bool telnet = m_address.kind == Address::Kind::Rfc2217;
    while (m_socket->bytesAvailable() > 0 && m_toPty.size() < kHighWater
           && m_state != State::Closed && m_state != State::Idle) {
        QByteArray bytes = m_socket->read(65536);
        if (telnet) {
            QByteArray reply;
            QList<QByteArray> subs;
            bytes = m_telnet.receive(bytes, &reply, &subs);
            if (!reply.isEmpty())
                m_socket->write(reply);
            for (const QByteArray &sub : subs)
                subnegotiation(sub);
            if (m_state == State::Negotiating && !m_telnet.spokeTelnet() && m_stranger.size() < 200)
                m_stranger += bytes.left(200);
        }
        m_toPty += bytes;
    }
    writePty();
    if (m_state != State::Negotiating)
        return;
    if (m_telnet.enabled(Telnet::ComPortOption)) {
        // The deadline goes on: the settings' answers are due within it too.
        m_state = State::Connected;
        emit connected();
    } else if (m_telnet.refused(Telnet::ComPortOption)) {
        fail(QStringLiteral("The server at %1 refuses RFC 2217 serial port control (COM-PORT-OPTION); "
                            "for bytes only use socket://%1")
                 .arg(where()));
    }
}

QString NetworkPort::notTelnet() const
{
    if (!m_stranger.isEmpty() && !m_telnet.spokeTelnet())
        return QStringLiteral("The server at %1 does not speak Telnet (it sent \"%2\"): it is no RFC 2217 port")
            .arg(where(), printable(m_stranger));
    if (m_telnet.spokeTelnet())
        return QStringLiteral("The server at %1 speaks Telnet but does not offer RFC 2217 serial port control "
                              "(COM-PORT-OPTION)")
            .arg(where());
    return QString();
}

void NetworkPort::socketGone()
{
    switch (m_state) {
    case State::Connecting:
    case State::Connected:
    case State::Setting:
        fail(m_socket->errorString());
        break;
    case State::Negotiating: {
        const QString reason = notTelnet();
        fail(reason.isEmpty() ? QStringLiteral("The server at %1 closed the connection before any Telnet "
                                               "negotiation: it is no RFC 2217 port")
                                    .arg(where())
                              : reason);
        break;
    }
    case State::Ready:
        drop(m_socket->errorString());
        break;
    default:
        break;
    }
}

void NetworkPort::deadlinePassed()
{
    switch (m_state) {
    case State::Connecting:
        fail(QStringLiteral("No answer from %1 within %2 s").arg(where()).arg(ConnectMs / 1000));
        break;
    case State::Negotiating: {
        const QString reason = notTelnet();
        fail(reason.isEmpty() ? QStringLiteral("No Telnet answer from %1 within %2 s: it does not look like an "
                                               "RFC 2217 server")
                                    .arg(where())
                                    .arg(NegotiateMs / 1000)
                              : reason);
        break;
    }
    case State::Connected:
    case State::Setting: {
        QStringList missing;
        for (Rfc2217::Command command : Rfc2217::Settings)
            if (m_unanswered & (1u << command))
                missing << Rfc2217::commandName(command);
        fail(QStringLiteral("The server at %1 did not answer %2 within %3 s")
                 .arg(where(), missing.join(QStringLiteral(", ")))
                 .arg(NegotiateMs / 1000));
        break;
    }
    default:
        break;
    }
}

void NetworkPort::portOpened(const LineSettings &framing)
{
    if (m_state != State::Connected)
        return;
    m_portOpen = true;
    LineSettings asked = framing;
    if (readLineSettings(m_master, &asked)) {
        asked.dataBits = framing.dataBits;
        asked.parity = framing.parity;
        if (framing.stopBits == LineSettings::StopBits::OneAndHalf)
            asked.stopBits = framing.stopBits;
    }
    m_asked = m_remote = asked;
    writePty();
    if (m_address.kind == Address::Kind::Socket) {
        m_notes << QStringLiteral("%1 carries bytes only: the baud rate, data bits, parity, stop bits and flow "
                                  "control stay as the far end has them")
                       .arg(m_address.name);
        becomeReady();
        return;
    }
    m_state = State::Setting;
    m_unanswered = 0;
    for (Rfc2217::Command command : Rfc2217::Settings)
        m_unanswered |= 1u << command;
    m_socket->write(Rfc2217::settingsMessages(asked));
}

void NetworkPort::subnegotiation(const QByteArray &sub)
{
    if (sub.size() < 2 || uchar(sub.at(0)) != Telnet::ComPortOption)
        return;
    const uchar command = uchar(sub.at(1));
    if (command < Rfc2217::ServerOffset)
        return; // a client's command: servers send none
    const uchar answered = uchar(command - Rfc2217::ServerOffset);
    if (answered == Rfc2217::FlowControlSuspend || answered == Rfc2217::FlowControlResume) {
        // The server's buffer towards the device is full, or has room again.
        m_suspended = answered == Rfc2217::FlowControlSuspend;
        updatePtyReading();
        return;
    }
    if (answered > Rfc2217::SetControl || !(m_unanswered & (1u << answered)))
        return;
    m_unanswered &= ~(1u << answered);
    // An answer that is no setting leaves the asked one standing.
    Rfc2217::apply(answered, sub.mid(2), &m_remote);
    if (m_unanswered == 0 && m_state == State::Setting) {
        m_notes = Rfc2217::differences(m_asked, m_remote, m_address.ignoreSetControl);
        becomeReady();
    }
}

void NetworkPort::becomeReady()
{
    m_deadline.stop();
    m_state = State::Ready;
    updatePtyReading();
    emit ready();
}

void NetworkPort::updatePtyReading()
{
    if (!m_ptyRead)
        return;
    const bool room = m_socket->bytesToWrite() < kHighWater;
    const bool on = m_state == State::Ready && room && !m_suspended;
    if (on && !m_ptyRead->isEnabled()) {
        m_ptyRead->setEnabled(true);
        readPty(); // a notifier only reports what arrives from now on
    } else if (!on) {
        m_ptyRead->setEnabled(false);
    }
}

void NetworkPort::readPty()
{
    // A pseudo-terminal gives at most 4 KiB a read. What one wake-up finds
    // goes out in one send, so that the server takes the port's writes in
    // pieces as large as they were written, not in a segment per read.
    const bool telnet = m_address.kind == Address::Kind::Rfc2217;
    const qint64 room = kHighWater - m_socket->bytesToWrite();
    QByteArray taken;
    bool ended = false;
    while (m_master >= 0 && taken.size() < room) {
        const qsizetype before = taken.size();
        taken.resize(before + qMin<qint64>(room - before, 65536));
        const ssize_t n = ::read(m_master, taken.data() + before, size_t(taken.size() - before));
        taken.resize(before + qMax<ssize_t>(n, 0));
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: the port has sent all it had. EIO: no one has the slave
        // open (the port closed); the bridge is stopped next.
        ended = !(n < 0 && errno == EAGAIN);
        break;
    }
    if (!taken.isEmpty())
        m_socket->write(telnet ? Telnet::escape(taken) : taken);
    if (m_ptyRead && (ended || m_socket->bytesToWrite() >= kHighWater))
        m_ptyRead->setEnabled(false);
}

void NetworkPort::writePty()
{
    if (!m_portOpen || m_master < 0)
        return;
    qsizetype done = 0;
    while (done < m_toPty.size()) {
        const ssize_t n = ::write(m_master, m_toPty.constData() + done, size_t(m_toPty.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            done = m_toPty.size(); // no one reads the slave any more
        break;
    }
    m_toPty.remove(0, done);
    if (m_ptyWrite)
        m_ptyWrite->setEnabled(!m_toPty.isEmpty());
    // Room again: take what the socket kept meanwhile.
    if (done > 0 && m_toPty.size() < kHighWater && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &NetworkPort::socketReadable, Qt::QueuedConnection);
}

void NetworkPort::fail(const QString &reason)
{
    m_error = reason;
    m_state = State::Closed;
    m_deadline.stop();
    m_socket->abort();
    if (m_ptyRead)
        m_ptyRead->setEnabled(false);
    emit failed();
}

void NetworkPort::drop(const QString &reason)
{
    m_error = reason;
    m_state = State::Dropping;
    updatePtyReading();
    socketReadable(); // what came before the end still goes to the port
    m_hangUpTimer.start();
}

void NetworkPort::hangUp()
{
    // The port's end of the pseudo-terminal is hung up, as a tty is whose
    // adapter was pulled; the window takes that path.
    closeMaster();
    emit dropped();
}

void NetworkPort::closeMaster()
{
    delete m_ptyRead;
    delete m_ptyWrite;
    m_ptyRead = m_ptyWrite = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void NetworkPort::stop()
{
    if (m_state == State::Ready)
        readPty(); // what the port handed to the pseudo-terminal before it closed
    const bool flush = m_state == State::Ready && m_socket->bytesToWrite() > 0;
    m_state = State::Closed;
    m_deadline.stop();
    m_hangUpTimer.stop();
    closeMaster();
    if (flush) {
        connect(m_socket, &TcpStream::disconnected, this, &QObject::deleteLater);
        QTimer::singleShot(kFlushMs, this, &QObject::deleteLater);
        m_socket->disconnectFromHost();
        return;
    }
    m_socket->abort();
    deleteLater();
}

} // namespace Network

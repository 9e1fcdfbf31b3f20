#include "tcpstream.h"

#include <QList>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Network {

namespace {

// How often a host lookup in progress is looked at.
constexpr int kLookupPollMs = 5;
constexpr qint64 kReadChunk = 65536;

QString systemError(int error)
{
    switch (error) {
    case ECONNRESET:
    case EPIPE:
        return QStringLiteral("The remote host closed the connection");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

// A host lookup: the request glibc works on, and the addresses it found,
// tried in turn until one connects.
struct HostLookup
{
    QByteArray host;
    QByteArray service;
    addrinfo hints{};
    gaicb request{};
    addrinfo *found = nullptr;
    addrinfo *next = nullptr;
    bool asynchronous = false;

    ~HostLookup()
    {
        if (found)
            ::freeaddrinfo(found);
        if (request.ar_result)
            ::freeaddrinfo(request.ar_result);
    }
};

namespace {

// A lookup given up while glibc still works on it must live until glibc is
// done with it; these are freed by the next connection attempt after that.
QList<HostLookup *> &abandonedLookups()
{
    static QList<HostLookup *> lookups;
    return lookups;
}

void freeFinishedLookups()
{
    QList<HostLookup *> &lookups = abandonedLookups();
    for (qsizetype i = lookups.size() - 1; i >= 0; --i) {
        if (::gai_error(&lookups.at(i)->request) == EAI_INPROGRESS)
            continue;
        delete lookups.takeAt(i);
    }
}

} // namespace

TcpStream::TcpStream(QObject *parent)
    : QObject(parent)
{
    m_lookupPoll.setInterval(kLookupPollMs);
    connect(&m_lookupPoll, &QTimer::timeout, this, &TcpStream::pollLookup);
}

TcpStream::~TcpStream()
{
    abort();
}

void TcpStream::connectToHost(const QString &host, quint16 port)
{
    abort();
    freeFinishedLookups();
    m_error.clear();
    m_in.clear();
    m_out.clear();
    m_port = port;
    m_lookup = std::make_unique<HostLookup>();
    m_lookup->host = host.toUtf8();
    m_lookup->service = QByteArray::number(port);
    m_lookup->hints.ai_family = AF_UNSPEC;
    m_lookup->hints.ai_socktype = SOCK_STREAM;
    m_state = State::LookingUp;

    // An address needs no lookup; a name goes to glibc's resolver, which
    // may take seconds and must not hold up the window.
    addrinfo numeric = m_lookup->hints;
    numeric.ai_flags = AI_NUMERICHOST;
    if (::getaddrinfo(m_lookup->host.constData(), m_lookup->service.constData(), &numeric,
                      &m_lookup->found)
        == 0) {
        m_lookup->next = m_lookup->found;
        QMetaObject::invokeMethod(this, &TcpStream::tryNextAddress, Qt::QueuedConnection);
        return;
    }
    m_lookup->asynchronous = true;
    m_lookup->request.ar_name = m_lookup->host.constData();
    m_lookup->request.ar_service = m_lookup->service.constData();
    m_lookup->request.ar_request = &m_lookup->hints;
    gaicb *list[] = {&m_lookup->request};
    if (const int error = ::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr); error != 0) {
        m_lookup->asynchronous = false;
        QMetaObject::invokeMethod(this, [this, error] {
            fail(QString::fromLocal8Bit(::gai_strerror(error)));
        }, Qt::QueuedConnection);
        return;
    }
    m_lookupPoll.start();
}

void TcpStream::pollLookup()
{
    if (!m_lookup)
        return;
    const int result = ::gai_error(&m_lookup->request);
    if (result == EAI_INPROGRESS)
        return;
    m_lookupPoll.stop();
    m_lookup->asynchronous = false;
    if (result != 0) {
        const bool unknown = result == EAI_NONAME || result == EAI_NODATA || result == EAI_FAIL
            || result == EAI_AGAIN;
        fail(unknown ? QStringLiteral("Host not found")
                     : QString::fromLocal8Bit(::gai_strerror(result)));
        return;
    }
    m_lookup->found = m_lookup->request.ar_result;
    m_lookup->request.ar_result = nullptr;
    m_lookup->next = m_lookup->found;
    tryNextAddress();
}

void TcpStream::tryNextAddress()
{
    if (m_state != State::LookingUp && m_state != State::Connecting)
        return;
    closeSocket();
    while (m_lookup && m_lookup->next) {
        const addrinfo *address = m_lookup->next;
        m_lookup->next = address->ai_next;
        m_fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_lastConnectError = errno;
            continue;
        }
        m_state = State::Connecting;
        if (::connect(m_fd, address->ai_addr, address->ai_addrlen) == 0) {
            connectFinished();
            return;
        }
        if (errno == EINPROGRESS) {
            m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this,
                    &TcpStream::connectFinished);
            return;
        }
        m_lastConnectError = errno;
        closeSocket();
    }
    fail(m_lastConnectError ? systemError(m_lastConnectError) : QStringLiteral("Host not found"));
}

void TcpStream::connectFinished()
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0) {
        m_lastConnectError = error;
        // The next address of the host, if it has another one.
        QMetaObject::invokeMethod(this, &TcpStream::tryNextAddress, Qt::QueuedConnection);
        delete m_writeNotifier;
        m_writeNotifier = nullptr;
        return;
    }
    m_lookup.reset();
    // Commands are small and a reply is waited for: no Nagle delay.
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    delete m_writeNotifier;
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &TcpStream::writable);
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TcpStream::readable);
    m_state = State::Connected;
    flush();
    emit connected();
}

void TcpStream::readable()
{
    bool more = false;
    bool ended = false;
    int error = 0;
    for (;;) {
        const qint64 room = m_readLimit > 0 ? m_readLimit - m_in.size() : kReadChunk;
        if (room <= 0) {
            // Full: the kernel keeps the rest until read() makes room.
            m_readNotifier->setEnabled(false);
            break;
        }
        const qsizetype before = m_in.size();
        m_in.resize(before + qMin(room, kReadChunk));
        const ssize_t n = ::read(m_fd, m_in.data() + before, size_t(m_in.size() - before));
        m_in.resize(before + qMax<ssize_t>(n, 0));
        if (n > 0) {
            more = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            ended = true;
        else if (errno != EAGAIN)
            error = errno;
        break;
    }
    if (ended || error)
        m_readNotifier->setEnabled(false);
    if (more)
        emit readyRead();
    // The slot may have given the connection up already.
    if (m_state != State::Connected && m_state != State::Closing)
        return;
    if (error) {
        fail(systemError(error));
    } else if (ended) {
        m_error = QStringLiteral("The remote host closed the connection");
        closeSocket();
        m_state = State::Closed;
        emit disconnected();
    }
}

QByteArray TcpStream::read(qint64 maxSize)
{
    const QByteArray bytes = m_in.left(maxSize);
    m_in.remove(0, bytes.size());
    if (m_readNotifier && m_state == State::Connected && !m_readNotifier->isEnabled()
        && (m_readLimit <= 0 || m_in.size() < m_readLimit))
        m_readNotifier->setEnabled(true);
    return bytes;
}

void TcpStream::write(const QByteArray &bytes)
{
    m_out += bytes;
    if (m_state == State::Connected)
        flush();
}

// Sends what the kernel takes now; the rest when the socket is writable
// again, which is when bytesWritten() tells it.
void TcpStream::flush()
{
    qsizetype done = 0;
    while (done < m_out.size()) {
        const ssize_t n = ::send(m_fd, m_out.constData() + done, size_t(m_out.size() - done),
                                 MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_out.clear();
            fail(systemError(errno));
            return;
        }
        break;
    }
    m_out.remove(0, done);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_out.isEmpty());
}

void TcpStream::writable()
{
    const qint64 before = m_out.size();
    flush();
    if (m_state != State::Connected && m_state != State::Closing)
        return;
    if (m_out.size() < before)
        emit bytesWritten();
    if (m_state == State::Closing && m_out.isEmpty()) {
        closeSocket();
        m_state = State::Closed;
        emit disconnected();
    }
}

void TcpStream::disconnectFromHost()
{
    if (m_state != State::Connected) {
        abort();
        return;
    }
    m_state = State::Closing;
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_out.isEmpty()) {
        closeSocket();
        m_state = State::Closed;
        emit disconnected();
    }
}

void TcpStream::abort()
{
    m_lookupPoll.stop();
    if (m_lookup && m_lookup->asynchronous && ::gai_cancel(&m_lookup->request) == EAI_NOTCANCELED)
        abandonedLookups().append(m_lookup.release()); // glibc still writes into it
    m_lookup.reset();
    closeSocket();
    m_out.clear();
    m_state = State::Idle;
}

void TcpStream::fail(const QString &reason)
{
    m_error = reason;
    m_lookupPoll.stop();
    m_lookup.reset();
    closeSocket();
    m_state = State::Closed;
    emit failed();
}

void TcpStream::closeSocket()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace Network

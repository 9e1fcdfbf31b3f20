#ifndef TELVAR_NETWORK_TCPSTREAM_H
#define TELVAR_NETWORK_TCPSTREAM_H

// A TCP connection on a plain socket, run by the event loop: the host is
// looked up without blocking (glibc's asynchronous getaddrinfo, looked at
// from a timer), the connection is made without blocking, and bytes go in
// and out through socket notifiers as the kernel takes them. It is all the
// network bridge needs, and with it the program does without Qt's network
// module, whose libraries (Kerberos, proxy support, ...) the program would
// otherwise load at every start for a port that is seldom on the network.
//
// The signals are those of a Qt socket: connected(), readyRead() when new
// bytes are there to read, bytesWritten() when queued bytes went out,
// failed() when the connection cannot be made or breaks, disconnected()
// when the far end closed it (bytes that came before stay readable).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

namespace Network {

struct HostLookup;

class TcpStream : public QObject
{
    Q_OBJECT

public:
    explicit TcpStream(QObject *parent = nullptr);
    ~TcpStream() override;

    // Bytes read from the kernel are kept up to this many; beyond it the
    // stream stops reading, so that the TCP window holds the far end off.
    void setReadBufferSize(qint64 bytes) { m_readLimit = bytes; }

    void connectToHost(const QString &host, quint16 port);
    bool isConnected() const { return m_state == State::Connected; }

    qint64 bytesAvailable() const { return m_in.size(); }
    QByteArray read(qint64 maxSize);
    // Queues the bytes; they go out as the kernel takes them.
    void write(const QByteArray &bytes);
    qint64 bytesToWrite() const { return m_out.size(); }

    // Closes once the queued bytes have gone out; disconnected() follows.
    void disconnectFromHost();
    // Closes at once, dropping what is queued, without a signal.
    void abort();

    // Why the connection could not be made or broke, in the words a user
    // knows from Qt's sockets: "Connection refused", "Host not found", ...
    QString errorString() const { return m_error; }

signals:
    void connected();
    void readyRead();
    void bytesWritten();
    void failed();
    void disconnected();

private:
    enum class State { Idle, LookingUp, Connecting, Connected, Closing, Closed };

    void pollLookup();
    void tryNextAddress();
    void connectFinished();
    void readable();
    void writable();
    void flush();
    void fail(const QString &reason);
    void closeSocket();

    State m_state = State::Idle;
    int m_fd = -1;
    quint16 m_port = 0;
    std::unique_ptr<HostLookup> m_lookup;
    QTimer m_lookupPoll;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_in;
    QByteArray m_out;
    qint64 m_readLimit = 0; // 0: no limit
    int m_lastConnectError = 0;
    QString m_error;
};

} // namespace Network

#endif

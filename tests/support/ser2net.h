#ifndef SER2NET_H
#define SER2NET_H

// ser2net 4, Debian's, serving a tty of the test's own on 127.0.0.1 at a
// port it picks: the test plays the device on the far end of the tty, the
// program reaches it over the network as a lab's machine would. Ended with
// SIGKILL, as a server that dies.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Ser2Net
{
public:
    // `accepter` is "telnet(rfc2217)", "telnet" or "tcp" (raw).
    Ser2Net(const QString &accepter, const QString &device);
    ~Ser2Net();
    Ser2Net(const Ser2Net &) = delete;
    Ser2Net &operator=(const Ser2Net &) = delete;

    // Listening on port(), or false within 5 s.
    bool isListening() const { return m_listening; }
    quint16 port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT" for a telnet accepter, "socket://..." for tcp.
    QString url() const;
    void kill();

private:
    QString m_accepter;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    bool m_listening = false;
};

// A port on 127.0.0.1 that nothing listens on right now.
quint16 freeLocalPort();
// Something listens on 127.0.0.1:`port` (as /proc/net/tcp says, without connecting).
bool listensOn(quint16 port);

#endif // SER2NET_H

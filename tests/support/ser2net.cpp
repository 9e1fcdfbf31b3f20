#include "ser2net.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QThread>

quint16 freeLocalPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool listensOn(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // "  0: 0100007F:1F90 00000000:0000 0A ...": local address, remote, state 0A (listen)
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}

Ser2Net::Ser2Net(const QString &accepter, const QString &device)
    : m_accepter(accepter)
{
    m_port = freeLocalPort();
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!m_port || !file.open(QIODevice::WriteOnly))
        return;
    // A Telnet accepter is a filter in front of the TCP one.
    file.write(QStringLiteral("connection: &con0\n"
                              "  accepter: %1tcp,127.0.0.1,%2\n"
                              "  connector: serialdev,%3,115200n81,local\n")
                   .arg(accepter == QLatin1String("tcp") ? QString() : accepter + QLatin1Char(','))
                   .arg(m_port)
                   .arg(device)
                   .toUtf8());
    file.close();
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral("ser2net"),
                    {"-n", "-c", config, "-P", m_dir.filePath(QStringLiteral("ser2net.pid"))});
    const QDeadlineTimer deadline(5000);
    while (!(m_listening = listensOn(m_port)) && !deadline.hasExpired()
           && m_process.state() != QProcess::NotRunning)
        QThread::msleep(10);
}

Ser2Net::~Ser2Net()
{
    kill();
}

QString Ser2Net::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_accepter.startsWith(QLatin1String("telnet")) ? "rfc2217" : "socket")
        .arg(m_port);
}

void Ser2Net::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

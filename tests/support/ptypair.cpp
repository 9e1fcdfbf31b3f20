#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    // Not inherited by the programs a test starts: a master they held open
    // would keep the line up after the test closed it.
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        ::close(fd);
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(fd));
    m_master = fd;
}

PtyPair::~PtyPair()
{
    closeMaster();
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            result.append(buffer, n);
        else
            break; // EAGAIN, or EIO while no slave is open
    }
    return result;
}

QByteArray PtyPair::read(qsizetype count, int timeoutMs)
{
    QByteArray result;
    QDeadlineTimer deadline(timeoutMs);
    while (result.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        result += readAvailable();
        if (result.size() < count) {
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 1);
        }
    }
    return result;
}

QByteArray PtyPair::readUntilQuiet(int quietMs, int timeoutMs)
{
    QByteArray result;
    QDeadlineTimer deadline(timeoutMs);
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QByteArray chunk = readAvailable();
        if (!chunk.isEmpty()) {
            result += chunk;
            quiet.restart();
        } else {
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 1);
        }
    }
    return result;
}

void PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (errno != EAGAIN && errno != EINTR)
            break;
    }
}

qint64 PtyPair::writeSome(const char *bytes, qint64 size)
{
    const ssize_t n = m_master < 0 ? -1 : ::write(m_master, bytes, size_t(size));
    return n > 0 ? n : 0;
}

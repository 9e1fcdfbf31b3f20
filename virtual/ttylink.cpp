#include "ttylink.h"

#include "ttysettings.h"

#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace Virtual {

TtyEnd::TtyEnd(int fd)
    : m_fd(fd)
    , m_notifier(fd, QSocketNotifier::Read)
{
    QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] {
        if (readable)
            readable();
    });
}

qint64 TtyEnd::read(char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size_t(size));
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: the host has sent all it had. EIO or end of file: the
        // program closed its end of the line.
        return n < 0 && errno == EAGAIN ? 0 : -1;
    }
}

void TtyEnd::write(const QByteArray &bytes)
{
    // Answers are short; the other end reads them or the tty keeps them.
    qsizetype done = 0;
    for (int tries = 0; done < bytes.size() && tries < 200; ++tries) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else
            usleep(5000);
    }
}

bool TtyEnd::hostLine(HostLine *line)
{
    return readHostLine(m_fd, line);
}

TtyLink::TtyLink(const QList<LineEnd *> &ends, LineModel &model, Controller &controller, int silenceMs,
                 QObject *parent)
    : QObject(parent)
    , m_ends(ends)
    , m_end(ends.first())
    , m_model(model)
    , m_controller(controller)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TtyLink::tick);
    m_hostPoll.setInterval(250);
    connect(&m_hostPoll, &QTimer::timeout, this, &TtyLink::pollHost);
    m_hostPoll.start();
    m_silence.setSingleShot(true);
    m_silence.setInterval(silenceMs);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        m_printedSinceSilence = false;
        m_controller.silence();
    });
    m_retry.setSingleShot(true);
    m_retry.setInterval(250);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_model.lineIsIdle())
            m_end->watch(true);
    });
    // A status or firmware query at the end of what was printed may still be
    // the head of a real-time query whose byte is on its way; a short pause
    // decides.
    m_settle.setSingleShot(true);
    m_settle.setInterval(50);
    connect(&m_settle, &QTimer::timeout, this, [this] { m_end->write(m_controller.settle()); });
    for (LineEnd *end : m_ends) {
        end->readable = [this, end] { readable(end); };
        end->watch(true);
    }
    pollHost();
}

void TtyLink::pollHost()
{
    HostLine host;
    if (m_end->hostLine(&host))
        m_model.setHost(host, now());
}

void TtyLink::watchAll(bool on)
{
    for (LineEnd *end : m_ends)
        end->watch(on);
}

void TtyLink::readable(LineEnd *end)
{
    // From here on the line is read at its own pace, from the timer; the
    // other ends wait until it is idle again.
    watchAll(false);
    if (m_model.lineIsIdle()) {
        if (end != m_end)
            m_retry.stop();
        m_end = end;
        pollHost();
        m_model.lineStarts(now());
    } else if (end != m_end) {
        return;
    }
    tick();
}

void TtyLink::tick()
{
    pollHost();
    const qint64 t = now();
    QByteArray out = m_model.advance(t);
    bool hungUp = false;
    bool more = false;
    if (!m_model.lineIsIdle() && !m_model.hostStopped()) {
        qint64 want = m_model.due(t);
        char buffer[65536];
        while (want > 0) {
            const qint64 n = m_end->read(buffer, qMin<qint64>(want, qint64(sizeof buffer)));
            if (n > 0) {
                out += m_model.receive(QByteArray(buffer, int(n)), t);
                m_printedSinceSilence = true;
                want -= n;
                if (m_model.hostStopped())
                    break;
                continue;
            }
            // Nothing more for now, or the host is gone.
            hungUp = n < 0;
            m_model.lineIdle(t);
            break;
        }
        more = !m_model.lineIsIdle();
    }
    // A host whose tty honours XON/XOFF stops at the XOFF; the bytes it had
    // already handed to the pseudo-terminal wait there, where a real host's
    // would still be in its own UART, so nothing more is taken from the line
    // until the XON (hostStopped() above). A host without flow control goes
    // on sending and loses what does not fit.
    if (!out.isEmpty())
        m_end->write(out);
    if (m_controller.awaitsQueryByte())
        m_settle.start();

    qint64 next = m_model.nextEvent();
    if (more && !m_model.hostStopped() && m_model.options().paced) {
        // Wake when about 5 ms worth of bytes has been carried.
        const qint64 perTick = qMax<qint64>(1, m_model.lineBaud() / m_model.host().bitsPerByte() / 200);
        const qint64 due = m_model.dueAt(perTick);
        next = next < 0 ? due : qMin(next, due);
    } else if (more) {
        next = t; // unpaced: go on reading at once
    }
    if (next >= 0)
        m_timer.start(int(qBound(qint64(0), (next - now() + 999) / 1000, qint64(60000))));
    if (m_model.lineIsIdle()) {
        // An end whose host went away would report it at once, again and
        // again: it is looked at again later.
        for (LineEnd *end : m_ends)
            end->watch(!(hungUp && end == m_end));
        if (hungUp)
            m_retry.start();
    }
    if (m_model.lineIsIdle() && m_model.drained(now())) {
        if (m_printedSinceSilence && !m_silence.isActive())
            m_silence.start();
    } else {
        m_silence.stop();
    }
}

} // namespace Virtual

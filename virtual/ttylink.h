#ifndef TELVAR_VIRTUAL_TTYLINK_H
#define TELVAR_VIRTUAL_TTYLINK_H

// Runs the line model on a real file descriptor: the master of the virtual
// controller's pseudo-terminal, or a tty given on the command line. Bytes are
// read only as fast as the line model lets them through, so that on a
// pseudo-terminal the host's writes wait as they would on a real line; the
// host's line settings are read from the tty as they change; answers, XOFF
// and XON go back on the same descriptor. A job ends after the line has been
// quiet and the head has printed everything.

#include "controller.h"
#include "line.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace Virtual {

class TtyLink : public QObject
{
public:
    TtyLink(int fd, LineModel &model, Controller &controller, int silenceMs, QObject *parent = nullptr);

    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

private:
    void readable();
    void tick();
    void pollHost();
    void send(const QByteArray &bytes);

    int m_fd;
    LineModel &m_model;
    Controller &m_controller;
    QElapsedTimer m_clock;
    QSocketNotifier m_notifier;
    QTimer m_timer;    // the next byte due or the head's next step
    QTimer m_hostPoll; // the host may change its settings while nothing flows
    QTimer m_silence;
    QTimer m_retry;    // after EIO: the other end went away; look again later
    QTimer m_settle;   // a query at the end of a burst waits for a byte that may extend it
    bool m_printedSinceSilence = false;
};

} // namespace Virtual

#endif

#ifndef TELVAR_VIRTUAL_TTYLINK_H
#define TELVAR_VIRTUAL_TTYLINK_H

// Runs the line model on the ends a host sends on: the master of the virtual
// controller's pseudo-terminal or a tty given on the command line, and the
// network (virtual/netend.h). Bytes are read only as fast as the line model
// lets them through, so that the host's writes wait as they would on a real
// line (in a pseudo-terminal, or in the TCP window); the host's line settings
// are read as they change; answers, XOFF and XON go back on the same end. A
// job ends after the line has been quiet and the head has printed everything.
//
// The controller has one line and serves one host at a time: the end whose
// bytes arrive while the line is idle has it until it is idle again; another
// end's bytes wait meanwhile where they are.

#include "controller.h"
#include "line.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>

namespace Virtual {

// One end of the line that a host sends on.
class LineEnd
{
public:
    virtual ~LineEnd() = default;
    // Takes up to `size` bytes the host has sent: the count; 0 when there is
    // nothing now; -1 when no host is there (the program closed its end of
    // the pseudo-terminal, the client left).
    virtual qint64 read(char *buffer, qint64 size) = 0;
    // Answers, XOFF and XON for the host.
    virtual void write(const QByteArray &bytes) = 0;
    // The host's line settings as they stand now; false when not known.
    virtual bool hostLine(HostLine *line) = 0;
    // While on, `readable` is called when the host has sent something.
    virtual void watch(bool on) = 0;
    std::function<void()> readable;
};

// A tty's file descriptor: the master of a pseudo-terminal, whose settings
// are the program's, or a tty given on the command line.
class TtyEnd : public LineEnd
{
public:
    explicit TtyEnd(int fd);
    qint64 read(char *buffer, qint64 size) override;
    void write(const QByteArray &bytes) override;
    bool hostLine(HostLine *line) override;
    void watch(bool on) override { m_notifier.setEnabled(on); }

private:
    int m_fd;
    QSocketNotifier m_notifier;
};

class TtyLink : public QObject
{
public:
    TtyLink(const QList<LineEnd *> &ends, LineModel &model, Controller &controller, int silenceMs,
            QObject *parent = nullptr);

    qint64 now() const { return m_clock.nsecsElapsed() / 1000; }

private:
    void readable(LineEnd *end);
    void tick();
    void pollHost();
    void watchAll(bool on);

    QList<LineEnd *> m_ends;
    LineEnd *m_end; // the host the line serves now
    LineModel &m_model;
    Controller &m_controller;
    QElapsedTimer m_clock;
    QTimer m_timer;    // the next byte due or the head's next step
    QTimer m_hostPoll; // the host may change its settings while nothing flows
    QTimer m_silence;
    QTimer m_retry;    // the host went away: look at its end again later
    QTimer m_settle;   // a query at the end of a burst waits for a byte that may extend it
    bool m_printedSinceSilence = false;
};

} // namespace Virtual

#endif

#ifndef TELVAR_VIRTUAL_LINE_H
#define TELVAR_VIRTUAL_LINE_H

// The controller's end of the serial line, modelled apart from any tty:
//
//   host's line  --(its speed)-->  UART  -->  receive buffer  --(print speed)-->  head
//
// The UART takes bytes no faster than the host's line settings carry them
// (start bit, data bits, parity, stop bits). It runs at the controller's own
// speed, 115200 baud with XON/XOFF until the speed-and-flow command (1D 28 n m)
// changes it; while the host sends at another speed every byte arrives as
// garbage and is dropped. The receive buffer is drained by the print head at
// its print speed, in dot rows a second; what a byte costs is the printer's
// business (a line of text its height, a raster its rows). With XON/XOFF the
// controller sends XOFF at three quarters full and XON at one quarter; bytes
// that find the buffer full are lost.
//
// Times are microseconds on any monotonic clock the owner chooses, so that
// tests can run the model on a clock of their own.

#include <QByteArray>
#include <QString>

#include <functional>

namespace Virtual {

constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

enum class Flow { None = 0, XonXoff = 1, Hardware = 2 };
QString flowName(Flow flow);

// The speed of a speed code of the speed-and-flow command, 0 for an unknown code.
qint64 uartSpeed(int code);

// The host's end of the line, as its tty settings say.
struct HostLine
{
    qint64 baud = 0; // 0: the tty reports no speed
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
    bool xonXoff = false; // the host stops sending on XOFF (IXON)
    bool rtsCts = false;

    int bitsPerByte() const { return 1 + dataBits + (parity ? 1 : 0) + stopBits; }
    // "115200 baud 8N1, XON/XOFF flow control"
    QString describe() const;
    bool operator==(const HostLine &other) const;
    bool operator!=(const HostLine &other) const { return !(*this == other); }
};

struct LineOptions
{
    // Take bytes at the host's line speed and check it against the UART's.
    // Off on a real tty (its hardware paces the line) and in instant mode.
    bool paced = true;
    qint64 bufferBytes = 4096; // 0: unbounded
    double rowsPerSecond = 640; // 80 mm/s at 8 dots/mm; 0: the head prints at once
};

class LineModel
{
public:
    explicit LineModel(const LineOptions &options = LineOptions());

    // The printer behind the buffer: prints the bytes and returns what it
    // answers. May call setUart() from within.
    std::function<QByteArray(const QByteArray &)> print;
    // Dot rows the printer has printed so far, a running count.
    std::function<quint64()> rowsPrinted;
    std::function<void(const QString &)> onListing;

    const LineOptions &options() const { return m_options; }
    const HostLine &host() const { return m_host; }
    qint64 uartBaud() const { return m_uartBaud; }
    Flow uartFlow() const { return m_uartFlow; }
    qint64 fill() const { return m_buffer.size() - m_head; }
    bool xoffInForce() const { return m_xoff; }
    bool mismatch() const;
    // The speed the line runs at: the host's, or the UART's when the tty reports none.
    qint64 lineBaud() const;
    // The host honours the XOFF in force: the line carries nothing.
    bool hostStopped() const;

    // Three lines for a status bar: the host's settings, the controller's, the buffer.
    QString status() const;

    // The host's settings as read now; lists a change.
    void setHost(const HostLine &host, qint64 now);
    // The speed-and-flow command's codes; lists the new settings or why not.
    void setUart(int speedCode, int flowCode);

    // The line had been idle and carries bytes again from `now`.
    void lineStarts(qint64 now);
    // Bytes the line has carried by `now` and not yet taken; unlimited
    // when not paced, none while the host is stopped.
    qint64 due(qint64 now) const;
    // When `count` more bytes will have been carried.
    qint64 dueAt(qint64 count) const;
    // Takes bytes off the line at `now` (at most due(now)); returns the bytes
    // to send back: answers, XOFF and XON.
    QByteArray receive(const QByteArray &bytes, qint64 now);
    // The line has nothing more to give for now.
    void lineIdle(qint64 now);
    bool lineIsIdle() const { return m_idle; }

    // Lets the head print what it can by `now`; returns answers, XON.
    QByteArray advance(qint64 now);
    // Prints what the buffer holds at once (the program is ending).
    void printAll();
    // The next time advance() has something to do, or -1.
    qint64 nextEvent() const;
    // No bytes in the buffer and the head has finished printing by `now`.
    bool drained(qint64 now) const;

private:
    void list(const QString &line) const;
    void reportBurst();
    QByteArray checkFlow(qint64 now);

    LineOptions m_options;
    HostLine m_host;
    bool m_hostKnown = false;
    qint64 m_uartBaud = 115200;
    Flow m_uartFlow = Flow::XonXoff;
    bool m_hardwareListed = false;

    // Pacing: bytes taken since m_from, when the line last started.
    qint64 m_from = 0;
    qint64 m_taken = 0;
    bool m_idle = true;
    qint64 m_lastByte = 0;

    QByteArray m_buffer; // bytes from m_head on wait for the head
    qsizetype m_head = 0;
    double m_headFree = 0; // when the head has printed what it took
    qint64 m_now = 0;      // the time of the last advance()
    bool m_xoff = false;

    qint64 m_garbage = 0; // of the current burst
    qint64 m_garbageHost = 0;
    qint64 m_lost = 0;
    qint64 m_xoffs = 0;
};

} // namespace Virtual

#endif

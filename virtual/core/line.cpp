#include "line.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace Virtual {

namespace {

// The head takes this many bytes from the buffer at a time, as its command
// parser would; small enough that the buffer's fill moves smoothly.
constexpr qsizetype kSlice = 32;
// A burst of garbage or lost bytes is listed once the line has been quiet this long.
constexpr qint64 kBurstGapUs = 100000;
// A UART still reads a byte whose bit time is off by a few per cent.
constexpr double kSpeedTolerance = 0.03;

QString count(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

bool standardSpeed(qint64 baud)
{
    for (qint64 s : {50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600,
                     115200, 230400, 460800, 500000, 576000, 921600, 1000000, 1152000, 1500000, 2000000,
                     2500000, 3000000, 3500000, 4000000})
        if (s == baud)
            return true;
    return false;
}

} // namespace

QString flowName(Flow flow)
{
    switch (flow) {
    case Flow::None: return QStringLiteral("no flow control");
    case Flow::XonXoff: return QStringLiteral("XON/XOFF flow control");
    case Flow::Hardware: return QStringLiteral("hardware flow control");
    }
    return QString();
}

qint64 uartSpeed(int code)
{
    static const qint64 speeds[] = {9600, 19200, 38400, 57600, 115200, 256000, 375000};
    return code >= 0 && code < 7 ? speeds[code] : 0;
}

QString HostLine::describe() const
{
    const QString speed = baud > 0 ? QStringLiteral("%1 baud").arg(baud) : QStringLiteral("speed 0");
    const Flow flow = rtsCts ? Flow::Hardware : xonXoff ? Flow::XonXoff : Flow::None;
    return QStringLiteral("%1 %2%3%4, %5")
        .arg(speed)
        .arg(dataBits)
        .arg(parity ? QLatin1Char('P') : QLatin1Char('N'))
        .arg(stopBits)
        .arg(flowName(flow));
}

bool HostLine::operator==(const HostLine &o) const
{
    return baud == o.baud && dataBits == o.dataBits && parity == o.parity && stopBits == o.stopBits
        && xonXoff == o.xonXoff && rtsCts == o.rtsCts;
}

LineModel::LineModel(const LineOptions &options)
    : m_options(options)
{
}

void LineModel::list(const QString &line) const
{
    if (onListing)
        onListing(line);
}

qint64 LineModel::lineBaud() const
{
    return m_host.baud > 0 ? m_host.baud : m_uartBaud;
}

bool LineModel::mismatch() const
{
    return m_options.paced && m_host.baud > 0
        && std::abs(double(m_host.baud - m_uartBaud)) > kSpeedTolerance * double(m_uartBaud);
}

bool LineModel::hostStopped() const
{
    return m_options.paced && m_xoff && m_host.xonXoff;
}

QString LineModel::status() const
{
    const QString ends = QStringLiteral("host: %1\ncontroller: %2 baud, %3")
                             .arg(m_hostKnown ? m_host.describe() : QStringLiteral("not read"))
                             .arg(m_uartBaud)
                             .arg(flowName(m_uartFlow));
    QString buffer = m_options.bufferBytes > 0
        ? QStringLiteral("buffer %1 of %2 bytes (%3 %)")
              .arg(count(fill()), count(m_options.bufferBytes))
              .arg(fill() * 100 / m_options.bufferBytes)
        : QStringLiteral("buffer %1 bytes (unbounded)").arg(count(fill()));
    if (m_xoff)
        buffer += QStringLiteral(", XOFF sent");
    if (mismatch())
        buffer += QStringLiteral(", line speed mismatch");
    return ends + QLatin1Char('\n') + buffer;
}

void LineModel::setHost(const HostLine &host, qint64 now)
{
    if (m_hostKnown && host == m_host)
        return;
    m_hostKnown = true;
    m_host = host;
    // The bytes already taken were carried at the old settings.
    m_from = now;
    m_taken = 0;
    QString line = QStringLiteral("host line: ") + host.describe();
    if (host.baud <= 0)
        line += QStringLiteral(" (bytes are taken at the controller's %1 baud)").arg(m_uartBaud);
    else if (!standardSpeed(host.baud))
        line += QStringLiteral(" (a custom speed)");
    list(line);
    if (host.rtsCts && m_options.paced && !m_hardwareListed) {
        m_hardwareListed = true;
        list(QStringLiteral("hardware flow control cannot be emulated on a pseudo-terminal: it has no RTS/CTS "
                            "lines; bytes that find the buffer full are lost"));
    }
}

void LineModel::setUart(int speedCode, int flowCode)
{
    const qint64 baud = uartSpeed(speedCode);
    if (baud == 0 || flowCode < 0 || flowCode > 2) {
        list(QStringLiteral("   unknown code: the UART keeps %1 baud, %2").arg(m_uartBaud).arg(flowName(m_uartFlow)));
        return;
    }
    m_uartBaud = baud;
    m_uartFlow = Flow(flowCode);
    list(QStringLiteral("   the controller's UART is now %1 baud, %2").arg(baud).arg(flowName(m_uartFlow)));
    if (mismatch())
        list(QStringLiteral("   the host sends at %1 baud: reconnect it at %2 baud").arg(m_host.baud).arg(baud));
    if (m_uartFlow == Flow::Hardware && m_options.paced && !m_hardwareListed) {
        m_hardwareListed = true;
        list(QStringLiteral("hardware flow control cannot be emulated on a pseudo-terminal: it has no RTS/CTS "
                            "lines; bytes that find the buffer full are lost"));
    }
}

void LineModel::lineStarts(qint64 now)
{
    m_idle = false;
    m_from = now;
    m_taken = 0;
}

qint64 LineModel::due(qint64 now) const
{
    if (!m_options.paced)
        return std::numeric_limits<int>::max();
    if (hostStopped() || now <= m_from)
        return 0;
    const double carried = double(now - m_from) * double(lineBaud()) / (1e6 * m_host.bitsPerByte());
    return qMax<qint64>(0, qint64(carried) - m_taken);
}

qint64 LineModel::dueAt(qint64 count) const
{
    const double us = double(m_taken + count) * 1e6 * m_host.bitsPerByte() / double(lineBaud());
    return m_from + qint64(std::ceil(us));
}

QByteArray LineModel::receive(const QByteArray &bytes, qint64 now)
{
    if (bytes.isEmpty())
        return advance(now);
    m_idle = false;
    m_taken += bytes.size();
    m_lastByte = now;
    if (mismatch()) {
        // The UART samples at its own speed: what it assembles is not what
        // was sent, and framing errors throw most of it away.
        m_garbage += bytes.size();
        m_garbageHost = m_host.baud;
        return advance(now);
    }
    QByteArray out = advance(now);
    if (fill() == 0)
        m_headFree = qMax(m_headFree, double(now));
    qsizetype keep = bytes.size();
    if (m_options.bufferBytes > 0)
        keep = qMin<qsizetype>(keep, qMax<qint64>(0, m_options.bufferBytes - fill()));
    m_lost += bytes.size() - keep;
    m_buffer.append(bytes.constData(), keep);
    out += advance(now);
    return out;
}

void LineModel::lineIdle(qint64 now)
{
    m_idle = true;
    m_from = now;
    m_taken = 0;
}

QByteArray LineModel::advance(qint64 now)
{
    QByteArray out;
    m_now = qMax(m_now, now);
    const bool instant = m_options.rowsPerSecond <= 0;
    while (fill() > 0 && (instant || m_headFree <= double(now))) {
        const qsizetype n = instant ? fill() : qMin<qsizetype>(fill(), kSlice);
        const QByteArray slice = m_buffer.mid(m_head, n);
        m_head += n;
        const quint64 before = rowsPrinted ? rowsPrinted() : 0;
        if (print)
            out += print(slice);
        // A raster cut short prints fewer rows than its data had paid for.
        const quint64 after = rowsPrinted ? rowsPrinted() : 0;
        const quint64 rows = after > before ? after - before : 0;
        if (!instant)
            m_headFree += double(rows) * 1e6 / m_options.rowsPerSecond;
    }
    if (m_head > 0 && m_head >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_head);
        m_head = 0;
    }
    out += checkFlow(now);
    if ((m_garbage > 0 || m_lost > 0 || m_xoffs > 0) && m_idle && now - m_lastByte >= kBurstGapUs)
        reportBurst();
    return out;
}

void LineModel::printAll()
{
    if (print && fill() > 0)
        print(m_buffer.mid(m_head));
    m_buffer.clear();
    m_head = 0;
}

QByteArray LineModel::checkFlow(qint64 now)
{
    const qint64 cap = m_options.bufferBytes;
    if (m_xoff && (m_uartFlow != Flow::XonXoff || fill() <= cap / 4)) {
        m_xoff = false;
        // A host that stopped starts again from here.
        m_from = now;
        m_taken = 0;
        return QByteArray(1, kXon);
    }
    if (!m_xoff && m_uartFlow == Flow::XonXoff && cap > 0 && fill() >= cap * 3 / 4) {
        m_xoff = true;
        ++m_xoffs;
        return QByteArray(1, kXoff);
    }
    return QByteArray();
}

void LineModel::reportBurst()
{
    if (m_garbage > 0)
        list(QStringLiteral("line speed mismatch: host %1, controller %2: %3 bytes unreadable")
                 .arg(m_garbageHost)
                 .arg(m_uartBaud)
                 .arg(count(m_garbage)));
    if (m_xoffs > 0)
        list(QStringLiteral("buffer full: XOFF sent %1 %2").arg(count(m_xoffs), m_xoffs == 1 ? "time" : "times"));
    if (m_lost > 0)
        list(QStringLiteral("buffer overrun: %1 bytes lost").arg(count(m_lost)));
    m_garbage = m_lost = m_xoffs = 0;
}

qint64 LineModel::nextEvent() const
{
    qint64 next = -1;
    auto sooner = [&next](qint64 t) { next = next < 0 ? t : qMin(next, t); };
    // The head takes the next slice, or finishes printing the last one (the
    // owner waits for that before it counts the line's silence).
    if (fill() > 0 || m_headFree > double(m_now))
        sooner(qint64(std::ceil(m_headFree)));
    if (m_idle && (m_garbage > 0 || m_lost > 0 || m_xoffs > 0))
        sooner(m_lastByte + kBurstGapUs);
    return next;
}

bool LineModel::drained(qint64 now) const
{
    return fill() == 0 && m_headFree <= double(now);
}

} // namespace Virtual

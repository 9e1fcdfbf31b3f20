#include "controller.h"

#include "render/pagefile.h"

#include <QDir>
#include <QRegularExpression>

#include <utility>

namespace Virtual {

QByteArray firmwareAnswer()
{
    return QByteArrayLiteral("Telvar virtual RC30x controller, firmware V1.00 (virtual), 8 dots/mm\r\n");
}

QByteArray statusAnswer()
{
    return QByteArrayLiteral("Status 00: online, paper present, head cool, cutter ready, buffer empty\r\n");
}

Controller::Controller(const QString &outputDir, const QString &logPath)
    : m_dir(outputDir)
{
    QDir dir(m_dir);
    dir.mkpath(QStringLiteral("."));
    static const QRegularExpression numbered(QStringLiteral("^job-(\\d+)\\.png$"));
    for (const QString &name : dir.entryList({QStringLiteral("job-*.png")}, QDir::Files)) {
        const QRegularExpressionMatch m = numbered.match(name);
        if (m.hasMatch())
            m_next = qMax(m_next, m.captured(1).toInt() + 1);
    }
    if (!logPath.isEmpty()) {
        m_log.setFileName(logPath);
        m_log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
    m_printer.onListing = [this](const QString &line) { list(line); };
    m_printer.onCommand = [this](const Command &c) { answerOrConfigure(c); };
    m_printer.onPage = [this](const Paper::Page &page) { writePage(page); };
}

void Controller::list(const QString &line)
{
    if (m_log.isOpen()) {
        m_log.write(line.toUtf8() + '\n');
        m_log.flush();
    }
    if (onListing)
        onListing(line);
}

QByteArray Controller::receive(const QByteArray &bytes)
{
    m_printer.feed(bytes);
    return std::exchange(m_answer, QByteArray());
}

QByteArray Controller::settle()
{
    m_printer.settle();
    return std::exchange(m_answer, QByteArray());
}

void Controller::silence()
{
    m_printer.silence();
    m_answer.clear(); // nobody is listening for answers to a line gone quiet
}

void Controller::answerOrConfigure(const Command &c)
{
    switch (c.op) {
    case Op::ComMode:
        if (onUartSettings)
            onUartSettings(c.param[0], c.param[1]);
        break;
    case Op::Firmware: m_answer += firmwareAnswer(); break;
    case Op::Status: m_answer += statusAnswer(); break;
    // The real-time status byte: online, paper present, no error.
    case Op::RealTimeStatus: m_answer += char(0x12); break;
    default: break;
    }
}

quint64 Controller::rowsPrinted() const
{
    // A raster is drawn when its last byte is in, but the head prints its
    // rows as the data comes.
    quint64 pending = 0;
    if (const Command *c = m_printer.inProgress(); c && c->op == Op::Raster && c->param[1] > 0)
        pending = c->received / quint64(c->param[1]) * ((c->param[0] & 2) ? 2 : 1);
    return m_printer.rowsDrawn() + pending;
}

void Controller::writePage(const Paper::Page &page)
{
    m_lastPage = page.image;
    const QString path = QDir(m_dir).filePath(QStringLiteral("job-%1.png").arg(m_next++, 4, 10, QLatin1Char('0')));
    if (onPage)
        onPage(m_lastPage);
    // A new file of its own number: written straight, without the flush to
    // disk that replacing a file safely would cost for every page.
    QFile file(path);
    QString error;
    bool written = false;
    if (!file.open(QIODevice::WriteOnly))
        error = file.errorString();
    else if (Paper::writePng(m_lastPage, &file, &error) && file.flush())
        written = true;
    else if (error.isEmpty())
        error = file.errorString();
    if (file.isOpen() && !written)
        file.remove(); // no partial page left behind
    if (written) {
        m_pages << path;
        list(QStringLiteral("-- job ended by %1: %2 (%3 x %4 dots)")
                 .arg(page.why, path)
                 .arg(m_lastPage.width())
                 .arg(m_lastPage.height()));
    } else {
        list(QStringLiteral("-- job ended by %1: could not write %2: %3").arg(page.why, path, error));
    }
}

} // namespace Virtual

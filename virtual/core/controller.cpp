#include "controller.h"

#include <QDir>
#include <QRegularExpression>

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
    QByteArray answer;
    handle(m_decoder.feed(bytes), answer);
    return answer;
}

QByteArray Controller::settle()
{
    QByteArray answer;
    handle(m_decoder.settle(), answer);
    return answer;
}

void Controller::silence()
{
    QByteArray unused;
    handle(m_decoder.flush(), unused);
    if (m_renderer.hasContent())
        endJob(Renderer::End::None, QStringLiteral("silence on the line"));
}

void Controller::handle(const QList<Command> &commands, QByteArray &answer)
{
    for (const Command &c : commands) {
        list(describe(c));
        if (c.op == Op::PrintHead) {
            const int width = isWideHead(c.param[0]) ? 576 : 384;
            if (width != m_renderer.printWidth()) {
                if (m_renderer.hasContent())
                    endJob(Renderer::End::None, QStringLiteral("a print head change"));
                m_renderer.setPrintWidth(width);
                list(QStringLiteral("   paper is now %1 dots wide").arg(width));
            }
            continue;
        }
        const int rowsBefore = m_renderer.paperRows();
        for (const QString &note : m_renderer.apply(c))
            list(QStringLiteral("   ") + note);
        m_rows += quint64(qMax(0, m_renderer.paperRows() - rowsBefore));
        if (c.op == Op::ComMode && onUartSettings)
            onUartSettings(c.param[0], c.param[1]);
        switch (c.op) {
        case Op::Firmware: answer += firmwareAnswer(); break;
        case Op::Status: answer += statusAnswer(); break;
        // The real-time status byte: online, paper present, no error.
        case Op::RealTimeStatus: answer += char(0x12); break;
        case Op::Cut:
            if (isPartialCut(c))
                endJob(Renderer::End::PartialCut, QStringLiteral("a partial cut"));
            else
                endJob(Renderer::End::FullCut, QStringLiteral("a full cut"));
            break;
        case Op::FullCut: endJob(Renderer::End::FullCut, QStringLiteral("a full cut")); break;
        case Op::PartialCut: endJob(Renderer::End::PartialCut, QStringLiteral("a partial cut")); break;
        case Op::LabelHome: endJob(Renderer::End::LabelGap, QStringLiteral("a label feed")); break;
        default: break;
        }
    }
}

quint64 Controller::rowsPrinted() const
{
    // A raster is drawn when its last byte is in, but the head prints its
    // rows as the data comes.
    quint64 pending = 0;
    if (const Command *c = m_decoder.inProgress(); c && c->op == Op::Raster && c->param[1] > 0)
        pending = c->received / quint64(c->param[1]) * ((c->param[0] & 2) ? 2 : 1);
    return m_rows + pending;
}

void Controller::endJob(Renderer::End end, const QString &why)
{
    m_lastPage = m_renderer.finishPage(end);
    const QString path = QDir(m_dir).filePath(QStringLiteral("job-%1.png").arg(m_next++, 4, 10, QLatin1Char('0')));
    if (onPage)
        onPage(m_lastPage);
    if (m_lastPage.save(path)) {
        m_pages << path;
        list(QStringLiteral("-- job ended by %1: %2 (%3 x %4 dots)")
                 .arg(why, path)
                 .arg(m_lastPage.width())
                 .arg(m_lastPage.height()));
    } else {
        list(QStringLiteral("-- job ended by %1: could not write %2").arg(why, path));
    }
}

} // namespace Virtual

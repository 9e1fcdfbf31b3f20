#include "render/printer.h"

namespace Paper {

using namespace Line;

void Printer::list(const QString &line)
{
    if (onListing)
        onListing(line);
}

void Printer::feed(const QByteArray &bytes)
{
    handle(m_decoder.feed(bytes));
}

void Printer::settle()
{
    handle(m_decoder.settle());
}

void Printer::silence()
{
    handle(m_decoder.flush());
    if (m_renderer.hasContent())
        endJob(Renderer::End::None, QStringLiteral("silence on the line"));
}

void Printer::handle(const QList<Command> &commands)
{
    for (const Command &c : commands) {
        list(describe(c));
        if (c.op == Op::PrintHead) {
            // The head's width is the paper's: a new width starts a new job.
            const int width = isWideHead(c.param[0]) ? 576 : 384;
            if (width != m_renderer.printWidth()) {
                if (m_renderer.hasContent())
                    endJob(Renderer::End::None, QStringLiteral("a print head change"));
                m_renderer.setPrintWidth(width);
                list(QStringLiteral("   paper is now %1 dots wide").arg(width));
            }
            if (onCommand)
                onCommand(c);
            continue;
        }
        const int rowsBefore = m_renderer.paperRows();
        for (const QString &note : m_renderer.apply(c))
            list(QStringLiteral("   ") + note);
        m_rows += quint64(qMax(0, m_renderer.paperRows() - rowsBefore));
        if (onCommand)
            onCommand(c);
        switch (c.op) {
        case Op::Cut:
            if (isPartialCut(c))
                cut(Renderer::End::PartialCut, QStringLiteral("a partial cut"));
            else
                cut(Renderer::End::FullCut, QStringLiteral("a full cut"));
            break;
        case Op::FullCut: cut(Renderer::End::FullCut, QStringLiteral("a full cut")); break;
        case Op::PartialCut: cut(Renderer::End::PartialCut, QStringLiteral("a partial cut")); break;
        case Op::LabelHome: endJob(Renderer::End::LabelGap, QStringLiteral("a label feed")); break;
        default: break;
        }
    }
}

void Printer::cut(Renderer::End end, const QString &why)
{
    // The knife falls where it fell last: no paper came out since, so there
    // is no page. A label feed always brings a label out.
    if (!m_renderer.hasContent()) {
        list(QStringLiteral("-- %1 with nothing printed: no page").arg(why));
        return;
    }
    endJob(end, why);
}

void Printer::endJob(Renderer::End end, const QString &why)
{
    Page page;
    page.image = m_renderer.finishPage(end);
    page.end = end;
    page.why = why;
    if (onPage)
        onPage(page);
}

} // namespace Paper

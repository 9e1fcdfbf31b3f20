#ifndef TELVAR_PAPER_PRINTER_H
#define TELVAR_PAPER_PRINTER_H

// The printer behind the line, without the line: bytes go one way, through
// the line decoder into the renderer, which draws the paper. The printer knows
// where a job ends (a full or partial cut, a label feed, a change of the print
// head's width, or the silence its owner reports) and hands out each finished
// page. A cut with nothing printed since the last one ends no page; the
// listing says so. The virtual controller prints from it and writes the pages as files;
// the program's paper preview draws the very same pages from the same bytes.
//
//   bytes --> Line::Decoder --> commands --> Renderer --> paper --> pages

#include "decoder/decoder.h"
#include "render/renderer.h"

#include <QImage>
#include <QString>

#include <functional>

namespace Paper {

struct Page
{
    // The job's paper between the roll's unprinted side strips, with its cut
    // line or label gap at the end, in 8-bit grey.
    QImage image;
    Renderer::End end = Renderer::End::None;
    // What ended it: "a full cut", "a partial cut", "a label feed", "a print
    // head change" or "silence on the line".
    QString why;
};

class Printer
{
public:
    // Takes bytes from the line.
    void feed(const QByteArray &bytes);
    // The line has been quiet for a moment: a status or firmware query that
    // waited for a real-time parameter byte is taken as this controller's own.
    void settle();
    bool awaitsQueryByte() const { return m_decoder.awaitsQueryByte(); }
    // The line has been quiet long enough to end the job: a command cut short
    // is closed, and the job ends if anything was printed.
    void silence();

    // Called as the stream goes, in its order. The listing: every command as
    // decoded, then the renderer's notes for it (indented by three blanks),
    // and "-- a full cut with nothing printed: no page" for a cut that ends
    // no page.
    std::function<void(const QString &)> onListing;
    // After each command has been drawn.
    std::function<void(const Line::Command &)> onCommand;
    // A job has ended.
    std::function<void(const Page &)> onPage;

    // The job in progress: its paper so far and the print width.
    const Renderer &renderer() const { return m_renderer; }
    int printWidth() const { return m_renderer.printWidth(); }
    // Dot rows of paper fed by the commands since the start, a running count.
    quint64 rowsDrawn() const { return m_rows; }
    // The command whose data is still arriving, or null.
    const Line::Command *inProgress() const { return m_decoder.inProgress(); }

private:
    void list(const QString &line);
    void handle(const QList<Line::Command> &commands);
    void cut(Renderer::End end, const QString &why);
    void endJob(Renderer::End end, const QString &why);

    Line::Decoder m_decoder;
    Renderer m_renderer;
    quint64 m_rows = 0;
};

} // namespace Paper

#endif

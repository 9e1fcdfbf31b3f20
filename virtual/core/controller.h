#ifndef TELVAR_VIRTUAL_CONTROLLER_H
#define TELVAR_VIRTUAL_CONTROLLER_H

// The virtual controller without its line: bytes in, a listing, answers to the
// two queries and one PNG of paper per job out. The printer of the paper
// library draws the pages and says where a job ends (a cut, a label feed, a
// change of print head width, or when the line has been silent: silence(),
// called by whoever owns the line).

#include "decoder/decoder.h"
#include "render/printer.h"

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace Virtual {

// The commands come from the line decoder.
using namespace Line;

// The virtual controller's own answers. They are plain ASCII and contain no
// XON (11) or XOFF (13), which a port with software flow control would swallow.
QByteArray firmwareAnswer();
QByteArray statusAnswer();

class Controller
{
public:
    // Pages go to `outputDir` as job-0001.png, job-0002.png, ... continuing
    // after the highest number already there; the listing is appended to
    // `logPath` when it is not empty.
    Controller(const QString &outputDir, const QString &logPath = QString());

    // Takes bytes from the line; returns the bytes to answer with.
    QByteArray receive(const QByteArray &bytes);
    // The line has been quiet for a moment: a status or firmware query that
    // waited for a real-time parameter byte is answered as this controller's
    // own query. Returns the answer.
    QByteArray settle();
    bool awaitsQueryByte() const { return m_printer.awaitsQueryByte(); }
    // The line has been quiet: ends the job, if anything was printed.
    void silence();

    // Every listing line is handed here as it is made (and logged).
    std::function<void(const QString &)> onListing;

    // The speed-and-flow command (1D 28 n m) has been printed: its codes.
    std::function<void(int speedCode, int flowCode)> onUartSettings;
    // A job has ended: its page, as written.
    std::function<void(const QImage &)> onPage;
    // Adds a line of the line's own to the listing.
    void addListing(const QString &line) { list(line); }

    // Dot rows through the head since the start, a running count: the paper
    // fed by each command, and the rows of a raster as its data arrives.
    quint64 rowsPrinted() const;
    const Paper::Renderer &renderer() const { return m_printer.renderer(); }

    QStringList pagesWritten() const { return m_pages; }
    QImage lastPage() const { return m_lastPage; }
    int printWidth() const { return m_printer.printWidth(); }

private:
    void list(const QString &line);
    void answerOrConfigure(const Command &command);
    void writePage(const Paper::Page &page);

    Paper::Printer m_printer;
    QByteArray m_answer; // of the bytes being taken
    QString m_dir;
    QFile m_log;
    int m_next = 1;
    QStringList m_pages;
    QImage m_lastPage;
};

} // namespace Virtual

#endif

#ifndef TELVAR_VIRTUAL_CONTROLLER_H
#define TELVAR_VIRTUAL_CONTROLLER_H

// The virtual controller without its line: bytes in, a listing, answers to the
// two queries and one PNG of paper per job out. A job ends with a cut, a label
// feed, a change of print head width, or when the line has been silent
// (silence(), called by whoever owns the line).

#include "decoder/decoder.h"
#include "renderer.h"

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace Virtual {

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
    bool awaitsQueryByte() const { return m_decoder.awaitsQueryByte(); }
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
    const Renderer &renderer() const { return m_renderer; }

    QStringList pagesWritten() const { return m_pages; }
    QImage lastPage() const { return m_lastPage; }
    int printWidth() const { return m_renderer.printWidth(); }

private:
    void list(const QString &line);
    void handle(const QList<Command> &commands, QByteArray &answer);
    void endJob(Renderer::End end, const QString &why);

    Decoder m_decoder;
    Renderer m_renderer;
    QString m_dir;
    QFile m_log;
    int m_next = 1;
    quint64 m_rows = 0;
    QStringList m_pages;
    QImage m_lastPage;
};

} // namespace Virtual

#endif

#ifndef TELVAR_PAPERFEED_H
#define TELVAR_PAPERFEED_H

// The paper of the preview: the bytes the program sends, taken from the line
// monitor's capture as they are recorded and fed through the paper library's
// printer, exactly as the virtual controller feeds what reaches it. A job ends
// where the printer ends it (a cut, a label feed, a head change), after
// kSilenceMs without a byte sent, and when a new connection opens.
//
// It follows the line only while someone looks (follow()). Meanwhile the
// capture keeps the bytes; following again decodes what came since, or what
// was sent since the connection opened when a new one did. Decoding runs from
// the event loop in slices of a few milliseconds, so that a raster of
// megabytes or a stream of two-metre pages never holds the window up.
//
// Each press of a button leaves a mark: the sent-stream position where its
// bytes begin (the same position the line monitor's heading row carries) and
// the place on the paper where its printing begins.

#include "render/printer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>
#include <vector>

class LineModel;

class PaperFeed : public QObject
{
    Q_OBJECT

public:
    // Paper pixels kept, the pages of the finished jobs and of the one in
    // progress together; the oldest pages go first.
    static constexpr qint64 kKeptBytes = 64 * 1024 * 1024;
    // The virtual controller's default silence that ends a job.
    static constexpr int kSilenceMs = 2000;

    explicit PaperFeed(LineModel *model, QObject *parent = nullptr);

    void follow(bool on);
    bool following() const { return m_following; }
    // Bytes recorded that are not drawn yet.
    bool busy() const { return m_fedTo < m_end || !m_events.empty(); }

    // The jobs, oldest first: the finished pages, then the job in progress
    // while it has paper.
    int jobCount() const;
    bool isInProgress(int job) const { return job == int(m_pages.size()); }
    QSize jobSize(int job) const;
    // A finished job's page.
    const QImage &page(int job) const { return m_pages.at(size_t(job)).image; }
    const Paper::Renderer &renderer() const { return m_printer.renderer(); }
    // The first of the renderer's rows that the job in progress shows: the
    // ones above went with Clear.
    int firstShownRow() const { return m_tornRows; }
    // The job's page as it is, or as it would be if the line fell silent
    // now; null when there is none.
    QImage pageNow(int job) const;
    QString endOf(int job) const;
    // True once older pages were dropped to stay within kKeptBytes.
    bool droppedOlder() const { return m_dropped; }
    // Tears the paper off at the head: what was printed goes, and the job in
    // progress goes on below the tear, as the printer goes on printing it.
    void clear();

    // Where the paper of the press whose bytes begin at `sentOffset` starts:
    // false when that press has no place (yet, or any more).
    bool pressPlace(quint64 sentOffset, int *job, int *y) const;
    // The press whose paper `y` of `job` is part of: false when none.
    bool pressAt(int job, int y, quint64 *sentOffset) const;

signals:
    // Paper was added, ended, dropped or cleared.
    void changed();
    // A press's mark got its place on the paper.
    void pressPlaced(quint64 sentOffset);

private:
    struct Job
    {
        QImage image;
        QString why;
    };
    struct Mark
    {
        quint64 offset;
        quint64 serial; // of the job
        int y;          // on the job's page
    };
    struct Event
    {
        enum Kind { Press, Silence } kind;
        quint64 offset;
    };

    void catchUp();
    void sent(quint64 offset, qsizetype size);
    void at(Event::Kind kind);
    void silenceTimeout();
    void silenceAt(quint64 offset);
    void captureCleared();
    void schedule();
    void work();
    void apply(const Event &event);
    void addPage(const Paper::Page &page);
    void keepWithinBound();
    quint64 serialInProgress() const { return m_firstSerial + m_pages.size(); }

    LineModel *m_model;
    Paper::Printer m_printer;
    std::deque<Job> m_pages;
    quint64 m_firstSerial = 0;
    qint64 m_pageBytes = 0;
    bool m_dropped = false;
    int m_tornRows = 0; // of the job in progress, gone with Clear
    std::vector<Mark> m_marks;
    std::deque<Event> m_events;
    quint64 m_fedTo = 0; // sent-stream position of the next byte to draw
    quint64 m_end = 0;   // and of the end of what was recorded
    quint64 m_silentAt = 0; // and of the last silence
    quint64 m_silenceDrawn = 0; // and of the last one the printer was told of
    int m_opens = -1;    // the model's count of opens when last followed
    qint64 m_lastSentMs = -1; // the model's last byte when it stopped following
    bool m_following = false;
    QList<QMetaObject::Connection> m_links;
    QTimer m_work;
    QTimer m_silence;
};

#endif

#ifndef TELVAR_LINEMODEL_H
#define TELVAR_LINEMODEL_H

// The line monitor's list: one row per decoded command sent, per sixteen bytes
// received and per button press, over a LineCapture. Recording appends to the
// capture and starts a short timer; the rows are made and announced to the
// view when it fires, so a burst of writes costs one update and no script
// waits for decoding. Row texts are made when the view asks for them.

#include "monitor/linecapture.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>

class LineModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Direction, Size, Content, ColumnCount };

    explicit LineModel(QObject *parent = nullptr,
                       qint64 capacity = LineCapture::kDefaultCapacity);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void recordSent(const char *data, qsizetype size);
    void recordReceived(const QByteArray &bytes);
    void recordPress(const QString &button);
    // Times count from here: called when the port opens.
    void restartClock();
    void clear();

    const LineCapture &capture() const { return m_capture; }
    // The sent stream's length when the port was last opened (0 after a
    // clear), how many times it was opened, and the time of the last byte
    // sent on the clock that restartClock() started.
    quint64 sentAtOpen() const { return m_sentAtOpen; }
    int opens() const { return m_opens; }
    qint64 lastSentMs() const { return m_lastSentMs; }
    qint64 elapsedMs() const { return now(); }
    const LineCapture::Row &row(int index) const { return m_capture.rows().at(index); }
    // Makes rows of everything recorded so far; `flush` also closes a
    // command still waiting for bytes.
    void settle(bool flush = false);

signals:
    // Rows were added or dropped, or the capture was cleared.
    void changed();
    // Told at once, before any row is made, for those who follow the line as
    // it goes (the paper preview, the unattended runner): bytes recorded at
    // `offset` of their direction's stream, a press, the port opened.
    void sentRecorded(quint64 offset, qsizetype size);
    void receivedRecorded(quint64 offset, qsizetype size);
    void pressRecorded(const QString &button);
    void clockRestarted();

private:
    qint64 now() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }
    void scheduleSettle();

    LineCapture m_capture;
    QElapsedTimer m_clock;
    quint64 m_sentAtOpen = 0;
    int m_opens = 0;
    qint64 m_lastSentMs = 0;
    QTimer m_settleTimer;
    // A command or a text run at the end of a burst is complete only when
    // the next byte shows it; after this quiet time it is listed as it is.
    QTimer m_quietTimer;
};

#endif

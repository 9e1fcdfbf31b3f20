#ifndef LOGPANEBOUND_H
#define LOGPANEBOUND_H

// Keeps the controller's replies in the log pane within bounds. A controller
// left streaming (status bytes, a debug dump) would otherwise grow the pane
// by every byte it sends, half a gigabyte an hour at 115200 baud, and make
// the next press's clearing of the pane ever slower. The pane keeps the
// newest replies only:
//
//   - at most MaxLines lines (the oldest go first);
//   - at most about MaxChars characters (cut back to KeepChars, at the start
//     of a line);
//   - no single line longer than MaxLineChars: a reply without line breaks
//     keeps only its newest characters (cut back to KeepLineChars). The pane
//     lays a whole line out again for every reply added to it, about 0.2 us
//     a character: a line of 2 MB would freeze the window for 0.4 s per
//     reply, so a flood without line breaks is bounded by this length.
//
// A demonstration's own explanation is a few dozen short lines, far below
// every bound. trim() is called after received text was inserted; the whole
// traffic is what the line monitor is for.

#include <QObject>

QT_BEGIN_NAMESPACE
class QPlainTextEdit;
QT_END_NAMESPACE

class LogPaneBound : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLines = 20000;
    static constexpr int MaxChars = 2000000;
    static constexpr int KeepChars = MaxChars - MaxChars / 10;
    static constexpr int MaxLineChars = 4096;
    static constexpr int KeepLineChars = MaxLineChars / 2;

    // Bounds the pane's line count at once; the parent is the pane.
    explicit LogPaneBound(QPlainTextEdit *pane);

    // Cuts what exceeds the bounds, oldest first.
    void trim();

private:
    void noteChange(int from, int removed, int added);
    void cut(int from, int to);

    QPlainTextEdit *pane = nullptr;
    // Span of text added since the last trim(), or -1.
    int addedFrom = -1;
    int addedTo = -1;
};

#endif // LOGPANEBOUND_H

#include "app/logpanebound.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LogPaneBound::LogPaneBound(QPlainTextEdit *pane)
    : QObject(pane)
    , pane(pane)
{
    // A line bound also turns the document's undo history off. That is
    // needed anyway: with the history on, the document keeps every character
    // ever removed from it, so cutting old replies would free nothing.
    pane->setMaximumBlockCount(MaxLines);
    connect(pane->document(), &QTextDocument::contentsChange, this, &LogPaneBound::noteChange);
}

void LogPaneBound::noteChange(int from, int removed, int added)
{
    // Text removed before the span (old lines leaving at the top) moves it.
    if (addedFrom >= 0 && from < addedFrom) {
        addedFrom = qMax(from, addedFrom - removed);
        addedTo = qMax(addedFrom, addedTo - removed);
    }
    if (added <= 0)
        return;
    addedFrom = addedFrom < 0 ? from : qMin(addedFrom, from);
    addedTo = qMax(addedTo, from + added);
}

void LogPaneBound::trim()
{
    QTextDocument *document = pane->document();
    if (addedFrom >= 0) {
        // Only lines that grew since the last call can be too long; the
        // cursor's line is where received text goes.
        const int end = qMin(addedTo, document->characterCount() - 1);
        QTextBlock block = document->findBlock(qMin(addedFrom, pane->textCursor().position()));
        const QTextBlock last = document->findBlock(qMax(end, pane->textCursor().position()));
        addedFrom = addedTo = -1;
        while (block.isValid()) {
            // length() counts the line's end; the oldest characters go.
            if (block.length() - 1 > MaxLineChars)
                cut(block.position(), block.position() + block.length() - 1 - KeepLineChars);
            if (block == last)
                break;
            block = block.next();
        }
    }

    const int count = document->characterCount();
    if (count <= MaxChars)
        return;
    int end = count - KeepChars;
    const QTextBlock block = document->findBlock(end);
    if (block.position() < end && block.next().isValid())
        end = block.next().position(); // whole lines go
    cut(0, end);
}

void LogPaneBound::cut(int from, int to)
{
    QTextCursor cursor(pane->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

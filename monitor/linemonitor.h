#ifndef TELVAR_LINEMONITOR_H
#define TELVAR_LINEMONITOR_H

// The Line Monitor: a tool window beside the main window that lists every
// byte on the serial line as it goes, sent bytes decoded into the
// controller's commands, received bytes as hex and text, and a heading for
// each button press. Below the list the selected row's bytes are shown in
// full, and a send line puts bytes of the user's own on the line.
//
// The main window records into it from three places (its single write, its
// read and its connection guard) and opens it from the View menu; sending
// goes back through the main window, so it passes the same guard and the
// same write as every script.

#include <QByteArray>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>

QT_BEGIN_NAMESPACE
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;
QT_END_NAMESPACE

class LineModel;

class LineMonitor : public QWidget
{
    Q_OBJECT

public:
    enum class Format { Raw, HexDump, CArray };

    explicit LineMonitor(QWidget *parent);

    // Adds the "View" menu with the window's action before `before`; other
    // tool windows add theirs to it.
    QMenu *addViewMenu(QMenuBar *bar, QAction *before);
    QAction *toggleAction() const { return m_toggle; }

    void recordSent(const uint8_t *data, size_t size);
    void recordReceived(const QByteArray &bytes);
    void recordPress(const QString &buttonText);
    void restartClock();

    // Puts bytes on the line; false when they could not go (no open port).
    using Sender = std::function<bool(const QByteArray &)>;
    void setSender(Sender sender) { m_sender = std::move(sender); }
    // The send line's way out, for bytes already parsed: false when they
    // could not go.
    bool sendBytes(const QByteArray &bytes) const { return m_sender && m_sender(bytes); }

    LineModel *model() const { return m_model; }
    // The selected rows' bytes: the sent ones, or the received ones when
    // only received rows are selected; every sent byte kept when nothing is
    // selected.
    QByteArray selectedBytes() const;
    // Writes selectedBytes() to `path`; a box says why when it cannot.
    bool saveTo(const QString &path, Format format);

    // Opens the window and selects the heading of the press whose bytes
    // begin at `sentOffset` of the sent stream (the last of several presses
    // there, the one that sent them); false when no such heading is kept.
    bool selectHeading(quint64 sentOffset);

    void setVisible(bool visible) override;

signals:
    // The user selected the heading of a press whose bytes begin at
    // `sentOffset` of the sent stream.
    void headingSelected(quint64 sentOffset);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    void send();
    void save();
    void copy();
    void showDetail();
    void tellHeading();
    void showAllBytes();
    void updateStatus();
    void recallHistory(int step);

    LineModel *m_model = nullptr;
    QAction *m_toggle = nullptr;
    QTableView *m_table = nullptr;
    QPlainTextEdit *m_detail = nullptr;
    QPushButton *m_showAll = nullptr;
    QLabel *m_status = nullptr;
    QLineEdit *m_entry = nullptr;
    QRadioButton *m_hex = nullptr;
    QRadioButton *m_text = nullptr;
    QLabel *m_error = nullptr;
    Sender m_sender;
    QStringList m_history;
    qsizetype m_historyIndex = 0;
    bool m_follow = true;
    bool m_selectingHeading = false;
};

#endif

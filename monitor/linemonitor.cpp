#include "monitor/linemonitor.h"

#include "monitor/lineformat.h"
#include "monitor/linemodel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The detail pane shows this much of a row at once; a raster row's full hex
// is built only when asked for.
constexpr qsizetype kDetailBytes = 4096;

QString rawFilter() { return LineMonitor::tr("Raw bytes (*.bin)"); }
QString dumpFilter() { return LineMonitor::tr("Hex dump (*.txt)"); }
QString arrayFilter() { return LineMonitor::tr("C array (*.h *.c)"); }

} // namespace

LineMonitor::LineMonitor(QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_model(new LineModel(this))
{
    setObjectName(QStringLiteral("lineMonitor"));
    setWindowTitle(tr("Line Monitor"));
    resize(800, 640);

    m_toggle = new QAction(tr("&Line Monitor"), this);
    m_toggle->setObjectName(QStringLiteral("actionLineMonitor"));
    m_toggle->setCheckable(true);
    m_toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(m_toggle);
    connect(m_toggle, &QAction::toggled, this, &QWidget::setVisible);
}

void LineMonitor::setVisible(bool visible)
{
    if (visible)
        build();
    QWidget::setVisible(visible);
}

// Recording needs only the model; the window's widgets are made when it is
// first opened, so that the program's start does not pay for them.
void LineMonitor::build()
{
    if (m_table)
        return;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto *clear = new QPushButton(tr("Clear"), this);
    clear->setObjectName(QStringLiteral("monitorClear"));
    auto *copyButton = new QPushButton(tr("Copy"), this);
    copyButton->setObjectName(QStringLiteral("monitorCopy"));
    auto *saveButton = new QPushButton(tr("Save..."), this);
    saveButton->setObjectName(QStringLiteral("monitorSave"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("monitorStatus"));
    auto *tools = new QHBoxLayout;
    tools->addWidget(clear);
    tools->addWidget(copyButton);
    tools->addWidget(saveButton);
    tools->addWidget(m_status, 1);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("monitorTable"));
    m_table->setModel(m_model);
    m_table->setFont(fixed);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setWordWrap(false);
    m_table->setShowGrid(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights: the view never measures a row, however many there are.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(fixed).height() + 4);
    QHeaderView *columns = m_table->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    const int digit = QFontMetrics(fixed).horizontalAdvance(QLatin1Char('0'));
    columns->resizeSection(LineModel::Time, digit * 9);
    columns->resizeSection(LineModel::Direction, digit * 10);
    columns->resizeSection(LineModel::Size, digit * 9);
    columns->setStretchLastSection(true);
    auto *copyAction = new QAction(tr("Copy"), m_table);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(copyAction);

    m_detail = new QPlainTextEdit(this);
    m_detail->setObjectName(QStringLiteral("monitorDetail"));
    m_detail->setReadOnly(true);
    m_detail->setFont(fixed);
    m_detail->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_showAll = new QPushButton(tr("Show all bytes"), this);
    m_showAll->setObjectName(QStringLiteral("monitorShowAll"));
    m_showAll->setVisible(false);
    auto *detailBox = new QWidget(this);
    auto *detailLayout = new QVBoxLayout(detailBox);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->addWidget(m_detail);
    detailLayout->addWidget(m_showAll, 0, Qt::AlignLeft);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(detailBox);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    m_entry = new QLineEdit(this);
    m_entry->setObjectName(QStringLiteral("monitorEntry"));
    m_entry->setFont(fixed);
    m_entry->setPlaceholderText(tr("1B 40 or \\x1b@"));
    m_entry->installEventFilter(this);
    m_hex = new QRadioButton(tr("Hex"), this);
    m_hex->setObjectName(QStringLiteral("monitorHex"));
    m_hex->setChecked(true);
    m_text = new QRadioButton(tr("Text"), this);
    m_text->setObjectName(QStringLiteral("monitorText"));
    auto *sendButton = new QPushButton(tr("Send"), this);
    sendButton->setObjectName(QStringLiteral("monitorSend"));
    auto *sendRow = new QHBoxLayout;
    sendRow->addWidget(m_entry, 1);
    sendRow->addWidget(m_hex);
    sendRow->addWidget(m_text);
    sendRow->addWidget(sendButton);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("monitorError"));
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(splitter, 1);
    layout->addLayout(sendRow);
    layout->addWidget(m_error);

    connect(clear, &QPushButton::clicked, m_model, &LineModel::clear);
    connect(copyButton, &QPushButton::clicked, this, &LineMonitor::copy);
    connect(copyAction, &QAction::triggered, this, &LineMonitor::copy);
    connect(saveButton, &QPushButton::clicked, this, &LineMonitor::save);
    connect(sendButton, &QPushButton::clicked, this, &LineMonitor::send);
    connect(m_entry, &QLineEdit::returnPressed, this, &LineMonitor::send);
    connect(m_entry, &QLineEdit::textEdited, m_error, &QLabel::clear);
    connect(m_showAll, &QPushButton::clicked, this, &LineMonitor::showAllBytes);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &LineMonitor::showDetail);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &LineMonitor::tellHeading);
    connect(m_model, &LineModel::changed, this, &LineMonitor::updateStatus);
    connect(m_model, &LineModel::modelReset, this, &LineMonitor::showDetail);
    // New rows keep the view at the bottom unless the user scrolled up to read.
    connect(m_model, &LineModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_table->verticalScrollBar();
        m_follow = bar->value() == bar->maximum();
    });
    connect(m_model, &LineModel::rowsInserted, this, [this] {
        if (m_follow && isVisible())
            m_table->scrollToBottom();
    });
    updateStatus();
}

QMenu *LineMonitor::addViewMenu(QMenuBar *bar, QAction *before)
{
    auto *menu = new QMenu(tr("View"), bar);
    menu->setObjectName(QStringLiteral("menuView"));
    menu->addAction(m_toggle);
    bar->insertMenu(before, menu);
    return menu;
}

bool LineMonitor::selectHeading(quint64 sentOffset)
{
    m_toggle->setChecked(true);
    m_model->settle();
    const auto &rows = m_model->capture().rows();
    for (qsizetype i = qsizetype(rows.size()) - 1; i >= 0; --i) {
        const LineCapture::Row &row = rows.at(i);
        if (row.kind != LineCapture::Kind::Heading || row.offset != sentOffset)
            continue;
        const QModelIndex index = m_model->index(int(i), LineModel::Content);
        // Whoever asked is showing that press already.
        m_selectingHeading = true;
        m_table->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_selectingHeading = false;
        m_table->scrollTo(index, QAbstractItemView::PositionAtCenter);
        raise();
        activateWindow();
        return true;
    }
    return false;
}

void LineMonitor::tellHeading()
{
    const QModelIndex current = m_table->currentIndex();
    if (m_selectingHeading || !current.isValid() || current.row() >= m_model->rowCount())
        return;
    const LineCapture::Row &row = m_model->row(current.row());
    if (row.kind == LineCapture::Kind::Heading)
        emit headingSelected(row.offset);
}

void LineMonitor::recordSent(const uint8_t *data, size_t size)
{
    m_model->recordSent(reinterpret_cast<const char *>(data), qsizetype(size));
}

void LineMonitor::recordReceived(const QByteArray &bytes)
{
    m_model->recordReceived(bytes);
}

void LineMonitor::restartClock()
{
    m_model->restartClock();
}

void LineMonitor::recordPress(const QString &buttonText)
{
    // "&&" is a literal ampersand, a single one marks the mnemonic.
    QString name = buttonText;
    name.replace(QLatin1String("&&"), QString(QChar(0x1)));
    name.remove(QLatin1Char('&'));
    name.replace(QChar(0x1), QLatin1Char('&'));
    m_model->recordPress(name.simplified());
}

void LineMonitor::closeEvent(QCloseEvent *event)
{
    m_toggle->setChecked(false);
    QWidget::closeEvent(event);
}

void LineMonitor::showEvent(QShowEvent *event)
{
    // Rows that came while the window was closed are brought into view.
    if (m_follow && m_table)
        m_table->scrollToBottom();
    QWidget::showEvent(event);
}

bool LineMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_entry && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            recallHistory(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LineMonitor::recallHistory(int step)
{
    if (m_history.isEmpty())
        return;
    m_historyIndex = std::clamp<qsizetype>(m_historyIndex + step, 0, m_history.size());
    // One step past the newest entry is an empty line again.
    m_entry->setText(m_historyIndex < m_history.size() ? m_history.at(m_historyIndex) : QString());
    m_error->clear();
}

void LineMonitor::send()
{
    const QString input = m_entry->text();
    const LineFormat::Parsed parsed =
        m_hex->isChecked() ? LineFormat::parseHex(input) : LineFormat::parseText(input);
    if (!parsed.ok()) {
        m_error->setText(LineFormat::describeError(parsed));
        return;
    }
    m_error->clear();
    if (!sendBytes(parsed.bytes))
        return; // the line keeps what was typed
    if (m_history.isEmpty() || m_history.constLast() != input)
        m_history.append(input);
    m_historyIndex = m_history.size();
    m_entry->clear();
}

QByteArray LineMonitor::selectedBytes() const
{
    QModelIndexList selected;
    if (m_table)
        selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return m_model->capture().allSent();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    const auto collect = [&](LineCapture::Kind kind) {
        QByteArray bytes;
        for (const QModelIndex &index : std::as_const(selected)) {
            const LineCapture::Row &row = m_model->row(index.row());
            if (row.kind == kind)
                bytes += m_model->capture().bytes(row);
        }
        return bytes;
    };
    const QByteArray sent = collect(LineCapture::Kind::Sent);
    return sent.isEmpty() ? collect(LineCapture::Kind::Received) : sent;
}

void LineMonitor::copy()
{
    QGuiApplication::clipboard()->setText(LineFormat::hexList(selectedBytes()));
}

void LineMonitor::save()
{
    QString filter = rawFilter();
    QString path = QFileDialog::getSaveFileName(
        this, tr("Save Line Capture"), QString(),
        QStringList{rawFilter(), dumpFilter(), arrayFilter()}.join(QStringLiteral(";;")),
        &filter);
    if (path.isEmpty())
        return;
    // The name's suffix decides, then the chosen filter.
    const QString suffix = QFileInfo(path).suffix().toLower();
    Format format = filter == arrayFilter() ? Format::CArray
        : filter == dumpFilter()            ? Format::HexDump
                                            : Format::Raw;
    if (suffix == QLatin1String("bin"))
        format = Format::Raw;
    else if (suffix == QLatin1String("txt"))
        format = Format::HexDump;
    else if (suffix == QLatin1String("h") || suffix == QLatin1String("c"))
        format = Format::CArray;
    else if (suffix.isEmpty())
        path += format == Format::Raw ? QStringLiteral(".bin")
            : format == Format::HexDump ? QStringLiteral(".txt")
                                        : QStringLiteral(".h");
    saveTo(path, format);
}

bool LineMonitor::saveTo(const QString &path, Format format)
{
    const QString title = tr("Save Line Capture");
    const QByteArray bytes = selectedBytes();
    if (bytes.isEmpty()) {
        QMessageBox::information(this, title, tr("There are no bytes to save."));
        return false;
    }
    QByteArray contents;
    switch (format) {
    case Format::Raw: contents = bytes; break;
    case Format::HexDump: contents = LineFormat::hexDump(bytes); break;
    case Format::CArray:
        contents = LineFormat::cArray(bytes, LineFormat::cIdentifier(QFileInfo(path).completeBaseName()));
        break;
    }
    // Written beside the target and renamed over it at the end, so a failure
    // half-way leaves no partial file under the chosen name.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()
        || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        QMessageBox::critical(this, title,
                              tr("Cannot save %1:\n%2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    return true;
}

void LineMonitor::showDetail()
{
    m_showAll->setVisible(false);
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount()) {
        m_detail->clear();
        return;
    }
    const LineCapture::Row &row = m_model->row(current.row());
    if (row.kind == LineCapture::Kind::Heading) {
        m_detail->setPlainText(tr("Button \"%1\" pressed at %2 ms").arg(row.text).arg(row.ms));
        return;
    }
    const QByteArray bytes =
        m_model->capture().bytes(row.kind, row.offset, std::min<quint64>(row.length, kDetailBytes));
    QString text;
    if (row.kind == LineCapture::Kind::Sent) {
        text = tr("%1\n%2 bytes sent at %3 ms\n\n").arg(row.text).arg(row.length).arg(row.ms)
            + QString::fromLatin1(LineFormat::hexDump(bytes));
    } else {
        // One line per byte with its bits, so a status byte reads flag by flag.
        text = tr("%1 bytes received at %2 ms\n").arg(row.length).arg(row.ms);
        for (char c : bytes) {
            const uchar b = uchar(c);
            QString name = LineFormat::controlName(b);
            if (name.isEmpty() && b >= 0x20 && b < 0x7F)
                name = QStringLiteral("'%1'").arg(QChar(b));
            text += QStringLiteral("\n%1  %2  %3")
                        .arg(LineFormat::hexList(QByteArray(1, c)), name.leftJustified(4),
                             LineFormat::bits(b));
        }
    }
    if (row.length > quint64(bytes.size())) {
        text += tr("\n... %1 more bytes").arg(row.length - quint64(bytes.size()));
        m_showAll->setVisible(true);
    }
    m_detail->setPlainText(text);
}

void LineMonitor::showAllBytes()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return;
    const LineCapture::Row &row = m_model->row(current.row());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_detail->setPlainText(tr("%1\n%2 bytes at %3 ms\n\n").arg(row.text).arg(row.length).arg(row.ms)
                           + QString::fromLatin1(LineFormat::hexDump(m_model->capture().bytes(row))));
    QApplication::restoreOverrideCursor();
    m_showAll->setVisible(false);
}

void LineMonitor::updateStatus()
{
    if (!m_status)
        return;
    const LineCapture &capture = m_model->capture();
    QString text = tr("%1 rows, %2 bytes sent, %3 received")
                       .arg(m_model->rowCount())
                       .arg(capture.sentTotal())
                       .arg(capture.receivedTotal());
    if (capture.dropped())
        text += tr("; older traffic dropped");
    m_status->setText(text);
}

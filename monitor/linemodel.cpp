#include "monitor/linemodel.h"

#include "monitor/lineformat.h"

#include <QBrush>
#include <QColor>
#include <QFont>

namespace {

constexpr int kSettleMs = 20;
// The virtual controller's default silence too, so both list a command typed
// in two parts alike.
constexpr int kQuietMs = 2000;
// A received row shows its first bytes; the detail pane shows all of them.
constexpr int kShownReceivedBytes = 16;

// Hex, then the bytes as a C string, then the names of the control bytes
// that the string can only show as \xHH: 12  "\x12"  DC2.
QString receivedText(const QByteArray &bytes)
{
    QString text = QStringLiteral("%1  \"%2\"").arg(LineFormat::hexList(bytes),
                                                   LineFormat::escaped(bytes));
    for (char c : bytes) {
        if (c != '\r' && c != '\n' && c != '\t' && !LineFormat::controlName(uchar(c)).isEmpty())
            text += QLatin1String("  ") + LineFormat::controlName(uchar(c));
    }
    return text;
}

} // namespace

LineModel::LineModel(QObject *parent, qint64 capacity)
    : QAbstractTableModel(parent)
    , m_capture(capacity)
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(kSettleMs);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] { settle(); });
    m_quietTimer.setSingleShot(true);
    m_quietTimer.setInterval(kQuietMs);
    connect(&m_quietTimer, &QTimer::timeout, this, [this] { settle(true); });
}

int LineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_capture.rows().size());
}

int LineModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const LineCapture::Row &r = row(index.row());
    const bool heading = r.kind == LineCapture::Kind::Heading;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case Time: return QString::number(r.ms);
        case Direction:
            return heading ? tr("press")
                : r.kind == LineCapture::Kind::Sent ? tr("sent")
                                                    : tr("received");
        case Size: return heading ? QVariant() : QVariant(r.length);
        case Content:
            if (r.kind != LineCapture::Kind::Received)
                return r.text;
            const QByteArray bytes = m_capture.bytes(r);
            if (bytes.size() <= kShownReceivedBytes)
                return receivedText(bytes);
            return receivedText(bytes.left(kShownReceivedBytes)) + QStringLiteral("  ...");
        }
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == Time || index.column() == Size)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::FontRole:
        if (heading) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        break;
    case Qt::BackgroundRole:
        if (heading)
            return QBrush(QColor(0xdd, 0xe8, 0xf6));
        break;
    case Qt::ForegroundRole:
        if (r.kind == LineCapture::Kind::Received)
            return QBrush(QColor(0x8a, 0x3b, 0x00));
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant LineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Time: return tr("ms");
    case Direction: return tr("Line");
    case Size: return tr("Bytes");
    case Content: return tr("Command or data");
    }
    return QVariant();
}

void LineModel::scheduleSettle()
{
    if (!m_settleTimer.isActive())
        m_settleTimer.start();
}

void LineModel::recordSent(const char *data, qsizetype size)
{
    const quint64 offset = m_capture.sentTotal();
    m_lastSentMs = now();
    m_capture.recordSent(data, size, m_lastSentMs);
    scheduleSettle();
    emit sentRecorded(offset, size);
}

void LineModel::recordReceived(const QByteArray &bytes)
{
    const quint64 offset = m_capture.receivedTotal();
    m_capture.recordReceived(bytes, now());
    scheduleSettle();
    emit receivedRecorded(offset, bytes.size());
}

void LineModel::recordPress(const QString &button)
{
    m_capture.recordHeading(button, now());
    scheduleSettle();
    emit pressRecorded(button);
}

void LineModel::restartClock()
{
    m_clock.start();
    m_sentAtOpen = m_capture.sentTotal();
    m_lastSentMs = 0;
    ++m_opens;
    emit clockRestarted();
}

void LineModel::clear()
{
    beginResetModel();
    m_capture.clear();
    m_sentAtOpen = 0;
    endResetModel();
    emit changed();
}

void LineModel::settle(bool flush)
{
    m_settleTimer.stop();
    const bool hadPending = m_capture.hasPending();
    QList<LineCapture::Row> rows = m_capture.takeNewRows(flush);
    if (hadPending && !flush)
        m_quietTimer.start();
    if (rows.size() > LineCapture::kMaxRows)
        rows.remove(0, rows.size() - LineCapture::kMaxRows);
    const qsizetype stale = m_capture.staleRows(rows.size());
    if (stale > 0) {
        beginRemoveRows(QModelIndex(), 0, int(stale) - 1);
        m_capture.dropFrontRows(stale);
        endRemoveRows();
    }
    if (!rows.isEmpty()) {
        const int first = int(m_capture.rows().size());
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        m_capture.appendRows(rows);
        endInsertRows();
    }
    if (stale > 0 || !rows.isEmpty())
        emit changed();
}

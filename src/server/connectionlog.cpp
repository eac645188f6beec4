#include "connectionlog.h"

namespace kx {

ConnectionLog::ConnectionLog(QObject *parent)
    : QAbstractTableModel(parent), m_ownClock(std::make_unique<SystemClock>()), m_clock(*m_ownClock)
{
}

ConnectionLog::ConnectionLog(const Clock &clock, QObject *parent)
    : QAbstractTableModel(parent), m_clock(clock)
{
}

ConnectionLog::~ConnectionLog() = default;

void ConnectionLog::AddLogRow(const QString &address, const QString &host, const QString &operation)
{
    AddLogRow(address, host, operation, m_clock.Now());
}

void ConnectionLog::AddLogRow(const QString &address, const QString &host, const QString &operation,
                              TDateTime time)
{
    const QStringList row = {address, host, operation, FormatDateTime(time)};
    if (m_keepRows) {
        const int at = static_cast<int>(m_rows.size());
        beginInsertRows(QModelIndex(), at, at);
        m_rows.append(row);
        endInsertRows();
    }
    Q_EMIT RowAdded(row);
}

void ConnectionLog::SetKeepRows(bool keep)
{
    m_keepRows = keep;
    if (!keep)
        Clear();
}

void ConnectionLog::Clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int ConnectionLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ConnectionLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ConnectionLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    return m_rows.at(index.row()).at(index.column());
}

QVariant ConnectionLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QVariant();
    return m_captions[section];
}

bool ConnectionLog::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0 ||
        section >= ColumnCount)
        return false;
    m_captions[section] = value.toString();
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

} // namespace kx

#pragma once

#include "platform/datetime.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <array>
#include <memory>

namespace kx {

// The connection log: one row per connection event or request outcome, with
// the peer's address, its host name, the operation text and the local time.
// Rows are appended at the end, kept only in memory and removed only by Clear().
// Without a window to show them (headless) rows are not kept at all: each is
// only announced by RowAdded.
class ConnectionLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { AddressColumn, HostColumn, OperationColumn, TimeColumn, ColumnCount };

    // Widths of the columns in the main window's list view, in pixels.
    static constexpr std::array<int, ColumnCount> ColumnWidths = {100, 100, 200, 115};

    explicit ConnectionLog(QObject *parent = nullptr);
    // The time column is taken from clock, which must outlive the log.
    explicit ConnectionLog(const Clock &clock, QObject *parent = nullptr);
    ~ConnectionLog() override;

    // Appends a row stamped with the current local time "yyyy-mm-dd hh:mm:ss".
    void AddLogRow(const QString &address, const QString &host, const QString &operation);
    // Appends a row stamped with the time given (that of its event).
    void AddLogRow(const QString &address, const QString &host, const QString &operation, TDateTime time);
    void Clear();
    TDateTime Now() const { return m_clock.Now(); }

    // Whether rows are kept for the view (the default) or only announced.
    void SetKeepRows(bool keep);

    QStringList Row(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Column captions can be changed (the language component translates them).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

Q_SIGNALS:
    // Emitted after a row was appended: address, host, operation, time.
    void RowAdded(const QStringList &row);

private:
    std::unique_ptr<Clock> m_ownClock;
    const Clock &m_clock;
    QList<QStringList> m_rows;
    bool m_keepRows = true;
    std::array<QString, ColumnCount> m_captions = {QStringLiteral("IP Address"), QStringLiteral("Host"),
                                                   QStringLiteral("Operation"), QStringLiteral("Time")};
};

} // namespace kx

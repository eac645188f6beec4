#include "schema.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace lockserver {

const ColumnDef *TableDef::Find(const QString &column) const
{
    for (const ColumnDef &c : columns) {
        if (c.name.compare(column, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

const TableDef &RoomInfoTable()
{
    static const TableDef table{
        QStringLiteral("roominfo"),
        {{.name = QStringLiteral("room"), .type = ColumnType::Integer, .primaryKey = true}}};
    return table;
}

const TableDef &GuestInRecordTable()
{
    static const TableDef table{QStringLiteral("GuestInRecord"),
                                {
                                    {QStringLiteral("ID"), ColumnType::Integer, true},
                                    {QStringLiteral("GuestName"), ColumnType::Text},
                                    {QStringLiteral("Room"), ColumnType::Integer},
                                    {QStringLiteral("Rom"), ColumnType::Text},
                                    {QStringLiteral("GuestInTime"), ColumnType::DateTime},
                                    {QStringLiteral("GuestLeaveTime"), ColumnType::DateTime},
                                    {QStringLiteral("InputUser"), ColumnType::Text},
                                    {QStringLiteral("inputtime"), ColumnType::DateTime},
                                    {QStringLiteral("enOverride"), ColumnType::Integer, false, true},
                                    {QStringLiteral("LeaveTime"), ColumnType::Text},
                                }};
    return table;
}

const TableDef &MakeCardRecordTable()
{
    static const TableDef table{QStringLiteral("MakeCardRecord"),
                                {
                                    {QStringLiteral("ID"), ColumnType::Integer, true},
                                    {QStringLiteral("Rom"), ColumnType::Text},
                                    {QStringLiteral("enOverride"), ColumnType::Integer},
                                    {QStringLiteral("Holder"), ColumnType::Text},
                                    {QStringLiteral("Explain"), ColumnType::Text},
                                    {QStringLiteral("CardType"), ColumnType::Integer},
                                    {QStringLiteral("inputtime"), ColumnType::DateTime},
                                    {QStringLiteral("Deadboltoverride"), ColumnType::Integer},
                                    {QStringLiteral("override"), ColumnType::Integer},
                                    {QStringLiteral("Passagemode"), ColumnType::Integer},
                                    {QStringLiteral("CommonDoors"), ColumnType::Text},
                                    {QStringLiteral("Room"), ColumnType::Integer},
                                    {QStringLiteral("StartTime"), ColumnType::DateTime},
                                    {QStringLiteral("EndTime"), ColumnType::DateTime},
                                    {QStringLiteral("cardstatus"), ColumnType::Integer, false, true},
                                }};
    return table;
}

const TableDef &RoomClaimTable()
{
    static const TableDef table{
        QStringLiteral("RoomClaim"),
        {
            {.name = QStringLiteral("Room"), .type = ColumnType::Integer, .primaryKey = true},
            {QStringLiteral("Owner"), ColumnType::Text},
            {QStringLiteral("Station"), ColumnType::Text},
            {QStringLiteral("Expires"), ColumnType::Integer},
        }};
    return table;
}

QList<const TableDef *> AllTables()
{
    return {&RoomInfoTable(), &GuestInRecordTable(), &MakeCardRecordTable(), &RoomClaimTable()};
}

QString TypeName(ColumnType type)
{
    switch (type) {
    case ColumnType::Integer: return QStringLiteral("integer");
    case ColumnType::Text: return QStringLiteral("text");
    case ColumnType::DateTime: return QStringLiteral("datetime");
    }
    return QString();
}

QString QuotedAlias(const QString &column, const QString &alias)
{
    // Unquoted names fold to lower case on PostgreSQL; the quoted alias keeps
    // the spelling clients see the same on every backend.
    return QStringLiteral("%1 AS \"%2\"").arg(column, alias);
}

QString SelectList(const TableDef &table)
{
    QStringList items;
    for (const ColumnDef &c : table.columns)
        items << QuotedAlias(c.name, c.name);
    return items.join(QStringLiteral(", "));
}

bool IsDateTimeText(const QString &text)
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}):(\\d{2}))?$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch())
        return false;
    if (!QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()).isValid())
        return false;
    if (m.captured(4).isEmpty())
        return true;
    return QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()).isValid();
}

QString NormalizedDateTime(const QString &text)
{
    return text.size() == 10 ? text + QStringLiteral(" 00:00:00") : text;
}

} // namespace lockserver

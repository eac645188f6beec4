#pragma once

#include <QList>
#include <QString>

namespace lockserver {

enum class ColumnType { Integer, Text, DateTime };

struct ColumnDef
{
    QString name; // as the system's statements spell it
    ColumnType type;
    bool autoId = false; // numbered by the database, never written by clients
    bool notNullDefaultZero = false;
    bool primaryKey = false;
};

struct TableDef
{
    QString name;
    QList<ColumnDef> columns;

    // The column of that name in any letter case, or nullptr.
    const ColumnDef *Find(const QString &column) const;
};

const TableDef &RoomInfoTable();
const TableDef &GuestInRecordTable();
const TableDef &MakeCardRecordTable();
// The rooms a connection is checking in: one row per room, naming the
// connection that claimed it, the station it said it is (or empty), and when
// the claim runs out (seconds since 1970).
const TableDef &RoomClaimTable();
QList<const TableDef *> AllTables();

// "integer", "text" or "datetime": the type named in open answers.
QString TypeName(ColumnType type);

// The select list of a whole table with each column named as the table spells
// it, so that every backend answers with the same column names.
QString SelectList(const TableDef &table);
QString QuotedAlias(const QString &column, const QString &alias);

// Date-time texts: "yyyy-mm-dd" or "yyyy-mm-dd hh:nn:ss" of a real date and time.
bool IsDateTimeText(const QString &text);
// The full "yyyy-mm-dd hh:nn:ss" form of a valid date-time text.
QString NormalizedDateTime(const QString &text);

} // namespace lockserver

#pragma once

#include "schema.h"
#include "statements.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <functional>
#include <unordered_map>

namespace lockserver {

struct ResultColumn
{
    QString name;
    ColumnType type;
};

// Rows of a query: each row one value per column, date-times as
// "yyyy-mm-dd hh:nn:ss" texts, integers as numbers, null as null.
struct QueryResult
{
    QList<ResultColumn> columns;
    QList<QJsonArray> rows;
};

// One appended row: column names with their values, as the client set them.
using FieldList = QList<QPair<QString, QJsonValue>>;

// What an apply of this connection brings besides its own rows: card records
// held back until the guest record of the same check-in comes, so that the two
// are stored in one transaction, card record first.
struct AppendContext
{
    QString owner;                 // the connection, as it names its room claims
    QString station;               // the station it said it is, or empty
    qint64 now = 0;                // seconds since 1970
    QList<FieldList> heldCardRows; // stored into MakeCardRecord before the rows
};

// What the occupancy check of a room found.
enum class ClaimOutcome {
    Occupied,   // an open stay, or another connection's live claim
    Claimed,    // free: now claimed by the asking connection
    NoSuchRoom, // not a room of the hotel: free, and nothing claimed
};

struct AppendResult
{
    int errorCount = 0;
    bool committed = false; // false: the whole apply was undone
    QList<int> failedRows;  // indexes into the rows given
    QStringList errors;     // one text per failed row
};

// The lock database behind the providers, reached through one QtSql driver.
// Every statement is prepared with bound values and every exec is checked;
// failures raise kx::Error carrying the driver's text.
class SqlBackend
{
public:
    virtual ~SqlBackend();
    SqlBackend(const SqlBackend &) = delete;
    SqlBackend &operator=(const SqlBackend &) = delete;

    // Connects and creates the tables and indexes that are missing.
    void Open();
    void Close();
    // The database as the user named it, without any password.
    virtual QString Describe() const = 0;
    // The space the lock database takes, in bytes; raises when it cannot be asked.
    virtual qint64 DatabaseSize() = 0;

    QueryResult Query(const Statement &statement);
    int Execute(const Statement &statement);
    // Inserts rows into table in one transaction. When more than maxErrors rows
    // fail (maxErrors -1: no limit) nothing is stored.
    AppendResult Append(const TableDef &table, const QList<FieldList> &rows, int maxErrors,
                        const AppendContext &context = {});
    // The error of each row that Append would refuse for its values, by row index.
    QHash<int, QString> CheckRows(const TableDef &table, const QList<FieldList> &rows) const;

    // Room claims (roomclaims.cpp). ClaimRoom answers the occupancy query of
    // room for owner (a connection of station, when it named one): it drops
    // the earlier claims of owner and of station and every expired one, and
    // claims the room until expires when it is a free room of the hotel.
    ClaimOutcome ClaimRoom(qint64 room, const QString &owner, const QString &station, qint64 now,
                           qint64 expires);
    void ReleaseClaims(const QString &owner);
    // The claims that have not run out.
    int OpenClaims(qint64 now);
    // Seconds a claim lasts; a little over the stations' 30 s operation timeout.
    int ClaimTimeoutSeconds = 35;
    // Rooms with more than one open stay, found when the database was opened:
    // while there are any, the unique index on the open stays of a room cannot
    // be created.
    QList<qint64> RoomsWithSeveralOpenStays() const { return m_roomsWithSeveralOpenStays; }

    // Adding a room that exists already is no error. Gives the count of new rooms.
    int AddRooms(const QList<qint64> &rooms);
    QList<qint64> Rooms();
    QueryResult ReadAll(const TableDef &table);

protected:
    SqlBackend(const QString &driver, const QString &connectionName);

    // Sets host, file, user and options before the connection opens.
    virtual void Configure(QSqlDatabase &db) = 0;
    // Runs once the connection is open (pragmas and the like).
    virtual void AfterOpen() {}
    // Called inside the schema transaction, before the first CREATE.
    virtual void LockSchema() {}
    // Starts a transaction that will write.
    virtual QString BeginSql() const { return QStringLiteral("BEGIN"); }
    virtual QString IdColumnSql() const = 0;
    virtual QString TypeSql(ColumnType type) const = 0;

    // Prepares sql, binds values in order and runs it; raises on failure.
    // sql is always a fixed text of this program: values are never spliced in.
    QSqlQuery Run(const QString &sql, const QVariantList &values = {});
    // The same for the providers' statements, which run again and again: each
    // is prepared once per database connection and kept, so that a run only
    // binds its values. The query stays the backend's; it is good until the
    // next statement runs.
    QSqlQuery &RunPrepared(const QString &sql, const QVariantList &values = {});

    QSqlDatabase m_db;

private:
    // Opens the connection again when it was lost; false when it was fine or
    // cannot be opened.
    bool Reconnect();
    // Runs body in one transaction: committed when it gives true, undone when
    // it gives false or raises.
    void Transaction(const std::function<bool()> &body);
    void CreateSchema();
    // Creates the unique index on the open stays of a room, unless stays
    // already break it; those rooms are kept in m_roomsWithSeveralOpenStays.
    void EnsureOneOpenStayPerRoom();
    // Refuses guest rows for a room another connection has claimed.
    void CheckClaimsOfOthers(const FieldList &guestRow, const AppendContext &context);
    QueryResult Collect(QSqlQuery &query, const QList<ResultColumn> &columns);
    QVariant ToBound(const TableDef &table, const QString &column, const QJsonValue &value) const;
    bool InsertRow(const TableDef &table, const FieldList &fields, QString &error,
                   const AppendContext *context = nullptr);

    QString m_connectionName;
    bool m_inTransaction = false;
    // RunPrepared's statements by their text (a node map: a query stays put
    // while others are added).
    std::unordered_map<QString, QSqlQuery> m_prepared;
    QList<qint64> m_roomsWithSeveralOpenStays;
};

} // namespace lockserver

#include "sqlbackend.h"

#include "platform/errors.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace lockserver {
namespace {

QString DriverText(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

QJsonValue ToJson(const QVariant &value, ColumnType type)
{
    if (value.isNull())
        return QJsonValue::Null;
    switch (type) {
    case ColumnType::Integer: return QJsonValue(value.toLongLong());
    case ColumnType::DateTime:
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return value.toString();
    case ColumnType::Text: return value.toString();
    }
    return QJsonValue::Null;
}

QList<ResultColumn> ResultColumns(const TableDef &table)
{
    QList<ResultColumn> columns;
    for (const ColumnDef &c : table.columns)
        columns.append({c.name, c.type});
    return columns;
}

QVariant TypedNull(ColumnType type)
{
    return type == ColumnType::Integer ? QVariant(QMetaType::fromType<qlonglong>())
                                       : QVariant(QMetaType::fromType<QString>());
}

} // namespace

SqlBackend::SqlBackend(const QString &driver, const QString &connectionName)
    : m_db(QSqlDatabase::addDatabase(driver, connectionName)), m_connectionName(connectionName)
{
}

SqlBackend::~SqlBackend()
{
    Close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void SqlBackend::Open()
{
    if (!m_db.isValid())
        throw kx::Error(QStringLiteral("The Qt SQL driver for %1 is not installed").arg(Describe()));
    Configure(m_db);
    if (!m_db.open())
        throw kx::Error(QStringLiteral("Could not open the database %1: %2")
                            .arg(Describe(), DriverText(m_db.lastError())));
    AfterOpen();
    CreateSchema();
    EnsureOneOpenStayPerRoom();
}

void SqlBackend::Close()
{
    m_prepared.clear();
    if (m_db.isOpen())
        m_db.close();
}

QSqlQuery SqlBackend::Run(const QString &sql, const QVariantList &values)
{
    auto attempt = [&](QSqlQuery &query) {
        query.setForwardOnly(true);
        // Fixed texts without values run as they stand: PostgreSQL cannot
        // prepare DDL or savepoints. Every value goes in as a bound value.
        if (values.isEmpty())
            return query.exec(sql);
        if (!query.prepare(sql))
            return false;
        for (const QVariant &v : values)
            query.addBindValue(v);
        return query.exec();
    };
    QSqlQuery query(m_db);
    if (attempt(query))
        return query;
    // Outside a transaction a statement can simply run again once the
    // connection is back (a database server restart, for one).
    if (!m_inTransaction && Reconnect()) {
        QSqlQuery again(m_db);
        if (attempt(again))
            return again;
        throw kx::Error(QStringLiteral("Database error: %1").arg(DriverText(again.lastError())));
    }
    throw kx::Error(QStringLiteral("Database error: %1").arg(DriverText(query.lastError())));
}

QSqlQuery &SqlBackend::RunPrepared(const QString &sql, const QVariantList &values)
{
    QSqlError error;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto kept = m_prepared.find(sql);
        if (kept == m_prepared.end()) {
            QSqlQuery query(m_db);
            query.setForwardOnly(true);
            if (query.prepare(sql))
                kept = m_prepared.emplace(sql, std::move(query)).first;
            else
                error = query.lastError();
        }
        if (kept != m_prepared.end()) {
            QSqlQuery &query = kept->second;
            for (int i = 0; i < values.size(); ++i)
                query.bindValue(i, values[i]);
            if (query.exec())
                return query;
            error = query.lastError();
            m_prepared.erase(kept); // prepared afresh next time
        }
        // As in Run: outside a transaction the statement runs again once the
        // connection is back.
        if (attempt > 0 || m_inTransaction || !Reconnect())
            break;
    }
    throw kx::Error(QStringLiteral("Database error: %1").arg(DriverText(error)));
}

bool SqlBackend::Reconnect()
{
    QSqlQuery probe(m_db);
    if (m_db.isOpen() && probe.exec(QStringLiteral("SELECT 1")))
        return false; // the connection is fine: the failure was the statement's own
    m_prepared.clear();
    m_db.close();
    if (!m_db.open())
        return false;
    AfterOpen();
    return true;
}

void SqlBackend::Transaction(const std::function<bool()> &body)
{
    QSqlQuery begin(m_db);
    if (!begin.exec(BeginSql()) && !(Reconnect() && QSqlQuery(m_db).exec(BeginSql())))
        throw kx::Error(QStringLiteral("Database error: %1").arg(DriverText(begin.lastError())));
    m_inTransaction = true;
    bool commit = false;
    try {
        commit = body();
    } catch (...) {
        m_db.rollback();
        m_inTransaction = false;
        throw;
    }
    m_inTransaction = false;
    if (!commit) {
        m_db.rollback();
        return;
    }
    if (!m_db.commit()) {
        const QString text = DriverText(m_db.lastError());
        m_db.rollback();
        throw kx::Error(QStringLiteral("Database error: %1").arg(text));
    }
}

void SqlBackend::CreateSchema()
{
    Transaction([&] {
        LockSchema();
        for (const TableDef *table : AllTables()) {
            QStringList columns;
            for (const ColumnDef &c : table->columns) {
                QString column = c.name + u' ' + (c.autoId ? IdColumnSql() : TypeSql(c.type));
                if (c.primaryKey)
                    column += QStringLiteral(" PRIMARY KEY");
                if (c.notNullDefaultZero)
                    column += QStringLiteral(" NOT NULL DEFAULT 0");
                columns << column;
            }
            Run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                    .arg(table->name, columns.join(QStringLiteral(", "))));
        }
        Run(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS GuestInRecord_Room_enOverride ON GuestInRecord (Room, enOverride)"));
        Run(QStringLiteral("CREATE INDEX IF NOT EXISTS MakeCardRecord_Room_cardstatus ON MakeCardRecord "
                           "(Room, cardstatus)"));
        Run(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS MakeCardRecord_Rom_cardstatus ON MakeCardRecord (Rom, cardstatus)"));
        return true;
    });
}

QueryResult SqlBackend::Collect(QSqlQuery &query, const QList<ResultColumn> &columns)
{
    QueryResult result{columns, {}};
    while (query.next()) {
        QJsonArray row;
        for (int i = 0; i < columns.size(); ++i)
            row.append(ToJson(query.value(i), columns[i].type));
        result.rows.append(row);
    }
    if (query.lastError().isValid())
        throw kx::Error(QStringLiteral("Database error: %1").arg(DriverText(query.lastError())));
    query.finish(); // a kept statement holds no read lock between runs
    return result;
}

QueryResult SqlBackend::Query(const Statement &statement)
{
    const QList<ResultColumn> roomColumn{{QStringLiteral("room"), ColumnType::Integer}};
    // Every column of the table read, for the statements that select them all.
    const TableDef &table = TableRead(statement.id);
    const auto all = [&table] { return SelectList(table); };
    const auto allColumns = [&table] { return ResultColumns(table); };

    switch (statement.id) {
    case StatementId::RoomExists: {
        QSqlQuery &q = RunPrepared(QStringLiteral("SELECT %1 FROM roominfo WHERE room = ? LIMIT 1")
                                       .arg(QuotedAlias(QStringLiteral("room"), QStringLiteral("room"))),
                                   {statement.room});
        return Collect(q, roomColumn);
    }
    case StatementId::RoomOccupied: {
        QSqlQuery &q = RunPrepared(
            QStringLiteral("SELECT %1 FROM GuestInRecord WHERE enOverride = 0 AND Room = ? LIMIT 1")
                .arg(QuotedAlias(QStringLiteral("Room"), QStringLiteral("room"))),
            {statement.room});
        return Collect(q, roomColumn);
    }
    case StatementId::FirstCardRecord: {
        QSqlQuery &q =
            RunPrepared(QStringLiteral("SELECT %1 FROM MakeCardRecord ORDER BY ID LIMIT 1").arg(all()));
        return Collect(q, allColumns());
    }
    case StatementId::FirstGuestRecord: {
        QSqlQuery &q =
            RunPrepared(QStringLiteral("SELECT %1 FROM GuestInRecord ORDER BY ID LIMIT 1").arg(all()));
        return Collect(q, allColumns());
    }
    case StatementId::ValidCardsOfRom: {
        QSqlQuery &q = RunPrepared(
            QStringLiteral("SELECT %1 FROM MakeCardRecord WHERE cardstatus = 0 AND Rom = ? ORDER BY ID")
                .arg(all()),
            {statement.text});
        return Collect(q, allColumns());
    }
    case StatementId::OpenStay: {
        QSqlQuery &q = RunPrepared(
            QStringLiteral(
                "SELECT %1 FROM GuestInRecord WHERE enOverride = 0 AND Room = ? ORDER BY ID LIMIT 1")
                .arg(all()),
            {statement.room});
        return Collect(q, allColumns());
    }
    case StatementId::CloseStays:
    case StatementId::RevokeCards: break;
    }
    throw kx::Error(QStringLiteral("This statement returns no rows"));
}

int SqlBackend::Execute(const Statement &statement)
{
    switch (statement.id) {
    case StatementId::CloseStays:
        return RunPrepared(QStringLiteral("UPDATE GuestInRecord SET enOverride = 1, LeaveTime = ? WHERE Room "
                                          "= ? AND enOverride = 0"),
                           {statement.text, statement.room})
            .numRowsAffected();
    case StatementId::RevokeCards:
        return RunPrepared(QStringLiteral("UPDATE MakeCardRecord SET cardstatus = 1, Explain = ? WHERE Room "
                                          "= ? AND cardstatus = 0"),
                           {QStringLiteral("Revoke time:") + statement.text, statement.room})
            .numRowsAffected();
    default: throw kx::Error(QStringLiteral("This statement returns rows"));
    }
}

QVariant SqlBackend::ToBound(const TableDef &table, const QString &column, const QJsonValue &value) const
{
    const ColumnDef *def = table.Find(column);
    if (!def)
        throw kx::Error(QStringLiteral("Column '%1' does not exist in %2").arg(column, table.name));
    if (def->autoId)
        throw kx::Error(
            QStringLiteral("Column %1 of %2 is numbered by the database").arg(def->name, table.name));
    if (value.isNull() || value.isUndefined())
        return TypedNull(def->type);

    const QString shown = value.isString() ? value.toString() : QString::number(value.toDouble(), 'g', 17);
    switch (def->type) {
    case ColumnType::Integer: {
        static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]{1,10}$"));
        qint64 n = 0;
        bool ok = false;
        if (value.isDouble()) {
            const double d = value.toDouble();
            ok = d == std::floor(d) && std::abs(d) <= std::numeric_limits<qint32>::max();
            n = static_cast<qint64>(d);
        } else if (value.isString() && integer.match(value.toString().trimmed()).hasMatch()) {
            n = value.toString().trimmed().toLongLong();
            ok = n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
        }
        if (!ok)
            throw kx::Error(QStringLiteral("'%1' is not a valid integer for column %2 of %3")
                                .arg(shown, def->name, table.name));
        return n;
    }
    case ColumnType::Text:
        if (value.isString())
            return value.toString();
        if (value.isDouble())
            return shown;
        break;
    case ColumnType::DateTime:
        if (value.isString() && IsDateTimeText(value.toString()))
            return NormalizedDateTime(value.toString());
        break;
    }
    throw kx::Error(
        QStringLiteral("'%1' is not a valid %2 for column %3 of %4")
            .arg(shown,
                 def->type == ColumnType::DateTime ? QStringLiteral("date-time") : QStringLiteral("text"),
                 def->name, table.name));
}

bool SqlBackend::InsertRow(const TableDef &table, const FieldList &fields, QString &error,
                           const AppendContext *context)
{
    QStringList names;
    QVariantList values;
    try {
        for (const auto &[name, value] : fields) {
            const QVariant bound = ToBound(table, name, value);
            const QString canonical = table.Find(name)->name;
            const qsizetype at = names.indexOf(canonical);
            if (at >= 0) {
                values[at] = bound; // set twice: the last value stands
            } else {
                names << canonical;
                values << bound;
            }
        }
        if (context && &table == &GuestInRecordTable())
            CheckClaimsOfOthers(fields, *context);
        if (names.isEmpty()) {
            Run(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table.name));
        } else {
            QStringList marks(names.size(), QStringLiteral("?"));
            RunPrepared(
                QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(table.name, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                values);
        }
    } catch (const kx::Error &e) {
        error = e.text();
        return false;
    }
    return true;
}

QHash<int, QString> SqlBackend::CheckRows(const TableDef &table, const QList<FieldList> &rows) const
{
    QHash<int, QString> errors;
    for (int i = 0; i < rows.size(); ++i) {
        try {
            for (const auto &[name, value] : rows[i])
                ToBound(table, name, value);
        } catch (const kx::Error &e) {
            errors.insert(i, e.text());
        }
    }
    return errors;
}

AppendResult SqlBackend::Append(const TableDef &table, const QList<FieldList> &rows, int maxErrors,
                                const AppendContext &context)
{
    AppendResult result;
    // A failed statement spoils a PostgreSQL transaction; a savepoint per row
    // keeps the other rows when failures are allowed.
    const bool keepOthers = maxErrors != 0;
    Transaction([&] {
        // The card records held for this check-in go first; when one of them
        // cannot be stored, neither it nor the guest record is.
        for (const FieldList &card : context.heldCardRows) {
            QString error;
            if (!InsertRow(MakeCardRecordTable(), card, error))
                throw kx::Error(
                    QStringLiteral("The card record of this check-in was not stored: %1").arg(error));
        }
        for (int i = 0; i < rows.size(); ++i) {
            QString error;
            if (keepOthers)
                Run(QStringLiteral("SAVEPOINT append_row"));
            const bool stored = InsertRow(table, rows[i], error, &context);
            if (keepOthers)
                Run(stored ? QStringLiteral("RELEASE SAVEPOINT append_row")
                           : QStringLiteral("ROLLBACK TO SAVEPOINT append_row"));
            if (stored)
                continue;
            ++result.errorCount;
            result.failedRows << i;
            result.errors << error;
            if (maxErrors >= 0 && result.errorCount > maxErrors)
                return false;
        }
        // The guest record ends the check-in: the connection's claim has done its work.
        if (&table == &GuestInRecordTable() && !context.owner.isEmpty())
            Run(QStringLiteral("DELETE FROM RoomClaim WHERE Owner = ?"), {context.owner});
        result.committed = true;
        return true;
    });
    return result;
}

int SqlBackend::AddRooms(const QList<qint64> &rooms)
{
    int added = 0;
    Transaction([&] {
        for (qint64 room : rooms)
            added +=
                Run(QStringLiteral("INSERT INTO roominfo (room) VALUES (?) ON CONFLICT DO NOTHING"), {room})
                    .numRowsAffected();
        return true;
    });
    return added;
}

QList<qint64> SqlBackend::Rooms()
{
    QSqlQuery q = Run(QStringLiteral("SELECT room FROM roominfo ORDER BY room"));
    QList<qint64> rooms;
    while (q.next())
        rooms << q.value(0).toLongLong();
    return rooms;
}

QueryResult SqlBackend::ReadAll(const TableDef &table)
{
    QSqlQuery q = Run(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                          .arg(SelectList(table), table.name, table.columns.first().name));
    return Collect(q, ResultColumns(table));
}

} // namespace lockserver

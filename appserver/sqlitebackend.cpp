#include "sqlitebackend.h"

#include "platform/errors.h"

#include <QSqlQuery>

namespace lockserver {

namespace {
constexpr int BusyTimeoutMs = 10000;
}

SqliteBackend::SqliteBackend(const QString &path)
    : SqlBackend(QStringLiteral("QSQLITE"), QStringLiteral("lockserver-sqlite")), m_path(path)
{
}

QString SqliteBackend::Describe() const
{
    return QStringLiteral("sqlite:") + m_path;
}

void SqliteBackend::Configure(QSqlDatabase &db)
{
    db.setDatabaseName(m_path);
    // The driver sets the busy timeout on every open, reconnections included.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
}

void SqliteBackend::AfterOpen()
{
    // journal_mode answers with the mode in force; anything but "wal" means the
    // file cannot keep a write-ahead log (for example on a read-only folder).
    QSqlQuery mode = Run(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode.next() || mode.value(0).toString().compare(QStringLiteral("wal"), Qt::CaseInsensitive) != 0)
        throw kx::Error(QStringLiteral("Could not switch %1 to write-ahead logging").arg(Describe()));
    Run(QStringLiteral("PRAGMA synchronous=FULL"));
}

QString SqliteBackend::IdColumnSql() const
{
    return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
}

QString SqliteBackend::TypeSql(ColumnType type) const
{
    switch (type) {
    case ColumnType::Integer: return QStringLiteral("INTEGER");
    case ColumnType::Text: return QStringLiteral("TEXT");
    case ColumnType::DateTime: return QStringLiteral("TIMESTAMP");
    }
    return QString();
}

} // namespace lockserver

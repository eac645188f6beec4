#include "sqlitebackend.h"

#include "platform/errors.h"

#include <QFile>
#include <QSqlQuery>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lockserver {

namespace {
constexpr int BusyTimeoutMs = 10000;
}

SqliteBackend::SqliteBackend(const QString &path)
    : SqlBackend(QStringLiteral("QSQLITE"), QStringLiteral("lockserver-sqlite")), m_path(path)
{
}

qint64 SqliteBackend::DatabaseSize()
{
    QSqlQuery size =
        Run(QStringLiteral("SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()"));
    return size.next() ? size.value(0).toLongLong() : 0;
}

QString SqliteBackend::Describe() const
{
    return QStringLiteral("sqlite:") + m_path;
}

void SqliteBackend::PrepareFile()
{
    // The file holds guest names. Made here for its owner only; SQLite gives
    // its -wal and -shm files the same mode, so a group set on the file (for
    // backups, with chmod 640) carries over to them too.
    if (m_path.startsWith(u':') || m_path.startsWith(QStringLiteral("file:")))
        return; // an in-memory database or a URI: no plain file to make
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    struct stat info;
    if (::stat(path.constData(), &info) == 0 && (info.st_mode & (S_IROTH | S_IWOTH))) {
        std::fprintf(stderr,
                     "lockserver: warning: %s can be read by every user of this computer; chmod 600 %s\n",
                     path.constData(), path.constData());
        std::fflush(stderr);
    }
}

void SqliteBackend::Configure(QSqlDatabase &db)
{
    if (!m_prepared) {
        PrepareFile();
        m_prepared = true;
    }
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

#include "languagedatabase.h"

#include "languagestatements.h"
#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace kx {

namespace {

// The engine's own words for an error, with Qt's summary only when the engine gave none.
[[noreturn]] void Raise(const QSqlError &error)
{
    const QString text = error.databaseText().trimmed();
    throw DatabaseError(text.isEmpty() ? error.text().trimmed() : text);
}

QString NextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("kandrilox-language-%1").arg(++counter);
}

} // namespace

QString ToSqliteDialect(const QString &statement)
{
    static const QRegularExpression identity(QStringLiteral("\\bint\\s+identity\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    return QString(statement).replace(identity, QStringLiteral("INTEGER"));
}

LanguageDatabase::LanguageDatabase(const QString &filePath)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), NextConnectionName());
    m_db.setDatabaseName(filePath);
    try {
        if (QFileInfo::exists(filePath)) {
            Open();
            return;
        }
        Open();
        try {
            CreateTables();
        } catch (...) {
            // Leave no half-made file behind: the next start creates it again.
            m_db.close();
            QFile::remove(filePath);
            throw;
        }
    } catch (...) {
        const QString name = m_db.connectionName();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw;
    }
}

LanguageDatabase::~LanguageDatabase()
{
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

void LanguageDatabase::Open()
{
    // SQLite takes an empty file for an empty database; a language database
    // always holds its tables, so an empty file is as damaged as any other.
    const QFileInfo file(m_db.databaseName());
    if (file.exists() && file.isFile() && file.size() == 0)
        throw DatabaseError(QStringLiteral("file is not a database"));
    if (!m_db.open())
        Raise(m_db.lastError());
    // SQLite reads the file only when asked; ask now, so that a file that is
    // not a database fails here. The header read changes nothing.
    QSqlQuery probe(m_db);
    if (!probe.exec(QStringLiteral("PRAGMA schema_version")))
        Raise(probe.lastError());
}

void LanguageDatabase::CreateTables()
{
    Begin();
    try {
        Execute(CreateComponentTableStatement());
        Execute(CreateDialogTableStatement());
        Commit();
    } catch (...) {
        Rollback();
        throw;
    }
}

void LanguageDatabase::Execute(const QString &statement)
{
    QSqlQuery query(m_db);
    if (!query.exec(ToSqliteDialect(statement)))
        Raise(query.lastError());
}

QList<QSqlRecord> LanguageDatabase::Select(const QString &statement)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.exec(ToSqliteDialect(statement)))
        Raise(query.lastError());
    QList<QSqlRecord> rows;
    while (query.next())
        rows.append(query.record());
    if (query.lastError().isValid())
        Raise(query.lastError());
    return rows;
}

void LanguageDatabase::Append(const QString &table, const QList<QPair<QString, QVariant>> &columns)
{
    QStringList names;
    QStringList marks;
    for (const auto &column : columns) {
        names.append(column.first);
        marks.append(QStringLiteral("?"));
    }
    QSqlQuery query(m_db);
    const QString statement =
        QStringLiteral("insert into %1 (%2) values (%3)").arg(table, names.join(u','), marks.join(u','));
    if (!query.prepare(statement))
        Raise(query.lastError());
    for (const auto &column : columns)
        query.addBindValue(column.second);
    if (!query.exec())
        Raise(query.lastError());
}

void LanguageDatabase::Begin()
{
    if (!m_db.transaction())
        Raise(m_db.lastError());
}

void LanguageDatabase::Commit()
{
    if (!m_db.commit())
        Raise(m_db.lastError());
}

void LanguageDatabase::Rollback()
{
    m_db.rollback();
}

} // namespace kx

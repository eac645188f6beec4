#pragma once

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

namespace kx {

// The language database file on SQLite through QtSql. Statements are written
// in the Jet dialect of the original Access file; Execute maps them where
// SQLite differs. Every failure raises DatabaseError with the engine's text.
class LanguageDatabase
{
public:
    // Opens the file, or, when it is missing, creates it with both tables.
    // Each database has a connection of its own, open until destruction.
    explicit LanguageDatabase(const QString &filePath);
    ~LanguageDatabase();
    LanguageDatabase(const LanguageDatabase &) = delete;
    LanguageDatabase &operator=(const LanguageDatabase &) = delete;

    QString ConnectionName() const { return m_db.connectionName(); }
    QString FilePath() const { return m_db.databaseName(); }

    // Runs a statement and drops whatever it returns.
    void Execute(const QString &statement);
    // Runs a selecting statement and gives its rows in the engine's order.
    QList<QSqlRecord> Select(const QString &statement);
    // Adds one row to table, the values bound to the named columns.
    void Append(const QString &table, const QList<QPair<QString, QVariant>> &columns);

    // Changes between Begin and Commit are kept together or not at all.
    void Begin();
    void Commit();
    void Rollback();

private:
    void Open();
    void CreateTables();

    QSqlDatabase m_db;
};

// The statement as SQLite reads it: an "int identity" key becomes an
// auto-numbered integer key; everything else is left as it is.
QString ToSqliteDialect(const QString &statement);

} // namespace kx

#pragma once

#include "sqlbackend.h"

namespace lockserver {

// The embedded lock database: one SQLite file, created with its tables on first
// use. Write-ahead log with full sync so that a commit survives a crash, and a
// busy timeout so that several lockservers can share the file.
class SqliteBackend : public SqlBackend
{
public:
    explicit SqliteBackend(const QString &path);
    QString Describe() const override;
    qint64 DatabaseSize() override;

protected:
    void Configure(QSqlDatabase &db) override;
    void AfterOpen() override;
    // Takes the write lock at once: a transaction that reads first and writes
    // later could find another lockserver's write in between and fail.
    QString BeginSql() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString IdColumnSql() const override;
    QString TypeSql(ColumnType type) const override;

private:
    // Creates a missing file readable by its owner only; warns about one that
    // every user may read.
    void PrepareFile();

    QString m_path;
    bool m_prepared = false;
};

} // namespace lockserver

#pragma once

#include "sqlbackend.h"

namespace lockserver {

struct PostgresAddress
{
    QString user;
    QString password;
    QString host;
    int port = 5432;
    QString database;
};

// A shared lock database on a PostgreSQL server, for many encoder stations.
// Names are unquoted, so they fold to lower case and match in any letter case.
class PostgresBackend : public SqlBackend
{
public:
    explicit PostgresBackend(const PostgresAddress &address);
    QString Describe() const override;
    qint64 DatabaseSize() override;

protected:
    void Configure(QSqlDatabase &db) override;
    void AfterOpen() override;
    void LockSchema() override;
    QString IdColumnSql() const override;
    QString TypeSql(ColumnType type) const override;

private:
    PostgresAddress m_address;
};

} // namespace lockserver

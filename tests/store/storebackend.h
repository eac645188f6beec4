#pragma once

#include "common/tempfolder.h"
#include "lockserverprocess.h"
#include "platform/errors.h"
#include "store/clientdataset.h"
#include "store/dmrmt.h"
#include "store/socketconnection.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

// Runs each test against a real lockserver on each backend: a SQLite file in a
// temporary folder, and PostgreSQL when KANDRILOX_TEST_POSTGRES_URL names one
// (scripts/test-postgres.sh start). Rooms 101 to 103 exist; no records do.
class StoreBackendTest : public ::testing::TestWithParam<QString>
{
protected:
    void SetUp() override
    {
        if (GetParam() == u"postgresql") {
            const QString base = qEnvironmentVariable("KANDRILOX_TEST_POSTGRES_URL");
            if (base.isEmpty())
                GTEST_SKIP()
                    << "KANDRILOX_TEST_POSTGRES_URL is not set (scripts/test-postgres.sh start gives one)";
            CreatePostgresDatabase(QUrl(base));
            if (IsSkipped() || HasFatalFailure())
                return;
        } else {
            m_url = QStringLiteral("sqlite:") + m_folder.file(QStringLiteral("lock.db"));
        }
        QString output;
        ASSERT_EQ(
            LockServerProcess::RunCommand(
                m_url, {QStringLiteral("rooms"), QStringLiteral("add"), QStringLiteral("101-103")}, &output),
            0)
            << output.toStdString();
        m_server = std::make_unique<LockServerProcess>(m_url, ServerArguments());
        ASSERT_NE(m_server->Start(), 0) << m_server->Output().toStdString();
        m_connection.Address = QStringLiteral("127.0.0.1");
        m_connection.Port = m_server->Port();
        m_connection.SetServerName(LockServerName);
    }

    // Options the lockserver is started with besides its address and database.
    virtual QStringList ServerArguments() const { return {}; }

    // Everything "lockserver records" prints.
    QString Records() const
    {
        QString output;
        LockServerProcess::RunCommand(m_url, {QStringLiteral("records")}, &output);
        return output;
    }

    TempFolder m_folder;
    QString m_url;
    std::unique_ptr<LockServerProcess> m_server;
    TSocketConnection m_connection;

    void TearDown() override
    {
        m_server.reset();
        if (!m_database.isEmpty())
            AdminStatement(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database));
    }

private:
    // Tests run in parallel: each gets a database of its own beside the one
    // the URL names, dropped again after the test.
    void CreatePostgresDatabase(const QUrl &base)
    {
        static int counter = 0;
        m_admin = base;
        const QString name =
            QStringLiteral("kandrilox_store_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        QString error = AdminStatement(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
        if (error.isEmpty())
            error = AdminStatement(QStringLiteral("CREATE DATABASE %1").arg(name));
        if (!error.isEmpty())
            GTEST_SKIP() << "PostgreSQL at KANDRILOX_TEST_POSTGRES_URL cannot give this test a database: "
                         << error.toStdString();
        m_database = name;
        QUrl url = base;
        url.setPath(u'/' + name);
        m_url = url.toString();
    }

    // Runs sql on the database the URL names; gives the error text, empty on success.
    QString AdminStatement(const QString &sql)
    {
        QString error;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("store-test-admin"));
            db.setHostName(m_admin.host());
            db.setPort(m_admin.port(5432));
            db.setDatabaseName(m_admin.path().mid(1));
            db.setUserName(m_admin.userName());
            db.setPassword(m_admin.password());
            QSqlQuery q(db);
            if (!db.open())
                error = db.lastError().text();
            else if (!q.exec(sql))
                error = q.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("store-test-admin"));
        return error;
    }

    QUrl m_admin;
    QString m_database;
};

// Closes the dataset, sets its command and opens it, as the card operations do.
inline void Reopen(TClientDataSet &ds, const QString &sql)
{
    ds.Close();
    ds.SetCommandText(sql);
    ds.Open();
}

// The text of the kx::StoreError the operation raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const kx::StoreError &e) {
        return e.what();
    }
    return "(no error)";
}

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << text.toStdString();
}

inline std::string BackendName(const ::testing::TestParamInfo<QString> &info)
{
    return info.param.toStdString();
}

#define KANDRILOX_ON_EVERY_BACKEND(suite)                                                                    \
    INSTANTIATE_TEST_SUITE_P(Backends, suite,                                                                \
                             ::testing::Values(QStringLiteral("sqlite"), QStringLiteral("postgresql")),      \
                             BackendName)

#pragma once

#include "common/tempfolder.h"
#include "lockserverprocess.h"
#include "store/dmrmt.h"
#include "store/socketconnection.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <gtest/gtest.h>

// Runs each test against a real lockserver on each backend: a SQLite file in a
// temporary folder, and PostgreSQL when KANDRILOX_TEST_POSTGRES_URL names one
// (scripts/test-postgres.sh start). Rooms 101 to 103 exist; no records do.
class StoreBackendTest : public ::testing::TestWithParam<QString>
{
protected:
    void SetUp() override
    {
        if (GetParam() == u"postgresql") {
            m_url = qEnvironmentVariable("KANDRILOX_TEST_POSTGRES_URL");
            if (m_url.isEmpty())
                GTEST_SKIP()
                    << "KANDRILOX_TEST_POSTGRES_URL is not set (scripts/test-postgres.sh start gives one)";
            QString output;
            if (LockServerProcess::RunCommand(m_url, {QStringLiteral("rooms"), QStringLiteral("list")},
                                              &output) != 0)
                GTEST_SKIP() << "PostgreSQL at KANDRILOX_TEST_POSTGRES_URL is not reachable: "
                             << output.toStdString();
            ClearPostgres();
        } else {
            m_url = QStringLiteral("sqlite:") + m_folder.file(QStringLiteral("lock.db"));
        }
        QString output;
        ASSERT_EQ(
            LockServerProcess::RunCommand(
                m_url, {QStringLiteral("rooms"), QStringLiteral("add"), QStringLiteral("101-103")}, &output),
            0)
            << output.toStdString();
        m_server = std::make_unique<LockServerProcess>(m_url);
        ASSERT_NE(m_server->Start(), 0) << m_server->Output().toStdString();
        m_connection.Address = QStringLiteral("127.0.0.1");
        m_connection.Port = m_server->Port();
        m_connection.SetServerName(LockServerName);
    }

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

private:
    void ClearPostgres()
    {
        const QUrl url(m_url);
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("store-test-clear"));
            db.setHostName(url.host());
            db.setPort(url.port(5432));
            db.setDatabaseName(url.path().mid(1));
            db.setUserName(url.userName());
            db.setPassword(url.password());
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery q(db);
            ASSERT_TRUE(
                q.exec(QStringLiteral("TRUNCATE roominfo, guestinrecord, makecardrecord RESTART IDENTITY")))
                << q.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("store-test-clear"));
    }
};

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

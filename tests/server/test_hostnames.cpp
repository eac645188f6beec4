#include "common/tempfolder.h"
#include "coreapplication.h"
#include "frames.h"
#include "recorders.h"

#include "platform/programfolder.h"
#include "platform/requestthread.h"
#include "server/connectionlog.h"
#include "server/hostnames.h"
#include "server/interfaceserver.h"
#include "server/logwriter.h"

#include <QHash>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

using namespace testframes;

namespace {

// A resolver that answers only once the test opens it (or after 30 s), with
// the names it was given, and counts its lookups per address. Its state is
// shared with the lookup threads, which may outlive the test.
class HeldResolver
{
public:
    HeldResolver(QHash<QString, QString> names) : m_state(std::make_shared<State>())
    {
        m_state->names = std::move(names);
    }
    ~HeldResolver() { Open(); }

    kx::HostNames::Resolver Resolver() const
    {
        return [state = m_state](const QHostAddress &address) {
            std::unique_lock lock(state->mutex);
            ++state->calls[address.toString()];
            state->changed.wait_for(lock, std::chrono::seconds(30), [&] { return state->open; });
            return state->names.value(address.toString());
        };
    }
    void Open()
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->open = true;
        m_state->changed.notify_all();
    }
    int Calls(const QString &address) const
    {
        const std::lock_guard lock(m_state->mutex);
        return m_state->calls.value(address);
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
        QHash<QString, QString> names;
        QHash<QString, int> calls;
    };
    std::shared_ptr<State> m_state;
};

class HostNamesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    QStringList Operations() const
    {
        QStringList operations;
        for (int row = 0; row < m_log.rowCount(); ++row)
            operations << m_log.Row(row).at(kx::ConnectionLog::OperationColumn);
        return operations;
    }
    QStringList Hosts() const
    {
        QStringList hosts;
        for (int row = 0; row < m_log.rowCount(); ++row)
            hosts << m_log.Row(row).at(kx::ConnectionLog::HostColumn);
        return hosts;
    }

    const QHostAddress m_desk{QStringLiteral("127.0.0.1")};
    const QHostAddress m_other{QStringLiteral("127.0.0.2")};
    HeldResolver m_resolver{{{"127.0.0.1", "desk-1"}, {"127.0.0.2", QString()}}};
    kx::ConnectionLog m_log;
};

// A resolver that does not answer costs the front desk nothing: the check-in
// is answered while the lookup is still held, and the rows follow, in order
// and with the name, once it answers.
TEST_F(HostNamesTest, CheckInIsAnsweredWhileThePeersNameIsStillBeingLookedUp)
{
    TempFolder home;
    const kx::ProgramFolder folder(home.path());
    QStringList journal;
    RecordingCardOperations ops(journal);
    RecordingNotifier notifier;
    kx::RequestThread requests;
    kx::HostNames names(m_resolver.Resolver(), 30000);
    kx::InterfaceServer server(ops, requests, folder, m_log, names, notifier);
    server.Listen(QHostAddress::LocalHost, 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.ServerPort());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(CheckInExample);
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.bytesAvailable() >= 7; }, 15000));
    EXPECT_EQ(ToHex(client.readAll()), "02 00 00 00 00 00 03");
    EXPECT_EQ(m_resolver.Calls("127.0.0.1"), 1);
    EXPECT_EQ(m_log.rowCount(), 0);

    m_resolver.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_log.rowCount() == 2; }));
    EXPECT_EQ(Operations(), QStringList({"Client connection", "Guest check in ok"}));
    EXPECT_EQ(Hosts(), QStringList({"desk-1", "desk-1"}));
}

// Rows wait for a name no longer than the row wait, and then go in their
// order without it. An answer, "no name" too, is kept: later rows of the
// address are written at once, with no further lookup.
TEST_F(HostNamesTest, RowsWaitBoundedInOrderAndAnswersAreKept)
{
    kx::HostNames names(m_resolver.Resolver(), 200);
    kx::LogWriter writer(m_log, names);
    writer.AddLogRow(m_desk, "one");
    writer.AddLogRow(m_other, "two");
    writer.AddLogRow(m_desk, "three");
    EXPECT_EQ(m_log.rowCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_log.rowCount() == 3; }));
    EXPECT_EQ(Operations(), QStringList({"one", "two", "three"}));
    EXPECT_EQ(Hosts(), QStringList({"", "", ""}));

    m_resolver.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return names.Find(m_desk) && names.Find(m_other); }));
    writer.AddLogRow(m_other, "four");
    writer.AddLogRow(m_desk, "five");
    EXPECT_EQ(m_log.rowCount(), 5);
    EXPECT_EQ(Hosts().mid(3), QStringList({"", "desk-1"}));
    EXPECT_EQ(m_resolver.Calls("127.0.0.1"), 1);
    EXPECT_EQ(m_resolver.Calls("127.0.0.2"), 1);
}

// Rows still waiting when the server closes are written then, not lost.
TEST_F(HostNamesTest, FlushWritesTheWaitingRows)
{
    kx::HostNames names(m_resolver.Resolver(), 30000);
    kx::LogWriter writer(m_log, names);
    writer.AddLogRow(m_desk, "one");
    writer.AddLogRow(m_other, "two");
    writer.Flush();
    EXPECT_EQ(Operations(), QStringList({"one", "two"}));
}

} // namespace

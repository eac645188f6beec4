// What one peer, or many, can make lockserver hold: a message that never
// completes, more connections than the limit, no descriptors left.

#include "common/tempfolder.h"
#include "lockserverprocess.h"
#include "rawpeer.h"
#include "store/dmrmt.h"
#include "store/lockprotocol.h"
#include "store/socketconnection.h"
#include "storebackend.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

#include <sys/resource.h>

namespace {

namespace proto = kx::lockprotocol;

// Polls done() for up to ten seconds.
bool WaitFor(const std::function<bool()> &done)
{
    for (int i = 0; i < 100; ++i) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return false;
}

class LockServerLimitsTest : public ::testing::Test
{
protected:
    void Start(const QStringList &extra)
    {
        m_server = std::make_unique<LockServerProcess>(
            QStringLiteral("sqlite:") + m_folder.file(QStringLiteral("lock.db")), extra);
        ASSERT_NE(m_server->Start(), 0) << m_server->Output().toStdString();
    }

    bool StationIsServed()
    {
        TSocketConnection station;
        station.Address = QStringLiteral("127.0.0.1");
        station.Port = m_server->Port();
        station.SetServerName(LockServerName);
        station.OperationTimeoutMs = 5000;
        try {
            station.Open();
            return true;
        } catch (const kx::Error &) {
            return false;
        }
    }

    TempFolder m_folder;
    std::unique_ptr<LockServerProcess> m_server;
};

TEST_F(LockServerLimitsTest, HelloOrMessageThatDoesNotArriveWholeClosesTheConnection)
{
    Start({QStringLiteral("--message-timeout"), QStringLiteral("1")});
    RawPeer silent(m_server->Port()); // never says hello
    RawPeer halfSent(m_server->Port());
    ASSERT_TRUE(halfSent
                    .Call(QJsonObject{{QStringLiteral("op"), QStringLiteral("hello")},
                                      {QStringLiteral("server"), LockServerName}})
                    .value(QStringLiteral("ok"))
                    .toBool());
    QByteArray header(4, '\0');
    qToBigEndian<quint32>(proto::MaxMessageSize, header.data());
    halfSent.Socket().write(header + QByteArray(1000, ' ')); // a 1 MiB message that stops after 1000 bytes
    halfSent.Socket().flush();

    EXPECT_TRUE(silent.ClosedWithin(10000));
    EXPECT_TRUE(halfSent.ClosedWithin(10000));
    EXPECT_TRUE(
        testproc::WaitForOutput(*m_server, QStringLiteral("a message did not arrive whole within 1 s")))
        << m_server->Output().toStdString();
    EXPECT_TRUE(m_server->Output().contains(QStringLiteral("no hello arrived within 1 s")));
    EXPECT_TRUE(StationIsServed());
}

TEST_F(LockServerLimitsTest, ConnectionsBeyondTheLimitGetARefusal)
{
    Start({QStringLiteral("--max-connections"), QStringLiteral("3")});
    std::vector<std::unique_ptr<RawPeer>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<RawPeer>(m_server->Port()));
        ASSERT_TRUE(held.back()->greeting.value(QStringLiteral("ok")).toBool());
    }
    RawPeer extra(m_server->Port());
    EXPECT_EQ(extra.greeting.value(QStringLiteral("error")).toString(),
              "The records store serves at most 3 connections at once; try again later");
    EXPECT_TRUE(extra.ClosedWithin(5000));
    EXPECT_FALSE(StationIsServed());

    held.pop_back(); // one goes away: a station is served again
    EXPECT_TRUE(WaitFor([&] { return StationIsServed(); }));
}

// User and system CPU time of a process, in clock ticks.
long CpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong(); // utime, stime
}

TEST_F(LockServerLimitsTest, NoDescriptorsLeftPausesAcceptingWithoutSpinning)
{
    Start({});
    const qint64 pid = m_server->Process().processId();
    const struct rlimit few = {40, 40};
    ASSERT_EQ(::prlimit(pid_t(pid), RLIMIT_NOFILE, &few, nullptr), 0);

    std::vector<std::unique_ptr<QTcpSocket>> flood;
    for (int i = 0; i < 60; ++i) {
        flood.push_back(std::make_unique<QTcpSocket>());
        flood.back()->connectToHost(QStringLiteral("127.0.0.1"), m_server->Port());
        flood.back()->waitForConnected(5000);
    }
    ASSERT_TRUE(testproc::WaitForOutput(*m_server, QStringLiteral("cannot accept connections")))
        << m_server->Output().toStdString() << " descriptors: "
        << QDir(QStringLiteral("/proc/%1/fd").arg(pid))
               .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
               .size();
    const long before = CpuTicks(pid);
    QThread::sleep(2);
    const long used = CpuTicks(pid) - before;
    EXPECT_LT(used, 50) << "ticks of CPU in 2 s while descriptors ran out (a busy loop takes about 200)";

    flood.clear();
    EXPECT_TRUE(WaitFor([&] { return StationIsServed(); })) << m_server->Output().toStdString();
    EXPECT_EQ(m_server->Output().count(QStringLiteral("cannot accept connections")), 1) << "said once";
}

} // namespace

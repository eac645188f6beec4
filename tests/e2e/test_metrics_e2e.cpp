#include "common/httpget.h"
#include "e2efixture.h"
#include "store/clientdataset.h"
#include "store/dmrmt.h"

using testhttp::Get;
using testhttp::Sample;

// The whole system with both metrics endpoints on free loopback ports.
class MetricsEndToEnd : public EndToEnd
{
protected:
    void SetUp() override
    {
        system.kandriloxArguments = {QStringLiteral("--metrics"), QStringLiteral("0")};
        system.lockServerArguments = {QStringLiteral("--metrics"), QStringLiteral("0")};
        EndToEnd::SetUp();
        ASSERT_NE(system.KandriloxMetricsPort(), 0);
        ASSERT_NE(system.LockServerMetricsPort(), 0);
    }

    QByteArray StationMetrics()
    {
        return Get(system.KandriloxMetricsPort(), QStringLiteral("/metrics")).body;
    }
    QByteArray ServerMetrics()
    {
        return Get(system.LockServerMetricsPort(), QStringLiteral("/metrics")).body;
    }
    testhttp::Reply StationHealth() { return Get(system.KandriloxMetricsPort(), QStringLiteral("/healthz")); }
};

TEST_F(MetricsEndToEnd, CheckInFailedCheckInAndCardReadMoveTheirCountersWithoutGuestData)
{
    ASSERT_EQ(CheckIn("101", "Zebulon"), ResultReply(0));
    ASSERT_EQ(CheckIn("999"), ResultReply(18)); // no such room
    ASSERT_EQ(Read().size(), 27 + 3 + 7);       // room 101, holder Zebulon

    const QByteArray station = StationMetrics();
    EXPECT_EQ(Sample(station, R"(kandrilox_requests_total{kind="checkin",code="0"})"), 1);
    EXPECT_EQ(Sample(station, R"(kandrilox_requests_total{kind="checkin",code="18"})"), 1);
    EXPECT_EQ(Sample(station, R"(kandrilox_requests_total{kind="read",code="0"})"), 1);
    EXPECT_EQ(Sample(station, R"(kandrilox_request_duration_seconds_count{kind="checkin"})"), 2);
    EXPECT_EQ(Sample(station, R"(kandrilox_encoder_call_duration_seconds_count{call="MakeGuestCard"})"), 1);
    EXPECT_GE(Sample(station, R"(kandrilox_encoder_call_duration_seconds_count{call="ReadCard"})"), 2);
    // The room checks and the holder look-up one by one; each record's
    // one-row open goes out with its apply.
    EXPECT_GE(Sample(station, R"(kandrilox_store_call_duration_seconds_count{call="open"})"), 3);
    EXPECT_EQ(Sample(station, R"(kandrilox_store_call_duration_seconds_count{call="open+apply"})"), 2);
    EXPECT_EQ(Sample(station, "kandrilox_store_link_up"), 1);
    EXPECT_EQ(Sample(station, "kandrilox_listener_up"), 1);
    EXPECT_EQ(Sample(station, "kandrilox_connections"), 1);

    const QByteArray server = ServerMetrics();
    EXPECT_EQ(Sample(server, R"(lockserver_statements_total{provider="dsp_writemakerecord",op="apply"})"), 1);
    EXPECT_EQ(Sample(server, R"(lockserver_statements_total{provider="dsp_writecheckinrecord",op="apply"})"),
              1);
    EXPECT_GE(Sample(server, R"(lockserver_statements_total{provider="dsp_public",op="open"})"), 3);
    EXPECT_GE(Sample(server, R"(lockserver_requests_total{op="hello",result="ok"})"), 1);
    EXPECT_EQ(Sample(server, "lockserver_connections"), 1);
    EXPECT_GT(Sample(server, "lockserver_database_size_bytes"), 0);
    EXPECT_EQ(Get(system.LockServerMetricsPort(), QStringLiteral("/healthz")).status, 200);

    for (const QByteArray &text : {station, server}) {
        EXPECT_FALSE(text.contains("Zebulon"));
        EXPECT_FALSE(text.contains("78563412")); // the card's serial
    }
}

TEST_F(MetricsEndToEnd, HealthTurnsUnavailableWhileTheLockServerIsStoppedAndServingOnceItIsBack)
{
    ASSERT_EQ(StationHealth().status, 200);
    const quint16 lockPort = system.LockServerPort();
    system.StopLockServer();

    // The check-in fails in its room check and gets no reply.
    system.Connection().write(frontdesk::CheckInFrame(Stay("102")));
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return StationHealth().status == 503; }));
    EXPECT_EQ(StationHealth().body, "the last records-store call (connect) failed\n");
    EXPECT_EQ(Sample(StationMetrics(), R"(kandrilox_requests_total{kind="checkin",code="error"})"), 1);
    EXPECT_EQ(Sample(StationMetrics(), "kandrilox_store_link_up"), 0);

    ASSERT_TRUE(system.StartLockServer(lockPort)) << system.error().toStdString();
    ASSERT_EQ(CheckIn("102"), ResultReply(0));
    EXPECT_EQ(StationHealth().status, 200);
    EXPECT_EQ(Sample(StationMetrics(), "kandrilox_store_link_up"), 1);
}

TEST_F(MetricsEndToEnd, OpenRoomClaimsAreCountedWhileACheckInHoldsOneAndNotAfter)
{
    const auto claims = [&] { return Sample(ServerMetrics(), "lockserver_room_claims_open"); };
    EXPECT_EQ(claims(), 0);

    {
        // A station's room check claims the free room until its connection closes.
        TSocketConnection store;
        store.Address = QStringLiteral("127.0.0.1");
        store.Port = system.LockServerPort();
        store.SetServerName(LockServerName);
        TClientDataSet pub{store, QStringLiteral("dsp_public")};
        pub.SetCommandText(
            QStringLiteral("select top 1 room from GuestInRecord Where (enOverride=0) And(Room =102)"));
        pub.Open();
        ASSERT_TRUE(pub.IsEmpty()) << "room 102 is free";
        EXPECT_TRUE(LockSystem::WaitUntil([&] { return claims() == 1; }));
    }
    EXPECT_TRUE(LockSystem::WaitUntil([&] { return claims() == 0; }));
}

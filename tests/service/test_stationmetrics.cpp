#include "common/httpget.h"
#include "service/stationmetrics.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

TEST(StationMetrics, RequestsAreCountedByKindAndCodeWithTheirLatency)
{
    kx::StationMetrics station;
    station.RequestServed('I', 0, 3ms);
    station.RequestServed('I', 18, 1ms);
    station.RequestServed('E', 0, 1ms);
    station.RequestServed('G', kx::Recorder::NoReply, 0ms);
    station.RequestServed(0, kx::Recorder::NoReply, 0ms);
    station.RequestServed('B', kx::Recorder::RaisedError, 2ms);
    station.ConnectionsChanged(2);

    const QByteArray text = station.Registry().Render();
    using testhttp::Sample;
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="checkin",code="0"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="checkin",code="18"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="read",code="0"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="g",code="none"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="rejected",code="none"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_requests_total{kind="checkout",code="error"})"), 1);
    EXPECT_EQ(Sample(text, R"(kandrilox_request_duration_seconds_count{kind="checkin"})"), 2);
    EXPECT_DOUBLE_EQ(Sample(text, R"(kandrilox_request_duration_seconds_sum{kind="checkin"})"), 0.004);
    EXPECT_EQ(Sample(text, "kandrilox_connections"), 2);
}

TEST(StationMetrics, ServesOnlyWhileListeningAndTheLastStoreAndEncoderCallsWentThrough)
{
    kx::StationMetrics station;
    EXPECT_FALSE(station.Health().serving);
    EXPECT_EQ(station.Health().reason, "the front-desk listener is not up");
    station.SetListening(true);
    EXPECT_TRUE(station.Health().serving);

    station.StoreCall("open", true, false, 10ms);
    EXPECT_FALSE(station.Health().serving);
    EXPECT_EQ(station.Health().reason, "the last records-store call (open) failed");
    station.StoreCall("connect", false, true, 1ms);
    EXPECT_TRUE(station.Health().serving);

    station.EncoderCall("ReadCard", -2, 0ms); // no library
    EXPECT_EQ(station.Health().reason, "the last encoder call (ReadCard) failed with result -2");
    station.EncoderCall("ReadCard", 1, 0ms);
    EXPECT_TRUE(station.Health().serving);

    const QByteArray text = station.Registry().Render();
    EXPECT_EQ(testhttp::Sample(text, R"(kandrilox_store_call_failures_total{call="open"})"), 1);
    EXPECT_EQ(testhttp::Sample(text, "kandrilox_store_link_up"), 1);
    EXPECT_EQ(testhttp::Sample(text, R"(kandrilox_encoder_call_failures_total{call="ReadCard",result="-2"})"),
              1);
    EXPECT_EQ(testhttp::Sample(text, R"(kandrilox_encoder_call_duration_seconds_count{call="ReadCard"})"), 2);
}

TEST(StationMetrics, CardProblemsAreCountedButLeaveTheStationServing)
{
    kx::StationMetrics station;
    station.SetListening(true);
    // -1: no card on the encoder, -4: a card of another type, -13: not blank.
    for (const int result : {-1, -4, -13, 5}) {
        station.EncoderCall("ReadCard", result, 0ms);
        EXPECT_TRUE(station.Health().serving) << result;
    }
    for (const int result : {-2, 2, -6, 11, -12}) {
        station.EncoderCall("MakeGuestCard", result, 0ms);
        EXPECT_FALSE(station.Health().serving) << result;
    }
}

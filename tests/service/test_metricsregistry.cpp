#include "common/httpget.h"
#include "platform/errors.h"
#include "service/metricsregistry.h"

#include <gtest/gtest.h>

using kx::metrics::Registry;

TEST(MetricsRegistry, CountersAndGaugesPrintWithHelpTypeAndLabels)
{
    Registry registry;
    registry.Declare("x_requests_total", Registry::Type::Counter, "Requests.");
    registry.Declare("x_up", Registry::Type::Gauge, "Up.");
    registry.Add("x_requests_total", {{"kind", "checkin"}, {"code", "0"}});
    registry.Add("x_requests_total", {{"kind", "checkin"}, {"code", "0"}}, 2);
    registry.Add("x_requests_total", {{"kind", "read"}, {"code", "18"}});
    registry.Set("x_up", {}, 1);
    registry.Set("x_up", {}, 0);

    const QByteArray text = registry.Render();
    EXPECT_TRUE(text.contains("# HELP x_requests_total Requests.\n# TYPE x_requests_total counter\n"));
    EXPECT_TRUE(text.contains("# TYPE x_up gauge\n"));
    EXPECT_EQ(testhttp::Sample(text, R"(x_requests_total{kind="checkin",code="0"})"), 3);
    EXPECT_EQ(testhttp::Sample(text, R"(x_requests_total{kind="read",code="18"})"), 1);
    EXPECT_EQ(testhttp::Sample(text, "x_up"), 0);
    EXPECT_EQ(registry.Value("x_requests_total", {{"kind", "checkin"}, {"code", "0"}}), 3);
    EXPECT_EQ(registry.Value("x_requests_total", {{"kind", "g"}, {"code", "none"}}), 0);
}

TEST(MetricsRegistry, HistogramBucketsAreCumulativeWithSumAndCount)
{
    Registry registry;
    registry.Declare("x_seconds", Registry::Type::Histogram, "Latency.");
    registry.Observe("x_seconds", {{"kind", "read"}}, 0.0002);
    registry.Observe("x_seconds", {{"kind", "read"}}, 0.003);
    registry.Observe("x_seconds", {{"kind", "read"}}, 100); // beyond the last bound

    const QByteArray text = registry.Render();
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_bucket{kind="read",le="0.0005"})"), 1);
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_bucket{kind="read",le="0.0025"})"), 1);
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_bucket{kind="read",le="0.005"})"), 2);
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_bucket{kind="read",le="30"})"), 2);
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_bucket{kind="read",le="+Inf"})"), 3);
    EXPECT_EQ(testhttp::Sample(text, R"(x_seconds_count{kind="read"})"), 3);
    EXPECT_DOUBLE_EQ(testhttp::Sample(text, R"(x_seconds_sum{kind="read"})"), 100.0032);
}

TEST(MetricsRegistry, LabelValuesAreEscapedAndUndeclaredOrMistypedNamesRaise)
{
    Registry registry;
    registry.Declare("x_total", Registry::Type::Counter, "Things.");
    registry.Add("x_total", {{"why", "a \"quoted\" \\ text\nover two lines"}});
    EXPECT_TRUE(registry.Render().contains(R"(x_total{why="a \"quoted\" \\ text\nover two lines"} 1)"));
    EXPECT_THROW(registry.Add("y_total", {}), kx::Error);
    EXPECT_THROW(registry.Set("x_total", {}, 1), kx::Error);
}

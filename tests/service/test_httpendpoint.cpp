#include "common/httpget.h"
#include "platform/errors.h"
#include "service/httpendpoint.h"

#include <QTcpServer>
#include <gtest/gtest.h>

#include <atomic>

using kx::metrics::Health;
using kx::metrics::HttpEndpoint;

TEST(HttpEndpoint, AnswersMetricsAndHealthOnItsOwnThread)
{
    std::atomic<bool> serving{true};
    HttpEndpoint endpoint([] { return QByteArray("x_up 1\n"); },
                          [&serving] {
                              return serving ? Health{true, {}} : Health{false, "the store is down"};
                          });
    const quint16 port = endpoint.Listen(QHostAddress::LocalHost, 0);
    ASSERT_NE(port, 0);

    const testhttp::Reply metrics = testhttp::Get(port, "/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.body, "x_up 1\n");
    EXPECT_TRUE(metrics.contentType.startsWith("text/plain; version=0.0.4"))
        << metrics.contentType.constData();

    EXPECT_EQ(testhttp::Get(port, "/healthz").status, 200);
    serving = false;
    const testhttp::Reply down = testhttp::Get(port, "/healthz");
    EXPECT_EQ(down.status, 503);
    EXPECT_EQ(down.body, "the store is down\n");

    EXPECT_EQ(testhttp::Get(port, "/other").status, 404);
}

TEST(HttpEndpoint, TakenPortRaises)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    HttpEndpoint endpoint([] { return QByteArray(); }, [] { return Health{true, {}}; });
    EXPECT_THROW(endpoint.Listen(QHostAddress::LocalHost, taken.serverPort()), kx::Error);
}

struct AddressCase
{
    const char *text;
    const char *address; // nullptr: refused
    quint16 port;
};

void PrintTo(const AddressCase &c, std::ostream *out)
{
    *out << '"' << c.text << '"';
}

class MetricsAddress : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(MetricsAddress, PortAloneMeansLoopback)
{
    const AddressCase &c = GetParam();
    QHostAddress address;
    quint16 port = 1;
    if (c.address == nullptr) {
        EXPECT_THROW(kx::metrics::ParseMetricsAddress(QString::fromUtf8(c.text), address, port), kx::Error);
        return;
    }
    kx::metrics::ParseMetricsAddress(QString::fromUtf8(c.text), address, port);
    EXPECT_EQ(address, QHostAddress(QString::fromUtf8(c.address)));
    EXPECT_EQ(port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MetricsAddress,
    ::testing::Values(AddressCase{"9780", "127.0.0.1", 9780}, AddressCase{"0", "127.0.0.1", 0},
                      AddressCase{"0.0.0.0:9780", "0.0.0.0", 9780}, AddressCase{"[::1]:9100", "::1", 9100},
                      AddressCase{"", nullptr, 0}, AddressCase{"host:9780", nullptr, 0},
                      AddressCase{"127.0.0.1:", nullptr, 0}, AddressCase{":9780", nullptr, 0},
                      AddressCase{"70000", nullptr, 0}));

#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class QHttpServer;

namespace kx::metrics {

struct Health
{
    bool serving = false;
    QString reason; // why not, when not serving
};

// The monitoring endpoint: HTTP on its own thread, so that a scrape neither
// waits for a request in progress nor holds one up. GET /healthz answers 200
// "ok" when serving and 503 with the reason otherwise; GET /metrics answers
// the Prometheus text. Both callbacks run on the endpoint's thread.
class HttpEndpoint
{
public:
    HttpEndpoint(std::function<QByteArray()> metrics, std::function<Health()> health);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint &) = delete;
    HttpEndpoint &operator=(const HttpEndpoint &) = delete;

    // Starts listening and gives the port taken; raises kx::Error when the
    // address cannot be bound.
    quint16 Listen(const QHostAddress &address, quint16 port);

private:
    std::function<QByteArray()> m_metrics;
    std::function<Health()> m_health;
    QThread m_thread;
    std::unique_ptr<QObject> m_context; // lives on m_thread
    QHttpServer *m_server = nullptr;    // created and deleted on m_thread
};

// Parses --metrics: "PORT" (loopback, 127.0.0.1) or "ADDR:PORT" ("[IPv6]:PORT");
// raises kx::Error for anything else.
void ParseMetricsAddress(const QString &text, QHostAddress &address, quint16 &port);

// Starts the endpoint on the address that --metrics names and prints
// "metrics on ADDR:PORT" to standard error. Raises kx::Error on failure.
void StartMetrics(HttpEndpoint &endpoint, const QString &metricsOption);

} // namespace kx::metrics

#pragma once

#include "service/httpendpoint.h"
#include "service/metricsregistry.h"

#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>

namespace lockserver {

class SqlBackend;

// The metrics and health of lockserver: requests by operation and outcome
// with their latency, statements by provider, connections, and the lock
// database's size. Serving means the listener is up and the database answered
// the last time it was asked.
class ServerMetrics
{
public:
    using Duration = std::chrono::steady_clock::duration;

    ServerMetrics();

    // op and provider are the names the session resolved: the protocol's
    // operations and the providers it knows, or "unknown" for anything else.
    void RequestServed(const QString &op, const QString &provider, bool failed, Duration duration);
    void ConnectionsChanged(int open);
    void SetListening(bool listening);
    // What the last look at the database (its size) found.
    void DatabaseAnswered(qint64 bytes);
    void DatabaseFailed(const QString &why);
    // A session claimed or gave up a room: the count of open claims is to be
    // looked at again. Cheap, so the sessions can call it on every change.
    void ClaimsChanged() { m_claimsChanged = true; }
    bool TakeClaimsChanged() { return m_claimsChanged.exchange(false); }
    void ClaimsOpen(int open);

    kx::metrics::Health Health() const;
    const kx::metrics::Registry &Registry() const { return m_registry; }

private:
    kx::metrics::Registry m_registry;
    std::atomic<bool> m_listening{false};
    std::atomic<bool> m_claimsChanged{true};
    mutable std::mutex m_mutex;
    QString m_databaseFault;
};

// The metrics endpoint of a running lockserver: serves /healthz and /metrics
// on the address --metrics names, and looks at the database (its size, and
// whether it answers) now and every 15 s on the thread that owns it. The open
// room claims are counted with it, and within a second of a session's change.
class MetricsService
{
public:
    // Raises kx::Error when the address is no metrics address or cannot be bound.
    MetricsService(ServerMetrics &metrics, SqlBackend &backend, const QString &metricsOption);

private:
    void LookAtDatabase();
    void CountClaims();

    ServerMetrics &m_metrics;
    SqlBackend &m_backend;
    kx::metrics::HttpEndpoint m_endpoint;
    QTimer m_timer;
    QTimer m_claimsTimer;
};

} // namespace lockserver

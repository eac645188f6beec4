#include "servermetrics.h"

#include "platform/errors.h"
#include "sqlbackend.h"

#include <QDateTime>

namespace lockserver {

namespace {

const QByteArray Requests = QByteArrayLiteral("lockserver_requests_total");
const QByteArray RequestSeconds = QByteArrayLiteral("lockserver_request_duration_seconds");
const QByteArray Statements = QByteArrayLiteral("lockserver_statements_total");
const QByteArray StatementErrors = QByteArrayLiteral("lockserver_statement_errors_total");
const QByteArray Connections = QByteArrayLiteral("lockserver_connections");
const QByteArray DatabaseBytes = QByteArrayLiteral("lockserver_database_size_bytes");
const QByteArray DatabaseUp = QByteArrayLiteral("lockserver_database_up");
const QByteArray OpenClaims = QByteArrayLiteral("lockserver_room_claims_open");
const QByteArray ListenerUp = QByteArrayLiteral("lockserver_listener_up");

constexpr int DatabaseLookIntervalMs = 15000;
constexpr int ClaimsLookIntervalMs = 1000;

} // namespace

ServerMetrics::ServerMetrics()
{
    using Type = kx::metrics::Registry::Type;
    m_registry.Declare(Requests, Type::Counter, "Protocol requests by operation and result (ok or error).");
    m_registry.Declare(RequestSeconds, Type::Histogram, "Time to answer a protocol request, by operation.");
    m_registry.Declare(Statements, Type::Counter, "Provider statements run, by provider and operation.");
    m_registry.Declare(StatementErrors, Type::Counter, "Provider statements that failed, by provider.");
    m_registry.Declare(Connections, Type::Gauge, "Open station connections.");
    m_registry.Declare(DatabaseBytes, Type::Gauge, "Size of the lock database in bytes.");
    m_registry.Declare(DatabaseUp, Type::Gauge, "1 while the lock database answers.");
    m_registry.Declare(OpenClaims, Type::Gauge,
                       "Rooms claimed by a check-in in progress whose claim has not run out.");
    m_registry.Declare(ListenerUp, Type::Gauge, "1 while the listener is up.");
    m_registry.Set(Connections, {}, 0);
    m_registry.Set(ListenerUp, {}, 0);
}

void ServerMetrics::RequestServed(const QString &op, const QString &provider, bool failed, Duration duration)
{
    const QByteArray opName = op.toLatin1();
    m_registry.Add(Requests, {{"op", opName}, {"result", failed ? "error" : "ok"}});
    m_registry.Observe(RequestSeconds, {{"op", opName}}, std::chrono::duration<double>(duration).count());
    if (provider.isEmpty())
        return;
    const QByteArray providerName = provider.toLatin1();
    m_registry.Add(Statements, {{"provider", providerName}, {"op", opName}});
    if (failed)
        m_registry.Add(StatementErrors, {{"provider", providerName}});
}

void ServerMetrics::ConnectionsChanged(int open)
{
    m_registry.Set(Connections, {}, open);
}

void ServerMetrics::SetListening(bool listening)
{
    m_listening = listening;
    m_registry.Set(ListenerUp, {}, listening ? 1 : 0);
}

void ServerMetrics::DatabaseAnswered(qint64 bytes)
{
    m_registry.Set(DatabaseBytes, {}, double(bytes));
    m_registry.Set(DatabaseUp, {}, 1);
    const std::lock_guard lock(m_mutex);
    m_databaseFault.clear();
}

void ServerMetrics::ClaimsOpen(int open)
{
    m_registry.Set(OpenClaims, {}, open);
}

void ServerMetrics::DatabaseFailed(const QString &why)
{
    m_registry.Set(DatabaseUp, {}, 0);
    const std::lock_guard lock(m_mutex);
    m_databaseFault = QStringLiteral("the lock database does not answer: ") + why;
}

kx::metrics::Health ServerMetrics::Health() const
{
    if (!m_listening)
        return {false, QStringLiteral("the listener is not up")};
    const std::lock_guard lock(m_mutex);
    if (!m_databaseFault.isEmpty())
        return {false, m_databaseFault};
    return {true, {}};
}

MetricsService::MetricsService(ServerMetrics &metrics, SqlBackend &backend, const QString &metricsOption)
    : m_metrics(metrics), m_backend(backend),
      m_endpoint([&metrics] { return metrics.Registry().Render(); }, [&metrics] { return metrics.Health(); })
{
    kx::metrics::StartMetrics(m_endpoint, metricsOption);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { LookAtDatabase(); });
    m_timer.start(DatabaseLookIntervalMs);
    QObject::connect(&m_claimsTimer, &QTimer::timeout, &m_claimsTimer, [this] {
        if (m_metrics.TakeClaimsChanged())
            CountClaims();
    });
    m_claimsTimer.start(ClaimsLookIntervalMs);
    LookAtDatabase();
}

void MetricsService::LookAtDatabase()
{
    try {
        m_metrics.DatabaseAnswered(m_backend.DatabaseSize());
    } catch (const kx::Error &e) {
        m_metrics.DatabaseFailed(e.text());
        return;
    }
    CountClaims(); // claims also end by running out
}

void MetricsService::CountClaims()
{
    try {
        m_metrics.ClaimsOpen(m_backend.OpenClaims(QDateTime::currentSecsSinceEpoch()));
    } catch (const kx::Error &) {
        // The database look reports the fault; the gauge keeps its last count.
    }
}

} // namespace lockserver

#include "stationmetrics.h"

#include "server/codec.h"

#include <chrono>
#include <cstdlib>

namespace kx {

namespace {

const QByteArray Requests = QByteArrayLiteral("kandrilox_requests_total");
const QByteArray RequestSeconds = QByteArrayLiteral("kandrilox_request_duration_seconds");
const QByteArray Connections = QByteArrayLiteral("kandrilox_connections");
const QByteArray StoreSeconds = QByteArrayLiteral("kandrilox_store_call_duration_seconds");
const QByteArray StoreFailures = QByteArrayLiteral("kandrilox_store_call_failures_total");
const QByteArray StoreUp = QByteArrayLiteral("kandrilox_store_link_up");
const QByteArray EncoderSeconds = QByteArrayLiteral("kandrilox_encoder_call_duration_seconds");
const QByteArray EncoderFailures = QByteArrayLiteral("kandrilox_encoder_call_failures_total");
const QByteArray ListenerUp = QByteArrayLiteral("kandrilox_listener_up");

constexpr int EncoderSuccess = 1;

double Seconds(Recorder::Duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

QByteArray CodeName(int code)
{
    switch (code) {
    case Recorder::NoReply: return QByteArrayLiteral("none");
    case Recorder::RaisedError: return QByteArrayLiteral("error");
    default: return QByteArray::number(code);
    }
}

} // namespace

QByteArray RequestKindName(int command)
{
    switch (command) {
    case CheckInCommand: return QByteArrayLiteral("checkin");
    case CheckOutCommand: return QByteArrayLiteral("checkout");
    case ReadCardCommand: return QByteArrayLiteral("read");
    case GCommand: return QByteArrayLiteral("g");
    case DuplicateKeyCommand: return QByteArrayLiteral("duplicate");
    case OneShotKeyCommand: return QByteArrayLiteral("oneshot");
    default: return QByteArrayLiteral("rejected");
    }
}

bool IsEncoderFault(int result)
{
    // -2: no library loaded; 2: no connection to the encoder; 6: its port
    // cannot be opened; 11: its port is in use; 12: it does not answer.
    switch (std::abs(result)) {
    case 2:
    case 6:
    case 11:
    case 12: return true;
    default: return false;
    }
}

StationMetrics::StationMetrics()
{
    using Type = metrics::Registry::Type;
    m_registry.Declare(Requests, Type::Counter,
                       "Front-desk requests by kind and result code (none: no reply due, error: "
                       "ended with an error and no reply).");
    m_registry.Declare(RequestSeconds, Type::Histogram, "Time to serve a front-desk request, by kind.");
    m_registry.Declare(Connections, Type::Gauge, "Open front-desk connections.");
    m_registry.Declare(StoreSeconds, Type::Histogram, "Time of a records-store call, by operation.");
    m_registry.Declare(StoreFailures, Type::Counter, "Records-store calls that failed, by operation.");
    m_registry.Declare(StoreUp, Type::Gauge, "1 while the connection to the records store is open.");
    m_registry.Declare(EncoderSeconds, Type::Histogram, "Time of an encoder library call, by call.");
    m_registry.Declare(EncoderFailures, Type::Counter,
                       "Encoder library calls that did not give success, by call and result.");
    m_registry.Declare(ListenerUp, Type::Gauge, "1 while the front-desk listener is up.");
    m_registry.Set(Connections, {}, 0);
    m_registry.Set(StoreUp, {}, 0);
    m_registry.Set(ListenerUp, {}, 0);
}

void StationMetrics::RequestServed(int command, int code, Duration duration)
{
    const QByteArray kind = RequestKindName(command);
    m_registry.Add(Requests, {{"kind", kind}, {"code", CodeName(code)}});
    m_registry.Observe(RequestSeconds, {{"kind", kind}}, Seconds(duration));
}

void StationMetrics::ConnectionsChanged(int open)
{
    m_registry.Set(Connections, {}, open);
}

void StationMetrics::StoreCall(const char *call, bool failed, bool linkUp, Duration duration)
{
    m_registry.Observe(StoreSeconds, {{"call", call}}, Seconds(duration));
    if (failed)
        m_registry.Add(StoreFailures, {{"call", call}});
    m_registry.Set(StoreUp, {}, linkUp ? 1 : 0);
    const std::lock_guard lock(m_mutex);
    m_storeFault = failed ? QStringLiteral("the last records-store call (%1) failed").arg(QLatin1String(call))
                          : QString();
}

void StationMetrics::EncoderCall(const char *call, int result, Duration duration)
{
    m_registry.Observe(EncoderSeconds, {{"call", call}}, Seconds(duration));
    if (result != EncoderSuccess)
        m_registry.Add(EncoderFailures, {{"call", call}, {"result", QByteArray::number(result)}});
    const std::lock_guard lock(m_mutex);
    m_encoderFault = IsEncoderFault(result)
                         ? QStringLiteral("the last encoder call (%1) failed with result %2")
                               .arg(QLatin1String(call))
                               .arg(result)
                         : QString();
}

void StationMetrics::SetListening(bool listening)
{
    m_listening = listening;
    m_registry.Set(ListenerUp, {}, listening ? 1 : 0);
}

metrics::Health StationMetrics::Health() const
{
    if (!m_listening)
        return {false, QStringLiteral("the front-desk listener is not up")};
    const std::lock_guard lock(m_mutex);
    if (!m_storeFault.isEmpty())
        return {false, m_storeFault};
    if (!m_encoderFault.isEmpty())
        return {false, m_encoderFault};
    return {true, {}};
}

} // namespace kx

#pragma once

#include "httpendpoint.h"
#include "metricsregistry.h"
#include "platform/recorder.h"

#include <QString>

#include <atomic>
#include <mutex>

namespace kx {

// The metrics and health of one encoder station: what the dispatcher, the
// records-store client and the encoder binding report, as Prometheus series.
// Serving means the front-desk listener is up and neither the last
// records-store call nor the last encoder call failed.
class StationMetrics : public Recorder
{
public:
    StationMetrics();

    void RequestServed(int command, int code, Duration duration) override;
    void ConnectionsChanged(int open) override;
    void StoreCall(const char *call, bool failed, bool linkUp, Duration duration) override;
    void EncoderCall(const char *call, int result, Duration duration) override;

    void SetListening(bool listening);
    metrics::Health Health() const;
    const metrics::Registry &Registry() const { return m_registry; }

private:
    metrics::Registry m_registry;
    std::atomic<bool> m_listening{false};
    mutable std::mutex m_mutex;
    QString m_storeFault;   // empty: the last records-store call went through
    QString m_encoderFault; // empty: the last encoder call reached the encoder
};

// The name a request's command letter goes by in the metrics.
QByteArray RequestKindName(int command);
// An encoder result that means the encoder itself could not be used (not
// loaded, not connected, its port unusable), not a problem with the card.
bool IsEncoderFault(int result);

} // namespace kx

#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <map>
#include <mutex>
#include <vector>

namespace kx::metrics {

// Label names with their values, in the order they are printed. The values
// are the program's own words (request kinds, result codes, provider names),
// never request data.
using Labels = QList<QPair<QByteArray, QByteArray>>;

// Latency buckets in seconds, from a fast local call to the store's timeout.
const std::vector<double> &LatencyBuckets();

// Counters, gauges and histograms by name and labels, printed in the
// Prometheus text format. Every call takes one lock, so that the request path
// and the scrape (on its own thread) may run at the same time.
class Registry
{
public:
    enum class Type { Counter, Gauge, Histogram };

    // A family must be declared before it is used; it is printed (with its
    // help text) even while it has no series yet.
    void Declare(const QByteArray &name, Type type, const QByteArray &help);

    void Add(const QByteArray &name, const Labels &labels, double amount = 1);
    void Set(const QByteArray &name, const Labels &labels, double value);
    void Observe(const QByteArray &name, const Labels &labels, double seconds);

    // The value of one counter or gauge series (0 when it has none yet).
    double Value(const QByteArray &name, const Labels &labels) const;

    QByteArray Render() const;

private:
    struct Series
    {
        double value = 0; // counter or gauge; the sum of a histogram
        quint64 count = 0;
        std::vector<quint64> buckets; // per upper bound, not cumulative
    };
    struct Family
    {
        Type type;
        QByteArray help;
        std::map<QByteArray, Series> series; // by printed label set
    };

    Series &Find(const QByteArray &name, const Labels &labels, Type type);

    mutable std::mutex m_mutex;
    std::map<QByteArray, Family> m_families;
};

} // namespace kx::metrics

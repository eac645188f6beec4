#pragma once

#include <QString>
#include <QTextStream>
#include <vector>

namespace frontdesk {

// The latencies of one kind of request, and the line that reports them:
// "checkin     200 requests   512.3 req/s  p50   1.900 ms  p99   3.100 ms".
// The load generator and the direct-SQL benchmark print the same lines.
struct LatencySeries
{
    explicit LatencySeries(const QString &n) : name(n) {}

    void Add(qint64 elapsedNanos) { nanos.push_back(elapsedNanos); }
    // Nothing is printed for a series without requests.
    void Print(QTextStream &out) const;

    QString name;
    std::vector<qint64> nanos;
};

} // namespace frontdesk

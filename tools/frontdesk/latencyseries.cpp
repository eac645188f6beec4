#include "latencyseries.h"

#include <algorithm>
#include <numeric>

namespace frontdesk {

namespace {

// The p-th fraction (0..1) of latencies sorted in ascending order, in milliseconds.
double PercentileMs(const std::vector<qint64> &sorted, double p)
{
    const auto index = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size() - 1) + 0.5));
    return double(sorted[index]) / 1e6;
}

} // namespace

void LatencySeries::Print(QTextStream &out) const
{
    if (nanos.empty())
        return;
    std::vector<qint64> sorted = nanos;
    std::sort(sorted.begin(), sorted.end());
    const double seconds = double(std::accumulate(nanos.begin(), nanos.end(), qint64(0))) / 1e9;
    out << QStringLiteral("%1 %2 requests  %3 req/s  p50 %4 ms  p99 %5 ms")
               .arg(name, -9)
               .arg(nanos.size(), 6)
               .arg(double(nanos.size()) / seconds, 9, 'f', 1)
               .arg(PercentileMs(sorted, 0.50), 7, 'f', 3)
               .arg(PercentileMs(sorted, 0.99), 7, 'f', 3)
        << '\n';
}

} // namespace frontdesk

#include "latencyseries.h"

#include <algorithm>

namespace frontdesk {

double LatencySeries::PercentileMs(double p) const
{
    if (nanos.empty())
        return 0;
    std::vector<qint64> sorted = nanos;
    std::sort(sorted.begin(), sorted.end());
    const auto index = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size() - 1) + 0.5));
    return double(sorted[index]) / 1e6;
}

void LatencySeries::Print(QTextStream &out) const
{
    if (nanos.empty())
        return;
    const double seconds = double(totalNanos) / 1e9;
    out << QStringLiteral("%1 %2 requests  %3 req/s  p50 %4 ms  p99 %5 ms")
               .arg(name, -9)
               .arg(nanos.size(), 6)
               .arg(double(nanos.size()) / seconds, 9, 'f', 1)
               .arg(PercentileMs(0.50), 7, 'f', 3)
               .arg(PercentileMs(0.99), 7, 'f', 3)
        << '\n';
}

} // namespace frontdesk

#include "metricsregistry.h"

#include "platform/errors.h"

#include <QString>

namespace kx::metrics {

namespace {

QByteArray Escaped(const QByteArray &value)
{
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        default: out += c; break;
        }
    }
    return out;
}

QByteArray LabelText(const Labels &labels)
{
    QByteArray text;
    for (const auto &[name, value] : labels) {
        if (!text.isEmpty())
            text += ',';
        text += name + "=\"" + Escaped(value) + '"';
    }
    return text;
}

QByteArray Number(double value)
{
    return QByteArray::number(value, 'g', 12);
}

// "name{labels}" or "name" alone; extra is one more label (the bucket bound).
QByteArray SeriesName(const QByteArray &name, const QByteArray &labels, const QByteArray &extra = {})
{
    QByteArray all = labels;
    if (!extra.isEmpty())
        all += (all.isEmpty() ? "" : ",") + extra;
    return all.isEmpty() ? name : name + '{' + all + '}';
}

const char *TypeName(Registry::Type type)
{
    switch (type) {
    case Registry::Type::Counter: return "counter";
    case Registry::Type::Gauge: return "gauge";
    case Registry::Type::Histogram: return "histogram";
    }
    return "untyped";
}

} // namespace

const std::vector<double> &LatencyBuckets()
{
    static const std::vector<double> buckets{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                             0.25,   0.5,   1,      2.5,   5,    10,    30};
    return buckets;
}

void Registry::Declare(const QByteArray &name, Type type, const QByteArray &help)
{
    const std::lock_guard lock(m_mutex);
    m_families.try_emplace(name, Family{type, help, {}});
}

Registry::Series &Registry::Find(const QByteArray &name, const Labels &labels, Type type)
{
    const auto family = m_families.find(name);
    if (family == m_families.end() || family->second.type != type)
        throw Error(QStringLiteral("Metric %1 is not declared as a %2")
                        .arg(QString::fromLatin1(name), QString::fromLatin1(TypeName(type))));
    Series &series = family->second.series[LabelText(labels)];
    if (type == Type::Histogram && series.buckets.empty())
        series.buckets.assign(LatencyBuckets().size(), 0);
    return series;
}

void Registry::Add(const QByteArray &name, const Labels &labels, double amount)
{
    const std::lock_guard lock(m_mutex);
    Find(name, labels, Type::Counter).value += amount;
}

void Registry::Set(const QByteArray &name, const Labels &labels, double value)
{
    const std::lock_guard lock(m_mutex);
    Find(name, labels, Type::Gauge).value = value;
}

void Registry::Observe(const QByteArray &name, const Labels &labels, double seconds)
{
    const std::lock_guard lock(m_mutex);
    Series &series = Find(name, labels, Type::Histogram);
    series.value += seconds;
    ++series.count;
    const std::vector<double> &bounds = LatencyBuckets();
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        if (seconds <= bounds[i]) {
            ++series.buckets[i];
            break;
        }
    }
}

double Registry::Value(const QByteArray &name, const Labels &labels) const
{
    const std::lock_guard lock(m_mutex);
    const auto family = m_families.find(name);
    if (family == m_families.end())
        return 0;
    const auto series = family->second.series.find(LabelText(labels));
    return series == family->second.series.end() ? 0 : series->second.value;
}

QByteArray Registry::Render() const
{
    // Formatting runs on a copy, so that the request path waits for the lock
    // only as long as the copy takes, not the printing.
    std::map<QByteArray, Family> families;
    {
        const std::lock_guard lock(m_mutex);
        families = m_families;
    }
    QByteArray out;
    out.reserve(8192);
    for (const auto &[name, family] : families) {
        out += "# HELP " + name + ' ' + family.help + '\n';
        out += "# TYPE " + name + ' ' + TypeName(family.type) + '\n';
        for (const auto &[labels, series] : family.series) {
            if (family.type != Type::Histogram) {
                out += SeriesName(name, labels) + ' ' + Number(series.value) + '\n';
                continue;
            }
            quint64 cumulative = 0;
            const std::vector<double> &bounds = LatencyBuckets();
            for (std::size_t i = 0; i < bounds.size(); ++i) {
                cumulative += series.buckets[i];
                out += SeriesName(name + "_bucket", labels, "le=\"" + Number(bounds[i]) + '"') + ' ' +
                       QByteArray::number(cumulative) + '\n';
            }
            out += SeriesName(name + "_bucket", labels, "le=\"+Inf\"") + ' ' +
                   QByteArray::number(series.count) + '\n';
            out += SeriesName(name + "_sum", labels) + ' ' + Number(series.value) + '\n';
            out += SeriesName(name + "_count", labels) + ' ' + QByteArray::number(series.count) + '\n';
        }
    }
    return out;
}

} // namespace kx::metrics

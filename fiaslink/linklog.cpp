#include "linklog.h"

#include <QDateTime>

#include <cstdio>

namespace fias {

namespace {

bool IsTrackData(const QByteArray &fieldId)
{
    return fieldId == "$1" || fieldId == "$2" || fieldId == "$3";
}

} // namespace

QByteArray MaskedText(const Record &record)
{
    Record masked(record.id());
    for (const Field &f : record.fields()) {
        if (IsTrackData(f.id))
            continue;
        if (f.id == "GN" && !f.value.isEmpty()) {
            // Only a plain letter is shown: the first byte of a multi-byte
            // character would be no character at all.
            const char first = f.value[0];
            const bool ascii = static_cast<unsigned char>(first) < 0x80;
            masked.Add("GN", (ascii ? QByteArray(1, first) : QByteArray()) + "***");
            continue;
        }
        masked.Add(f.id.constData(), f.value);
    }
    return masked.Text();
}

void StdoutLog::Line(const QByteArray &text)
{
    const QByteArray line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")).toUtf8() + text +
        '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace fias

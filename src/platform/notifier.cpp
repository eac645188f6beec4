#include "notifier.h"

#include <cstdio>

namespace kx {
namespace {

void PrintLine(const QString &text)
{
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void StderrNotifier::ReportError(const QString &text)
{
    PrintLine(QStringLiteral("error: ") + text);
}

void StderrNotifier::MessageBox(const QString &text, const QString &caption, Icon)
{
    PrintLine(caption + QStringLiteral(": ") + text);
}

void StderrNotifier::LogLine(const QString &text)
{
    PrintLine(text);
}

} // namespace kx

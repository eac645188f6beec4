#include "headlesslogprinter.h"

#include "connectionlog.h"

namespace kx {

void PrintLogRow(const QStringList &row, std::FILE *out)
{
    // A tab or line end inside a value (a result text, say) would break the
    // one-line, four-column form that scripts read.
    QStringList cells;
    cells.reserve(row.size());
    for (QString cell : row)
        cells.append(cell.replace(QLatin1Char('\t'), QLatin1Char(' '))
                         .replace(QLatin1Char('\r'), QLatin1Char(' '))
                         .replace(QLatin1Char('\n'), QLatin1Char(' ')));
    const QByteArray line = cells.join(QLatin1Char('\t')).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), out);
    std::fflush(out);
}

HeadlessLogPrinter::HeadlessLogPrinter(ConnectionLog &log, std::FILE *out, QObject *parent)
    : QObject(parent), m_out(out)
{
    connect(&log, &ConnectionLog::RowAdded, this,
            [this](const QStringList &row) { PrintLogRow(row, m_out); });
}

} // namespace kx

#pragma once

#include <QObject>
#include <QStringList>

#include <cstdio>

namespace kx {

class ConnectionLog;

// Writes one connection-log row as "address<TAB>host<TAB>operation<TAB>time"
// and a line end, flushed at once so that a reader of the pipe sees it now.
void PrintLogRow(const QStringList &row, std::FILE *out);

// Headless mode's view of the connection log: every new row goes to out
// (standard output unless told otherwise) as it is added.
class HeadlessLogPrinter : public QObject
{
    Q_OBJECT

public:
    explicit HeadlessLogPrinter(ConnectionLog &log, std::FILE *out = stdout, QObject *parent = nullptr);

private:
    std::FILE *m_out;
};

} // namespace kx

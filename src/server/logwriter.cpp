#include "logwriter.h"

#include "connectionlog.h"
#include "hostnames.h"
#include "peeraddress.h"

namespace kx {

LogWriter::LogWriter(ConnectionLog &log, HostNames &names, QObject *parent)
    : QObject(parent), m_log(log), m_names(names)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &LogWriter::WriteReady);
    connect(&m_names, &HostNames::Answered, this, &LogWriter::WriteReady);
}

void LogWriter::AddLogRow(const QHostAddress &address, const QString &operation)
{
    const TDateTime now = m_log.Now();
    std::optional<QString> host = m_names.Find(address);
    if (m_waiting.empty() && host) {
        m_log.AddLogRow(PeerAddressText(address), *host, operation, now);
        return;
    }
    m_waiting.push_back(Row{address, operation, now, QDeadlineTimer(m_names.RowWait()), std::move(host)});
    if (m_waiting.size() == 1)
        WriteReady();
}

void LogWriter::Flush()
{
    m_timer.stop();
    while (!m_waiting.empty()) {
        Row &row = m_waiting.front();
        if (!row.host)
            row.host = m_names.Find(row.address);
        Write(row, row.host.value_or(QString()));
        m_waiting.pop_front();
    }
}

void LogWriter::WriteReady()
{
    while (!m_waiting.empty()) {
        Row &row = m_waiting.front();
        if (!row.host)
            row.host = m_names.Find(row.address);
        if (!row.host && !row.wait.hasExpired())
            break;
        Write(row, row.host.value_or(QString()));
        m_waiting.pop_front();
    }
    if (m_waiting.empty())
        m_timer.stop();
    else
        m_timer.start(int(m_waiting.front().wait.remainingTime()));
}

void LogWriter::Write(const Row &row, const QString &host)
{
    m_log.AddLogRow(PeerAddressText(row.address), host, row.operation, row.time);
}

} // namespace kx

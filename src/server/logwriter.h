#pragma once

#include "platform/datetime.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <optional>

namespace kx {

class ConnectionLog;
class HostNames;

// Writes connection-log rows in the order of their events, each with its
// peer's host name. A row whose name is not known yet waits for the lookup,
// at most the host names' row wait, and the rows after it wait behind it; a
// row whose wait is over is written without the name. The row's time is that
// of its event. Nothing here blocks: requests and replies never wait for a row.
class LogWriter : public QObject
{
    Q_OBJECT

public:
    LogWriter(ConnectionLog &log, HostNames &names, QObject *parent = nullptr);

    void AddLogRow(const QHostAddress &address, const QString &operation);
    // Writes every waiting row now, without the names still unknown.
    void Flush();

private:
    struct Row
    {
        QHostAddress address;
        QString operation;
        TDateTime time;
        QDeadlineTimer wait;
        std::optional<QString> host;
    };

    // Writes the waiting rows from the first up to one whose name is still
    // coming, and sets the timer for that one's wait.
    void WriteReady();
    void Write(const Row &row, const QString &host);

    ConnectionLog &m_log;
    HostNames &m_names;
    std::deque<Row> m_waiting;
    QTimer m_timer;
};

} // namespace kx

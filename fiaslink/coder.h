#pragma once

#include "keytask.h"
#include "station.h"

#include <QByteArray>
#include <QObject>

#include <deque>
#include <memory>

namespace fias {

class LinkLog;

// One key coder (KC) and the station that serves it. The coder serves one
// request at a time; a request that finds it busy waits its turn until its
// answer time runs out, and then gets BY.
class Coder : public QObject
{
    Q_OBJECT

public:
    Coder(QByteArray id, QString host, quint16 port, LinkLog &log, QObject *parent = nullptr);

    const QByteArray &id() const { return m_id; }
    Station &station() { return *m_station; }
    void Submit(std::unique_ptr<KeyTask> task);

private:
    struct Waiting
    {
        std::unique_ptr<KeyTask> task;
        QTimer *timer; // fires when the task's answer time has run out
    };

    void StartNext();
    void OnWaitExpired(KeyTask *task);

    QByteArray m_id;
    LinkLog &m_log;
    Station *m_station;
    std::unique_ptr<KeyTask> m_running;
    std::deque<Waiting> m_waiting;
};

} // namespace fias

#include "coder.h"

#include "answers.h"
#include "linklog.h"

#include <QTimer>

namespace fias {

Coder::Coder(QByteArray id, QString host, quint16 port, LinkLog &log, QObject *parent)
    : QObject(parent), m_id(std::move(id)), m_log(log),
      m_station(new Station(std::move(host), port, log, this))
{
}

void Coder::Submit(std::unique_ptr<KeyTask> task)
{
    if (!m_running) {
        m_running = std::move(task);
        QTimer::singleShot(0, this, &Coder::StartNext);
        return;
    }
    KeyTask *raw = task.get();
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, raw] { OnWaitExpired(raw); });
    timer->start(std::max<qint64>(raw->deadline().remainingTime(), 0));
    m_waiting.push_back(Waiting{std::move(task), timer});
}

void Coder::StartNext()
{
    if (!m_running) {
        if (m_waiting.empty())
            return;
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        next.timer->deleteLater();
        m_running = std::move(next.task);
    }
    KeyTask *task = m_running.get();
    task->Run(*m_station, [this, task] {
        // The task is still on the stack: it goes, and the next one starts,
        // from the event loop.
        QTimer::singleShot(0, this, [this, task] {
            if (m_running.get() == task)
                m_running.reset();
            StartNext();
        });
    });
}

void Coder::OnWaitExpired(KeyTask *task)
{
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it) {
        if (it->task.get() != task)
            continue;
        Waiting expired = std::move(*it);
        m_waiting.erase(it);
        expired.timer->deleteLater();
        m_log.Note(
            QStringLiteral("coder %1: busy until the answer time ran out").arg(QString::fromLatin1(m_id)));
        expired.task->Refuse(status::Busy, texts::Busy);
        return;
    }
}

} // namespace fias

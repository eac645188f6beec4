#pragma once

#include "platform/errors.h"
#include "platform/notifier.h"
#include "server/cardoperations.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>

// Card operations that give set results and write every call into a journal
// (shared with the connection-log rows, so that the order of both shows).
// The operations run on the request thread; their entries reach the journal
// on the thread that made the recorder, in the order the calls were made.
class RecordingCardOperations : public kx::CardOperations
{
public:
    explicit RecordingCardOperations(QStringList &journal) : m_journal(journal) {}

    int checkRoomResult = 0;
    int checkInCardResult = 0;
    int checkOutResult = 1;
    int readCardResult = 1;
    int keyResult = 0;                           // duplicate and one-shot key
    TCardInterface card;                         // what a card read finds
    std::function<void(const QString &)> onStep; // runs after a call is journaled (may throw)

    int CheckRoom(const QByteArray &room) override
    {
        Step("CheckRoom " + room);
        return checkRoomResult;
    }
    int CheckInCard(const TCardInterface &request) override
    {
        Step("CheckInCard " + request.Room + " " + request.GuestName);
        return checkInCardResult;
    }
    void AddCardRecord(const TCardInterface &request) override { Step("AddCardRecord " + request.Room); }
    void AddGuestRecord(const TCardInterface &request) override { Step("AddGuestRecord " + request.Room); }
    int CheckOut(const QByteArray &room) override
    {
        Step("CheckOut " + room);
        return checkOutResult;
    }
    int ReadCardInfo(TCardInterface &out) override
    {
        Step("ReadCardInfo");
        if (readCardResult == 1)
            out = card;
        return readCardResult;
    }

    int DuplicateKey(const TCardInterface &request) override
    {
        Step("DuplicateKey " + request.Room + " " + request.GuestName);
        return keyResult;
    }
    int OneShotKey(const TCardInterface &request) override
    {
        Step("OneShotKey " + request.Room + " " + request.GuestName);
        return keyResult;
    }

    // The threads the calls were made on.
    QSet<QThread *> Threads() const
    {
        const std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    void Step(const QByteArray &call)
    {
        const QString entry = QString::fromLatin1(call);
        {
            const std::lock_guard lock(m_mutex);
            m_threads.insert(QThread::currentThread());
        }
        if (QThread::currentThread() == m_home.thread())
            m_journal << entry;
        else
            QMetaObject::invokeMethod(
                &m_home, [this, entry] { m_journal << entry; }, Qt::QueuedConnection);
        if (onStep)
            onStep(entry);
    }

    QStringList &m_journal;
    QObject m_home; // journal entries are its events
    mutable std::mutex m_mutex;
    QSet<QThread *> m_threads;
};

// Holds a card operation at a step, as a records store or an encoder that
// keeps the request waiting would, until the test opens it (or 30 s pass).
class Gate
{
public:
    ~Gate() { Open(); }

    // On the request thread.
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        m_reached = true;
        m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_open; });
    }
    bool Reached() const
    {
        const std::lock_guard lock(m_mutex);
        return m_reached;
    }
    void Open()
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_reached = false;
    bool m_open = false;
};

class RecordingNotifier : public kx::Notifier
{
public:
    QStringList errors;
    QStringList lines;

    void ReportError(const QString &text) override { errors << text; }
    void MessageBox(const QString &text, const QString &, Icon) override { lines << text; }
    void Beep() override {}
    void LogLine(const QString &text) override { lines << text; }
};

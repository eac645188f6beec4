#pragma once

#include <QThread>

#include <functional>

namespace kx {

// The one thread on which requests wait for the records store and the
// encoder library, so that the event loop's thread (sockets, log, windows)
// never blocks. Jobs run one at a time in the order they were posted; the
// thread runs an event loop, so sockets opened on it work as on any Qt thread.
class RequestThread
{
public:
    RequestThread();
    // Runs every job posted so far (the one in progress is never cut short),
    // then ends the thread.
    ~RequestThread();
    RequestThread(const RequestThread &) = delete;
    RequestThread &operator=(const RequestThread &) = delete;

    // Queues job and returns at once.
    void Post(std::function<void()> job);
    // Runs job after those already posted and waits for it; an exception it
    // raises is raised again here. Never call it from the thread itself.
    void Run(const std::function<void()> &job);

    bool IsCurrent() const { return QThread::currentThread() == &m_thread; }

private:
    QThread m_thread;
    QObject m_context; // lives on m_thread: queued jobs are its events
};

} // namespace kx

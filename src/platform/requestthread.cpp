#include "requestthread.h"

#include <exception>

namespace kx {

RequestThread::RequestThread()
{
    m_thread.setObjectName(QStringLiteral("requests"));
    m_context.moveToThread(&m_thread);
    m_thread.start();
}

RequestThread::~RequestThread()
{
    // Queued behind the jobs posted so far, so that none of them is dropped;
    // the context comes back to be deleted on this thread.
    QThread *home = QThread::currentThread();
    Post([this, home] {
        m_context.moveToThread(home);
        m_thread.quit();
    });
    m_thread.wait();
}

void RequestThread::Post(std::function<void()> job)
{
    QMetaObject::invokeMethod(&m_context, std::move(job), Qt::QueuedConnection);
}

void RequestThread::Run(const std::function<void()> &job)
{
    std::exception_ptr raised;
    QMetaObject::invokeMethod(
        &m_context,
        [&] {
            try {
                job();
            } catch (...) {
                raised = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (raised)
        std::rethrow_exception(raised);
}

} // namespace kx

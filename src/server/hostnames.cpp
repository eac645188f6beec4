#include "hostnames.h"

#include "peeraddress.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace kx {

// Where a lookup thread hands its answer in. The thread may outlive the
// HostNames that started it (a resolver can take many seconds); then the
// owner is gone and the answer is dropped.
struct HostNames::Mailbox
{
    std::mutex mutex;
    HostNames *owner = nullptr;
};

HostNames::HostNames(Resolver resolver, int rowWaitMs, QObject *parent)
    : QObject(parent),
      m_resolver(std::make_shared<const Resolver>(resolver ? std::move(resolver) : Resolver(ReverseLookup))),
      m_rowWaitMs(rowWaitMs), m_mailbox(std::make_shared<Mailbox>())
{
    m_mailbox->owner = this;
}

HostNames::~HostNames()
{
    const std::lock_guard lock(m_mailbox->mutex);
    m_mailbox->owner = nullptr;
}

std::optional<QString> HostNames::Find(const QHostAddress &address)
{
    const auto known = m_answers.constFind(address);
    if (known != m_answers.cend() && !known->expiry.hasExpired())
        return known->name;
    if (!m_pending.contains(address) && m_pending.size() < MaxLookups)
        Start(address);
    return std::nullopt;
}

void HostNames::Start(const QHostAddress &address)
{
    // A thread per lookup, not a pool: one that never returns must not hold
    // up the others, nor the program's end (the thread is left to finish).
    try {
        std::thread([resolver = m_resolver, mailbox = m_mailbox, address] {
            const QString name = (*resolver)(address);
            const std::lock_guard lock(mailbox->mutex);
            if (HostNames *owner = mailbox->owner)
                QMetaObject::invokeMethod(
                    owner, [owner, address, name] { owner->Store(address, name); }, Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error &) {
        return; // no thread to be had now: rows go without the name, a later one tries again
    }
    m_pending.insert(address);
}

void HostNames::Store(const QHostAddress &address, const QString &name)
{
    m_pending.remove(address);
    if (m_answers.size() >= MaxAnswers) {
        m_answers.removeIf([](const auto &entry) { return entry.value().expiry.hasExpired(); });
        if (m_answers.size() >= MaxAnswers)
            m_answers.clear(); // all recent: start afresh rather than grow
    }
    m_answers.insert(address, Answer{name, QDeadlineTimer(AnswerLifetimeMs)});
    Q_EMIT Answered(address);
}

} // namespace kx

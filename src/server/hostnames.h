#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace kx {

// Host names of peer addresses for the connection log. A lookup never runs on
// the event loop's thread: it runs on a thread of its own, and its answer
// (a name, or "no name") is kept for a short while, so that a resolver that
// does not answer costs no request any time.
class HostNames : public QObject
{
    Q_OBJECT

public:
    // Blocks while it looks the address up; empty when there is no name.
    // Called on lookup threads, never on the event loop's.
    using Resolver = std::function<QString(const QHostAddress &)>;

    static constexpr int AnswerLifetimeMs = 60 * 1000;
    // How long a log row waits for the answer before it is written without it.
    static constexpr int RowWaitMs = 2000;
    // Lookups of different addresses under way at once; past that, an address
    // is looked up once one of them has answered.
    static constexpr int MaxLookups = 8;
    // Answers kept at most: past that, those expired go, and when none has
    // expired, all of them.
    static constexpr int MaxAnswers = 1024;

    // The system's reverse lookup (getnameinfo) unless told otherwise.
    explicit HostNames(Resolver resolver = {}, int rowWaitMs = RowWaitMs, QObject *parent = nullptr);
    ~HostNames() override;

    int RowWait() const { return m_rowWaitMs; }

    // The address's name (empty: it has none) when a recent answer is known;
    // otherwise nothing, and a lookup starts unless one is under way.
    std::optional<QString> Find(const QHostAddress &address);

Q_SIGNALS:
    // A lookup has answered; Find now gives its answer.
    void Answered(const QHostAddress &address);

private:
    struct Answer
    {
        QString name;
        QDeadlineTimer expiry;
    };
    struct Mailbox;

    void Start(const QHostAddress &address);
    void Store(const QHostAddress &address, const QString &name);

    std::shared_ptr<const Resolver> m_resolver;
    int m_rowWaitMs;
    std::shared_ptr<Mailbox> m_mailbox;
    QHash<QHostAddress, Answer> m_answers;
    QSet<QHostAddress> m_pending;
};

} // namespace kx

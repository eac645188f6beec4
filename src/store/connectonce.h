#pragma once

#include <QString>

namespace kx {

// The outcome of one TCP connection attempt: a connected socket descriptor
// (blocking mode), or -1 with the reason.
struct ConnectOutcome
{
    int descriptor = -1;
    bool timedOut = false; // no answer within the time given
    QString error;
};

// Connects to host (an address or a name) and port once, trying each address
// the name has until one connects, within timeoutMs in all. A connection the
// peer resets while it is being set up is a failed attempt: unlike
// QTcpSocket's own connect, which checks a pending connection with a second
// connect() call that, after a reset, silently starts a new connection to the
// same address, and then waits on that one however long the peer leaves it
// unanswered.
ConnectOutcome ConnectOnce(const QString &host, quint16 port, int timeoutMs);

} // namespace kx

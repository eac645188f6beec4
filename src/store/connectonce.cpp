#include "connectonce.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kx {

namespace {

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// One address: a non-blocking connect, a wait for its outcome, then the
// descriptor back in blocking mode. Gives the descriptor, or -1 with
// outcome's reason set.
int ConnectAddress(const QHostAddress &address, quint16 port, const QDeadlineTimer &deadline,
                   ConnectOutcome &outcome)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof in6->sin6_addr);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof *in6;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }

    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        outcome.error = SystemText(errno);
        return -1;
    }
    int error = 0;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd pending{fd, POLLOUT, 0};
            int ready = 0;
            do
                ready = ::poll(&pending, 1, int(deadline.remainingTime()));
            while (ready < 0 && errno == EINTR);
            if (ready == 0) {
                ::close(fd);
                outcome.timedOut = true;
                return -1;
            }
            socklen_t size = sizeof error;
            error = 0;
            if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
        }
    }
    if (error != 0) {
        ::close(fd);
        outcome.error = SystemText(error);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

ConnectOutcome ConnectOnce(const QString &host, quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    ConnectOutcome outcome;
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(host)) {
        addresses << literal;
    } else {
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            outcome.error =
                info.error() != QHostInfo::NoError ? info.errorString() : QStringLiteral("Host not found");
            return outcome;
        }
        addresses = info.addresses();
    }
    for (const QHostAddress &address : addresses) {
        outcome.timedOut = false;
        outcome.descriptor = ConnectAddress(address, port, deadline, outcome);
        if (outcome.descriptor >= 0 || deadline.hasExpired())
            break;
    }
    return outcome;
}

} // namespace kx

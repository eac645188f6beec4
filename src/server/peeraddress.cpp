#include "peeraddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace kx {

QString PeerAddressText(const QHostAddress &address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4)
        return QHostAddress(ipv4).toString();
    return address.toString();
}

QString ReverseLookup(const QHostAddress &address)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    if (isIPv4) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(ipv4);
        length = sizeof(sockaddr_in);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    } else {
        return QString();
    }

    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr *>(&storage), length, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return QString();
    return QString::fromLocal8Bit(host);
}

} // namespace kx

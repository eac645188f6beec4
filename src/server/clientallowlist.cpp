#include "clientallowlist.h"

#include <QRegularExpression>

namespace kx {

namespace {

// An IPv4 peer seen through an IPv6 listener (::ffff:a.b.c.d) as plain IPv4.
QHostAddress Unmapped(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

} // namespace

ClientAllowList::ClientAllowList(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString &entry : text.split(separators, Qt::SkipEmptyParts)) {
        m_everyone = false;
        if (entry.contains(u'/')) {
            const QPair<QHostAddress, int> network = QHostAddress::parseSubnet(entry);
            if (network.first.isNull())
                m_unreadable << entry;
            else
                m_networks.append(network);
            continue;
        }
        const QHostAddress address(entry);
        if (address.isNull()) {
            m_unreadable << entry;
            continue;
        }
        const QHostAddress plain = Unmapped(address);
        m_networks.append({plain, plain.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128});
    }
}

bool ClientAllowList::Allows(const QHostAddress &address) const
{
    if (m_everyone)
        return true;
    const QHostAddress plain = Unmapped(address);
    for (const auto &network : m_networks) {
        if (plain.isInSubnet(network))
            return true;
    }
    return false;
}

} // namespace kx

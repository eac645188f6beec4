#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

namespace kx {

// The front-desk systems allowed to connect: addresses and networks
// ("192.168.1.10, 192.168.1.0/24, fd00::/8"), separated by commas, blanks or
// semicolons. An empty list allows every address. An entry that is neither an
// address nor a network allows nothing, so a mistyped list never lets more in
// than was meant.
class ClientAllowList
{
public:
    explicit ClientAllowList(const QString &text);

    bool Allows(const QHostAddress &address) const;
    // The entries that are neither an address nor a network.
    const QStringList &Unreadable() const { return m_unreadable; }

private:
    bool m_everyone = true;
    QList<QPair<QHostAddress, int>> m_networks;
    QStringList m_unreadable;
};

} // namespace kx

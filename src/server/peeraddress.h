#pragma once

#include <QHostAddress>
#include <QString>

namespace kx {

// The address as the connection log shows it: dotted decimal for IPv4,
// including IPv4 peers seen through an IPv6 (IPv4-mapped) listener.
QString PeerAddressText(const QHostAddress &address);

// The host name that a reverse lookup finds for the address; empty when it
// finds none. Blocks while the resolver works.
QString ReverseLookup(const QHostAddress &address);

} // namespace kx

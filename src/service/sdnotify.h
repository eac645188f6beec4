#pragma once

#include <QByteArray>

namespace kx {

// Tells the service manager about the program's state ("READY=1",
// "STOPPING=1") with one datagram on $NOTIFY_SOCKET, as systemd's sd_notify
// does. Without that variable (not started by systemd as Type=notify) it does
// nothing and gives false.
bool NotifyServiceManager(const QByteArray &state);

} // namespace kx

#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace lockserver {

class SqlBackend;

// Accepts client connections on the Qt event loop; each gets a ClientSession.
class Listener : public QObject
{
    Q_OBJECT
public:
    explicit Listener(SqlBackend &backend, QObject *parent = nullptr);

    // Raises kx::Error when the address cannot be bound.
    void Listen(const QHostAddress &address, quint16 port);
    quint16 Port() const { return m_server.serverPort(); }
    void Close();

private:
    void AcceptConnections();

    SqlBackend &m_backend;
    QTcpServer m_server;
};

// Parses "ADDR:PORT" or "[IPv6]:PORT"; raises kx::Error when it is neither.
void ParseListenAddress(const QString &text, QHostAddress &address, quint16 &port);

} // namespace lockserver

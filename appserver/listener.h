#pragma once

#include "clientsession.h"

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTimer>

#include <optional>

namespace lockserver {

class ServerMetrics;
class SqlBackend;

struct ListenerOptions
{
    SessionPolicy session;
    // Connections served at once; one more gets a refusal and is closed.
    int maxConnections = 256;
    // Set: every connection is TLS with this certificate and key.
    std::optional<QSslConfiguration> tls;
    // Told of the connections served and of every request (may be null).
    ServerMetrics *metrics = nullptr;
};

// Accepts client connections on the Qt event loop; each gets a ClientSession
// (over TLS when the options ask for it). The listener accepts by itself
// rather than through QTcpServer, which takes running out of descriptors for
// a passing condition and polls the waiting connection again at once: when
// accepting fails it pauses, says so once, and tries again each second.
class Listener : public QObject
{
    Q_OBJECT
public:
    Listener(SqlBackend &backend, ListenerOptions options, QObject *parent = nullptr);

    // Raises kx::Error when the address cannot be bound.
    void Listen(const QHostAddress &address, quint16 port);
    quint16 Port() const { return m_server.serverPort(); }
    void Close();

    static constexpr int AcceptRetryMs = 1000;
    // Refused connections still waiting to hear why; beyond these, closed at once.
    static constexpr int MaxRefusing = 64;

private:
    void AcceptConnections();
    void PauseAccepting(int error);
    void Serve(qintptr descriptor);
    void RefuseConnection(QTcpSocket *socket);
    void ConnectionsChanged();

    SqlBackend &m_backend;
    ListenerOptions m_options;
    QTcpServer m_server; // binds and listens; the accepting is done here
    QSocketNotifier *m_incoming = nullptr;
    QTimer m_retry;
    int m_sessions = 0;
    int m_refusing = 0;
    bool m_acceptFailing = false;
    bool m_atLimit = false;
};

// Parses "ADDR:PORT" or "[IPv6]:PORT"; raises kx::Error when it is neither.
void ParseListenAddress(const QString &text, QHostAddress &address, quint16 &port);

} // namespace lockserver

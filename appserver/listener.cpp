#include "listener.h"

#include "clientsession.h"
#include "platform/errors.h"

#include <QTcpSocket>

namespace lockserver {

Listener::Listener(SqlBackend &backend, QObject *parent) : QObject(parent), m_backend(backend)
{
    connect(&m_server, &QTcpServer::newConnection, this, &Listener::AcceptConnections);
}

void Listener::Listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port)) {
        throw kx::Error(QStringLiteral("Could not listen on %1:%2: %3")
                            .arg(address.toString())
                            .arg(port)
                            .arg(m_server.errorString()));
    }
}

void Listener::Close()
{
    m_server.close();
}

void Listener::AcceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection())
        new ClientSession(socket, m_backend, this); // owned by the listener, gone at disconnect
}

void ParseListenAddress(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool portOk = false;
    const uint value = text.mid(colon + 1).toUInt(&portOk);
    if (colon <= 0 || !portOk || value > 65535 || !address.setAddress(host))
        throw kx::Error(
            QStringLiteral("'%1' is no listen address: use ADDR:PORT, for example 0.0.0.0:2008").arg(text));
    port = static_cast<quint16>(value);
}

} // namespace lockserver

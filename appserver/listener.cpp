#include "listener.h"

#include "platform/errors.h"
#include "servermetrics.h"
#include "store/lockprotocol.h"

#include <QSslSocket>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace lockserver {

namespace {

void Log(const QString &text)
{
    std::fprintf(stderr, "lockserver: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

Listener::Listener(SqlBackend &backend, ListenerOptions options, QObject *parent)
    : QObject(parent), m_backend(backend), m_options(std::move(options))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(AcceptRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_incoming)
            m_incoming->setEnabled(true);
    });
}

void Listener::Listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port)) {
        throw kx::Error(QStringLiteral("Could not listen on %1:%2: %3")
                            .arg(address.toString())
                            .arg(port)
                            .arg(m_server.errorString()));
    }
    m_server.pauseAccepting(); // from here on the notifier below accepts
    m_incoming = new QSocketNotifier(m_server.socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_incoming, &QSocketNotifier::activated, this, &Listener::AcceptConnections);
}

void Listener::Close()
{
    m_retry.stop();
    delete m_incoming;
    m_incoming = nullptr;
    m_server.close();
    // Sessions end their room claims while the database is still open.
    qDeleteAll(findChildren<ClientSession *>(Qt::FindDirectChildrenOnly));
}

void Listener::AcceptConnections()
{
    for (;;) {
        const int descriptor =
            ::accept4(int(m_server.socketDescriptor()), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor >= 0) {
            if (m_acceptFailing) {
                Log(QStringLiteral("accepting connections again"));
                m_acceptFailing = false;
            }
            Serve(descriptor);
            continue;
        }
        const int error = errno;
        if (error == EINTR || error == ECONNABORTED || error == EPROTO)
            continue; // that one connection is gone; others may wait
        if (error != EAGAIN && error != EWOULDBLOCK)
            PauseAccepting(error);
        return;
    }
}

void Listener::PauseAccepting(int error)
{
    // The waiting connection keeps the socket readable: accepting again at
    // once would spin. Wait until descriptors may have been freed.
    m_incoming->setEnabled(false);
    if (!m_acceptFailing)
        Log(QStringLiteral("cannot accept connections (%1); trying again every %2 s")
                .arg(QString::fromLocal8Bit(std::strerror(error)))
                .arg(AcceptRetryMs / 1000));
    m_acceptFailing = true;
    m_retry.start();
}

void Listener::Serve(qintptr descriptor)
{
    QTcpSocket *socket = m_options.tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(int(descriptor));
        delete socket;
        return;
    }
    if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
        tls->setSslConfiguration(*m_options.tls);
        tls->startServerEncryption();
    }
    if (m_sessions >= m_options.maxConnections) {
        RefuseConnection(socket);
        return;
    }
    if (m_atLimit) {
        Log(QStringLiteral("serving connections again"));
        m_atLimit = false;
    }
    ++m_sessions;
    auto *session = new ClientSession(socket, m_backend, m_options.session, m_options.metrics, this);
    ConnectionsChanged();
    connect(session, &QObject::destroyed, this, [this] {
        --m_sessions;
        ConnectionsChanged();
    });
}

void Listener::ConnectionsChanged()
{
    if (m_options.metrics)
        m_options.metrics->ConnectionsChanged(m_sessions);
}

void Listener::RefuseConnection(QTcpSocket *socket)
{
    if (!m_atLimit)
        Log(QStringLiteral("refusing connections beyond %1 at once").arg(m_options.maxConnections));
    m_atLimit = true;
    if (m_refusing >= MaxRefusing) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_refusing;
    socket->setParent(this);
    connect(socket, &QObject::destroyed, this, [this] { --m_refusing; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(m_options.session.messageTimeoutMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    const QByteArray refusal = kx::lockprotocol::EncodeMessage(kx::lockprotocol::ErrorReply(
        QStringLiteral("The records store serves at most %1 connections at once; try again later")
            .arg(m_options.maxConnections)));
    const auto send = [socket, refusal] {
        socket->write(refusal);
        socket->disconnectFromHost();
    };
    auto *tls = qobject_cast<QSslSocket *>(socket);
    if (tls && !tls->isEncrypted())
        connect(tls, &QSslSocket::encrypted, socket, send);
    else
        send();
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

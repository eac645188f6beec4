#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A relay on a loopback port that passes every connection on to another port
// and keeps a copy of every byte in both directions: what a passive listener
// on the network would see. Runs on the event loop.
class WireRecorder
{
public:
    explicit WireRecorder(quint16 target) : m_target(target)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *inner = m_server.nextPendingConnection()) {
                auto *outer = new QTcpSocket(inner);
                outer->connectToHost(QHostAddress::LocalHost, m_target);
                const auto pass = [this](QTcpSocket *from, QTcpSocket *to) {
                    const QByteArray bytes = from->readAll();
                    seen += bytes;
                    to->write(bytes);
                };
                QObject::connect(inner, &QTcpSocket::readyRead, outer, [=] {
                    if (outer->state() == QAbstractSocket::ConnectedState)
                        pass(inner, outer);
                });
                QObject::connect(outer, &QTcpSocket::connected, inner, [=] { pass(inner, outer); });
                QObject::connect(outer, &QTcpSocket::readyRead, inner, [=] { pass(outer, inner); });
                QObject::connect(inner, &QTcpSocket::disconnected, inner, &QObject::deleteLater);
                QObject::connect(outer, &QTcpSocket::disconnected, inner, &QTcpSocket::disconnectFromHost);
            }
        });
    }

    quint16 Port() const { return m_server.serverPort(); }

    QByteArray seen;

private:
    quint16 m_target;
    QTcpServer m_server;
};

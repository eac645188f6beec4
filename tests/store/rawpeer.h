#pragma once

#include "store/lockprotocol.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QTcpSocket>

// A peer with a TCP socket and the protocol, but no key.
class RawPeer
{
public:
    // Connects and reads the greeting.
    explicit RawPeer(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        m_socket.waitForConnected(5000);
        greeting = Receive();
    }

    // Sends the message and gives the answer, empty when none came.
    QJsonObject Call(const QJsonObject &message)
    {
        if (m_socket.state() != QAbstractSocket::ConnectedState)
            return {};
        m_socket.write(kx::lockprotocol::EncodeMessage(message));
        m_socket.waitForBytesWritten(5000);
        return Receive();
    }

    QJsonObject Receive()
    {
        QJsonObject reply;
        QString error;
        while (kx::lockprotocol::TakeMessage(m_buffer, reply, error) ==
               kx::lockprotocol::FrameStatus::Incomplete) {
            if (!m_socket.waitForReadyRead(5000) && m_socket.bytesAvailable() == 0)
                return {};
            m_buffer += m_socket.readAll();
        }
        return reply;
    }

    // True when the server closes the connection within timeoutMs.
    bool ClosedWithin(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            m_socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
            m_socket.readAll();
        }
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

    QTcpSocket &Socket() { return m_socket; }

    // The server's first message (empty when none came).
    QJsonObject greeting;

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

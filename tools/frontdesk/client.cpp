#include "client.h"

#include "frames.h"

#include <QDeadlineTimer>

namespace frontdesk {

Client::Client(const QString &host, quint16 port, int timeoutMs)
    : m_host(host), m_port(port), m_timeoutMs(timeoutMs)
{
}

bool Client::Connect()
{
    m_socket.connectToHost(m_host, m_port);
    if (m_socket.waitForConnected(m_timeoutMs)) {
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return true;
    }
    m_error =
        QStringLiteral("cannot connect to %1:%2: %3").arg(m_host).arg(m_port).arg(m_socket.errorString());
    return false;
}

bool Client::Write(const QByteArray &frame)
{
    m_socket.write(frame);
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(m_timeoutMs)) {
            m_error = QStringLiteral("sending failed: %1").arg(m_socket.errorString());
            return false;
        }
    }
    return true;
}

bool Client::Request(const QByteArray &frame, QByteArray &reply)
{
    if (!Write(frame))
        return false;
    const QDeadlineTimer deadline(m_timeoutMs);
    reply.clear();
    for (;;) {
        reply += m_socket.readAll();
        switch (ClassifyReply(reply)) {
        case ReplyState::Result: reply.truncate(7); return true;
        case ReplyState::Card: return true;
        case ReplyState::Unknown:
            m_error = QStringLiteral("unrecognised reply: %1").arg(QString::fromLatin1(reply.toHex(' ')));
            return false;
        case ReplyState::Incomplete: break;
        }
        if (deadline.hasExpired() || !m_socket.waitForReadyRead(int(deadline.remainingTime()))) {
            m_error = m_socket.state() == QAbstractSocket::ConnectedState
                          ? QStringLiteral("no reply within %1 ms").arg(m_timeoutMs)
                          : QStringLiteral("connection closed without a reply");
            return false;
        }
    }
}

bool Client::Send(const QByteArray &frame, int waitMs, QByteArray &unexpected)
{
    if (!Write(frame))
        return false;
    m_socket.waitForReadyRead(waitMs);
    unexpected = m_socket.readAll();
    return unexpected.isEmpty();
}

} // namespace frontdesk

#include "socketconnection.h"

#include "lockprotocol.h"
#include "platform/errors.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

namespace proto = kx::lockprotocol;

namespace {

QString SecondsText(int ms)
{
    if (ms % 1000 == 0)
        return QStringLiteral("%1 s").arg(ms / 1000);
    return QStringLiteral("%1 s").arg(ms / 1000.0, 0, 'g', 3);
}

} // namespace

TSocketConnection::TSocketConnection() = default;

TSocketConnection::~TSocketConnection()
{
    Close();
}

void TSocketConnection::SetServerName(const QString &name)
{
    Close();
    m_serverName = name;
}

bool TSocketConnection::Connected() const
{
    return m_socket && m_socket->thread() == QThread::currentThread() &&
           m_socket->state() == QAbstractSocket::ConnectedState;
}

void TSocketConnection::LeaveForeignSocket()
{
    if (m_socket && m_socket->thread() != QThread::currentThread())
        m_socket.release()->deleteLater();
}

void TSocketConnection::Close()
{
    LeaveForeignSocket();
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

QString TSocketConnection::Where() const
{
    return QStringLiteral("%1:%2").arg(Address).arg(Port);
}

void TSocketConnection::Open()
{
    if (Connected())
        return;
    Close();
    if (Address.trimmed().isEmpty())
        throw kx::StoreError(QStringLiteral("No address is set for the records store"));
    if (Port < 1 || Port > 65535)
        throw kx::StoreError(QStringLiteral("%1 is no valid port for the records store").arg(Port));

    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(Address.trimmed(), static_cast<quint16>(Port));
    if (!socket->waitForConnected(ConnectTimeoutMs)) {
        if (socket->error() == QAbstractSocket::SocketTimeoutError)
            throw kx::StoreError(QStringLiteral("Records store at %1 did not answer within %2")
                                     .arg(Where(), SecondsText(ConnectTimeoutMs)));
        throw kx::StoreError(QStringLiteral("Could not connect to the records store at %1: %2")
                                 .arg(Where(), socket->errorString()));
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket = std::move(socket);

    // The server refuses any other server object and then closes the connection.
    try {
        Exchange(QJsonObject{{QStringLiteral("op"), QStringLiteral("hello")},
                             {QStringLiteral("server"), m_serverName},
                             {QStringLiteral("protocol"), proto::ProtocolVersion}});
    } catch (const kx::StoreError &) {
        Close();
        throw;
    }
}

void TSocketConnection::NoticeLostConnection()
{
    if (!Connected())
        return;
    // An idle connection has nothing to read; a peer that went away meanwhile
    // shows up here as the end of the stream.
    if (m_socket->bytesAvailable() == 0)
        m_socket->waitForReadyRead(0);
    if (!Connected() || m_socket->bytesAvailable() > 0)
        Close();
}

QJsonObject TSocketConnection::Call(const QJsonObject &request)
{
    LeaveForeignSocket();
    NoticeLostConnection();
    Open();
    return Exchange(request);
}

QJsonObject TSocketConnection::Exchange(const QJsonObject &request)
{
    const QByteArray frame = proto::EncodeMessage(request);
    if (frame.size() - proto::HeaderSize > qsizetype(proto::MaxMessageSize))
        throw kx::StoreError(proto::OversizeText(frame.size() - proto::HeaderSize));

    const QDeadlineTimer deadline(OperationTimeoutMs);
    auto fail = [&]() -> kx::StoreError {
        const bool timedOut =
            deadline.hasExpired() || m_socket->error() == QAbstractSocket::SocketTimeoutError;
        const QString why = m_socket->errorString();
        Close();
        if (timedOut)
            return kx::StoreError(QStringLiteral("Records store at %1 did not answer within %2")
                                      .arg(Where(), SecondsText(OperationTimeoutMs)));
        return kx::StoreError(
            QStringLiteral("Lost the connection to the records store at %1: %2").arg(Where(), why));
    };

    if (m_socket->write(frame) != frame.size())
        throw fail();
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(deadline.remainingTime())))
            throw fail();
    }

    QByteArray buffer;
    QJsonObject reply;
    for (;;) {
        buffer.append(m_socket->readAll());
        QString error;
        const proto::FrameStatus status = proto::TakeMessage(buffer, reply, error);
        if (status == proto::FrameStatus::Complete)
            break;
        if (status != proto::FrameStatus::Incomplete) {
            Close();
            throw kx::StoreError(
                QStringLiteral("The records store at %1 sent a bad answer: %2").arg(Where(), error));
        }
        if (deadline.hasExpired() || !m_socket->waitForReadyRead(int(deadline.remainingTime()))) {
            if (m_socket->bytesAvailable() > 0)
                continue; // the last bytes came with the end of the stream
            throw fail();
        }
    }
    if (!buffer.isEmpty())
        Close(); // more than one answer: the stream is out of step, start afresh next time

    if (reply.value(QStringLiteral("ok")).toBool())
        return reply;
    const QString text = reply.value(QStringLiteral("error")).toString();
    throw kx::StoreError(text.isEmpty() ? QStringLiteral("The records store refused the request") : text);
}

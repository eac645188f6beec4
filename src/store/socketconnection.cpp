#include "socketconnection.h"

#include "connectonce.h"
#include "lockprotocol.h"
#include "platform/recorder.h"
#include "stationkey.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QThread>
#include <unistd.h>

#include <chrono>
#include <utility>

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
    m_received.clear();
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

QString TSocketConnection::Where() const
{
    return QStringLiteral("%1:%2").arg(Address).arg(Port);
}

template <typename Body> auto TSocketConnection::Recorded(const char *name, Body &&body)
{
    const auto started = std::chrono::steady_clock::now();
    const auto record = [&](bool failed) {
        if (m_recorder)
            m_recorder->StoreCall(name, failed, Connected(), std::chrono::steady_clock::now() - started);
    };
    try {
        auto result = body();
        record(false);
        return result;
    } catch (...) {
        record(true);
        throw;
    }
}

void TSocketConnection::Open()
{
    if (Connected())
        return;
    Recorded("connect", [this] {
        Close();
        if (Address.trimmed().isEmpty())
            throw kx::StoreError(QStringLiteral("No address is set for the records store"));
        if (Port < 1 || Port > 65535)
            throw kx::StoreError(QStringLiteral("%1 is no valid port for the records store").arg(Port));
        m_socket = Connect();
        return true;
    });
    // The server speaks first: its greeting carries the nonce the hello's
    // proof covers. It refuses any other server object, or a station without
    // the key it asks for, and then closes the connection.
    try {
        const QJsonObject greeting = Receive(QDeadlineTimer(OperationTimeoutMs));
        m_serverProtocol = greeting.value(QStringLiteral("protocol")).toInt();
        Hello(greeting);
    } catch (const kx::StoreError &) {
        Close();
        throw;
    }
}

std::unique_ptr<QTcpSocket> TSocketConnection::Connect()
{
    if (Tls && !QSslSocket::supportsSsl())
        throw kx::StoreError(
            QStringLiteral("TLS for the records store is not available: Qt finds no OpenSSL"));
    // One attempt: a store that resets the connection while it is being set
    // up fails it at once (see ConnectOnce).
    const kx::ConnectOutcome connected =
        kx::ConnectOnce(Address.trimmed(), static_cast<quint16>(Port), ConnectTimeoutMs);
    if (connected.timedOut)
        throw kx::StoreError(QStringLiteral("Records store at %1 did not answer within %2")
                                 .arg(Where(), SecondsText(ConnectTimeoutMs)));
    if (connected.descriptor < 0)
        throw kx::StoreError(
            QStringLiteral("Could not connect to the records store at %1: %2").arg(Where(), connected.error));
    const auto adopt = [&](QTcpSocket &socket) {
        if (!socket.setSocketDescriptor(connected.descriptor)) {
            ::close(connected.descriptor);
            throw kx::StoreError(QStringLiteral("Could not connect to the records store at %1: %2")
                                     .arg(Where(), socket.errorString()));
        }
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    };
    if (!Tls) {
        auto socket = std::make_unique<QTcpSocket>();
        adopt(*socket);
        return socket;
    }

    QString fingerprint = TlsFingerprint.toLower();
    fingerprint.remove(u':').remove(u' ');
    auto socket = std::make_unique<QSslSocket>();
    // With a fingerprint the certificate is compared with it below; without
    // one the system's trust store and the address decide.
    socket->setPeerVerifyMode(fingerprint.isEmpty() ? QSslSocket::VerifyPeer : QSslSocket::QueryPeer);
    socket->setProtocol(QSsl::TlsV1_2OrLater);
    adopt(*socket);
    socket->setPeerVerifyName(Address.trimmed()); // the name the certificate must carry
    socket->startClientEncryption();
    if (!socket->waitForEncrypted(ConnectTimeoutMs)) {
        QStringList reasons;
        for (const QSslError &e : socket->sslHandshakeErrors())
            reasons << e.errorString();
        if (reasons.isEmpty())
            reasons << socket->errorString();
        throw kx::StoreError(QStringLiteral("TLS with the records store at %1 failed: %2")
                                 .arg(Where(), reasons.join(QStringLiteral("; "))));
    }
    if (!fingerprint.isEmpty()) {
        const QString presented =
            QString::fromLatin1(socket->peerCertificate().digest(QCryptographicHash::Sha256).toHex());
        if (!kx::stationkey::SameProof(presented, fingerprint))
            throw kx::StoreError(QStringLiteral("The records store at %1 presented a certificate whose "
                                                "fingerprint is not TlsFingerprint; it may not be the "
                                                "hotel's lockserver")
                                     .arg(Where()));
    }
    return socket;
}

void TSocketConnection::Hello(const QJsonObject &greeting)
{
    namespace sk = kx::stationkey;
    QJsonObject hello{{QStringLiteral("op"), QStringLiteral("hello")},
                      {QStringLiteral("server"), m_serverName},
                      {QStringLiteral("protocol"), proto::ProtocolVersion}};
    if (!Station.isEmpty())
        hello.insert(QStringLiteral("station"), Station);
    if (KeyFile.isEmpty()) {
        Exchange(hello); // a server that asks for a key refuses it, with its reason
        return;
    }
    QList<sk::StationKey> keys;
    try {
        keys = sk::ReadKeyFile(KeyFile);
    } catch (const kx::Error &e) {
        throw kx::StoreError(e.text());
    }
    const QString serverNonce = greeting.value(QStringLiteral("nonce")).toString();
    if (!greeting.value(QStringLiteral("stationKey")).toBool() || !sk::IsNonce(serverNonce))
        throw kx::StoreError(
            QStringLiteral("The records store at %1 asks for no station key, but this station "
                           "has one: start its lockserver with --key-file")
                .arg(Where()));
    const QString stationNonce = sk::NewNonce();
    const QByteArray &secret = keys.first().secret;
    hello.insert(QStringLiteral("nonce"), stationNonce);
    hello.insert(QStringLiteral("proof"), sk::Proof(secret, sk::Role::Station, serverNonce, stationNonce));
    const QJsonObject reply = Exchange(hello);
    if (!sk::SameProof(reply.value(QStringLiteral("proof")).toString(),
                       sk::Proof(secret, sk::Role::Server, serverNonce, stationNonce)))
        throw kx::StoreError(QStringLiteral("The records store at %1 could not prove the station key; it may "
                                            "not be the hotel's lockserver")
                                 .arg(Where()));
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
    return CallAll(request, nullptr).last();
}

kx::StoreError TSocketConnection::Failure(const QDeadlineTimer &deadline)
{
    const bool timedOut = deadline.hasExpired() || m_socket->error() == QAbstractSocket::SocketTimeoutError;
    const QString why = m_socket->errorString();
    Close();
    if (timedOut)
        return kx::StoreError(QStringLiteral("Records store at %1 did not answer within %2")
                                  .arg(Where(), SecondsText(OperationTimeoutMs)));
    return kx::StoreError(
        QStringLiteral("Lost the connection to the records store at %1: %2").arg(Where(), why));
}

QJsonObject TSocketConnection::Exchange(const QJsonObject &request)
{
    return Exchange(QList<QJsonObject>{request}).last();
}

QList<QJsonObject> TSocketConnection::Exchange(const QList<QJsonObject> &requests)
{
    // Named by the protocol's operations it carries ("open", "open+apply"),
    // never by request data.
    QByteArray name;
    for (const QJsonObject &request : requests)
        name += (name.isEmpty() ? "" : "+") + request.value(QStringLiteral("op")).toString().toLatin1();
    return Recorded(name.constData(), [&] { return ExchangeMessages(requests); });
}

QList<QJsonObject> TSocketConnection::ExchangeMessages(const QList<QJsonObject> &requests)
{
    QByteArray frames;
    for (const QJsonObject &request : requests) {
        const QByteArray frame = proto::EncodeMessage(request);
        if (frame.size() - proto::HeaderSize > qsizetype(proto::MaxMessageSize))
            throw kx::StoreError(proto::OversizeText(frame.size() - proto::HeaderSize));
        frames += frame;
    }

    const QDeadlineTimer deadline(OperationTimeoutMs);
    if (m_socket->write(frames) != frames.size())
        throw Failure(deadline);
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(int(deadline.remainingTime())))
            throw Failure(deadline);
    }
    // Every answer is read before any refusal is raised, so that the stream
    // stays in step; the first refusal is the one raised.
    QList<QJsonObject> answers;
    for (qsizetype i = 0; i < requests.size(); ++i)
        answers << ReceiveMessage(deadline, i == requests.size() - 1);
    for (const QJsonObject &answer : answers)
        RaiseRefusal(answer);
    return answers;
}

QJsonObject TSocketConnection::Receive(const QDeadlineTimer &deadline)
{
    const QJsonObject reply = ReceiveMessage(deadline, true);
    RaiseRefusal(reply);
    return reply;
}

QJsonObject TSocketConnection::ReceiveMessage(const QDeadlineTimer &deadline, bool last)
{
    QJsonObject reply;
    for (;;) {
        m_received.append(m_socket->readAll());
        QString error;
        const proto::FrameStatus status = proto::TakeMessage(m_received, reply, error);
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
            throw Failure(deadline);
        }
    }
    if (last && !m_received.isEmpty())
        Close(); // more answers than requests: the stream is out of step, start afresh next time
    return reply;
}

void TSocketConnection::RaiseRefusal(const QJsonObject &reply)
{
    if (reply.value(QStringLiteral("ok")).toBool())
        return;
    const QString text = reply.value(QStringLiteral("error")).toString();
    throw kx::StoreError(text.isEmpty() ? QStringLiteral("The records store refused the request") : text);
}

void TSocketConnection::Post(const QJsonObject &request, const void *owner)
{
    m_posted.reset();
    m_postedAnswer.reset();
    m_postedOwner = owner;
    LeaveForeignSocket();
    NoticeLostConnection();
    Open();
    if (m_serverProtocol >= proto::PipeliningVersion)
        m_posted = request;
    else
        m_postedAnswer = Exchange(request); // a server that answers each request on its own
}

QList<QJsonObject> TSocketConnection::CallAll(const std::optional<QJsonObject> &request, const void *owner)
{
    // What was posted goes out only with a call of its own owner; it is gone
    // after this call whatever happens.
    const bool mine = m_postedOwner == owner;
    const std::optional<QJsonObject> posted = std::exchange(m_posted, std::nullopt);
    const std::optional<QJsonObject> postedAnswer = std::exchange(m_postedAnswer, std::nullopt);
    m_postedOwner = nullptr;

    QList<QJsonObject> answers;
    if (mine && postedAnswer)
        answers << *postedAnswer;
    QList<QJsonObject> requests;
    if (mine && posted)
        requests << *posted;
    if (request)
        requests << *request;
    if (requests.isEmpty())
        return answers;

    LeaveForeignSocket();
    NoticeLostConnection();
    Open();
    if (m_serverProtocol < proto::PipeliningVersion) {
        // Connected again to a server that answers each request on its own:
        // one after another, the first refusal ending the rest.
        for (const QJsonObject &each : requests)
            answers << Exchange(each);
        return answers;
    }
    for (qsizetype i = 1; i < requests.size(); ++i)
        requests[i].insert(proto::IfPreviousOkKey, true);
    return answers + Exchange(requests);
}

#pragma once

#include "platform/errors.h"

#include <QDeadlineTimer>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class QTcpSocket;

namespace kx {
class Recorder;
}

// The client end of the lockserver protocol (see docs/lockserver-protocol.md).
// Blocking calls with timeouts; a lost connection is noticed at the next call,
// which connects again with the address, port and server name last set.
// An open connection belongs to the thread that opened it: a call from
// another thread opens one of its own (calls never overlap).
class TSocketConnection
{
public:
    TSocketConnection();
    ~TSocketConnection();

    QString Address;
    int Port = 2008;
    // Names this station to the server in the hello, so that the room it is
    // checking in stays its own across a reconnection; empty: not named.
    QString Station;

    // Setting the server name closes any open connection.
    void SetServerName(const QString &name);
    QString ServerName() const { return m_serverName; }

    // Raise kx::StoreError with a clear text on failure.
    void Open();
    void Close();
    bool Connected() const;

    // Sends one request and returns the answer; connects first if needed.
    // A server error comes back as kx::StoreError carrying the server's text.
    QJsonObject Call(const QJsonObject &request);

    // A request whose answer is not needed before the next one of the same
    // owner (a dataset): with a server that takes requests that way it waits,
    // and goes out with owner's next call in one write; with another server
    // it is sent at once. Its answer is among that call's answers, and its
    // refusal is raised there (the requests after it are then not run). A
    // newer post, or a call of another owner, drops a post not yet sent.
    void Post(const QJsonObject &request, const void *owner);
    // Sends what owner posted and then request (when there is one), in one
    // write, and gives every answer in order; raises the first refusal.
    QList<QJsonObject> CallAll(const std::optional<QJsonObject> &request, const void *owner);

    int ConnectTimeoutMs = 10000;
    int OperationTimeoutMs = 30000;

    // The station's key file (absolute path); empty: the station proves no key.
    QString KeyFile;
    // Connect with TLS; the server's certificate must have this SHA-256
    // fingerprint (hexadecimal, ':' and spaces allowed) or, when it is empty,
    // be trusted by the system for the address.
    bool Tls = false;
    QString TlsFingerprint;

    // Told of every connect and every message exchanged (may be null).
    void SetRecorder(kx::Recorder *recorder) { m_recorder = recorder; }

private:
    // Runs body, telling the recorder how long it took and whether it failed.
    template <typename Body> auto Recorded(const char *name, Body &&body);
    // "address:port" for error texts.
    QString Where() const;
    // Closes a connection whose peer went away while it was idle.
    void NoticeLostConnection();
    // Hands a socket opened on another thread back to that thread to be
    // deleted there: its notifiers live on that thread.
    void LeaveForeignSocket();
    // Makes the connection, TLS when asked for, and checks the certificate.
    std::unique_ptr<QTcpSocket> Connect();
    // The hello, with the station key's proof when there is a key file.
    void Hello(const QJsonObject &greeting);
    // Sends one message on the open connection and waits for its answer.
    QJsonObject Exchange(const QJsonObject &request);
    // Sends messages in one write and waits for all their answers.
    QList<QJsonObject> Exchange(const QList<QJsonObject> &requests);
    QList<QJsonObject> ExchangeMessages(const QList<QJsonObject> &requests);
    // Waits for the next message; raises its error text when it is a refusal.
    QJsonObject Receive(const QDeadlineTimer &deadline);
    // Waits for the next message. After the last one expected, bytes left
    // over mean the stream is out of step: the connection is closed.
    QJsonObject ReceiveMessage(const QDeadlineTimer &deadline, bool last);
    // Raises kx::StoreError with a refusal's text.
    static void RaiseRefusal(const QJsonObject &reply);
    // Closes the connection and gives the error for its loss or its timeout.
    kx::StoreError Failure(const QDeadlineTimer &deadline);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_serverName;
    // The protocol version the server's greeting gave.
    int m_serverProtocol = 0;
    // Bytes received and not yet taken as a message.
    QByteArray m_received;
    // Post's request not yet sent, or its answer when it was sent at once.
    std::optional<QJsonObject> m_posted;
    std::optional<QJsonObject> m_postedAnswer;
    const void *m_postedOwner = nullptr;
    kx::Recorder *m_recorder = nullptr;
};

#pragma once

#include <QJsonObject>
#include <QString>
#include <memory>

class QTcpSocket;

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

    int ConnectTimeoutMs = 10000;
    int OperationTimeoutMs = 30000;

private:
    // "address:port" for error texts.
    QString Where() const;
    // Closes a connection whose peer went away while it was idle.
    void NoticeLostConnection();
    // Hands a socket opened on another thread back to that thread to be
    // deleted there: its notifiers live on that thread.
    void LeaveForeignSocket();
    // Sends one message on the open connection and waits for its answer.
    QJsonObject Exchange(const QJsonObject &request);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_serverName;
};

#pragma once

#include "cardinterface.h"
#include "cardoperations.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

class QTcpServer;
class QTcpSocket;

namespace kx {

class ConnectionLog;
class Notifier;
class ProgramFolder;

// The TCP listener of the front-desk interface. Every block of bytes that a
// connection delivers is one request frame: it is decoded, the card operation
// that its command asks for runs, one row goes to the connection log and the
// reply goes back on the same connection. Everything runs on the thread of
// the event loop, one event after another.
class InterfaceServer : public QObject
{
    Q_OBJECT

public:
    InterfaceServer(CardOperations &ops, const ProgramFolder &folder, ConnectionLog &log, Notifier &notifier,
                    QObject *parent = nullptr);
    ~InterfaceServer() override;

    // Raises kx::Error when the address and port cannot be taken.
    void Listen(const QHostAddress &address, quint16 port);
    quint16 ServerPort() const;
    bool IsListening() const;
    // Stops listening and drops every open connection.
    void Close();

    // The request in progress, or the last check-in's or card read's data.
    const TCardInterface &CurrentRequest() const { return m_currentRequest; }

private:
    void ServerSocketAccept();
    void ServerSocketClientRead(QTcpSocket &client);
    void ServerSocketClientDisconnect(QTcpSocket &client);
    void ServerSocketClientError(QTcpSocket &client);
    void AddLogRow(QTcpSocket &client, const QString &operation);
    // Deletes a closed connection once no request is using it.
    void Retire(QTcpSocket &client);

    // Serves every block the connection has pending, one receive at a time.
    void ServeConnection(QTcpSocket &client);
    // One received block: decode it and serve the request it holds.
    void HandleFrame(QTcpSocket &client, const std::uint8_t *buffer, int n);
    void CheckIn(QTcpSocket &client, const TCardInterface &request);
    void CheckOut(QTcpSocket &client, const TCardInterface &request);
    void ReadCard(QTcpSocket &client);
    void Fail(QTcpSocket &client, int result);
    void Send(QTcpSocket &client, const std::uint8_t *reply, int length);
    void SendResult(QTcpSocket &client, int code);

    CardOperations &m_ops;
    const ProgramFolder &m_folder;
    ConnectionLog &m_log;
    Notifier &m_notifier;
    QTcpServer *m_server; // child of this; the connections are its children
    TCardInterface m_currentRequest;

    struct Peer
    {
        QHostAddress address; // kept from the accept, for the rows written as it closes
        bool failed = false;  // ended by a socket error: no disconnect row
    };
    QHash<const QTcpSocket *, Peer> m_peers;

    // A card operation or an error report may run a nested event loop; a
    // block that arrives meanwhile waits here until the request in progress
    // is done, so that requests never overlap.
    bool m_serving = false;
    QList<QPointer<QTcpSocket>> m_waiting;
    // Connections closed while a request was served; deleted when it is done,
    // since a nested event loop could otherwise delete one still in use.
    QList<QPointer<QTcpSocket>> m_retired;
};

} // namespace kx

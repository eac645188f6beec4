#pragma once

#include "cardinterface.h"
#include "cardoperations.h"
#include "resulttext.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace kx {

class ConnectionLog;
class HostNames;
class LogWriter;
class Notifier;
class ProgramFolder;
class Recorder;
class RequestThread;

// The TCP listener of the front-desk interface. Every block of bytes that a
// connection delivers is one request frame: it is decoded, the card operation
// that its command asks for runs, one row goes to the connection log and the
// reply goes back on the same connection.
//
// Requests are served strictly one after another in the order their bytes
// arrived. Sockets, rows and replies stay on the event loop's thread; a
// request's card operation runs on the request thread, so that the event loop
// (and the windows) go on while it waits for the records store or the encoder.
class InterfaceServer : public QObject
{
    Q_OBJECT

public:
    // ops are only ever called on requests; rows take their host names from names.
    InterfaceServer(CardOperations &ops, RequestThread &requests, const ProgramFolder &folder,
                    ConnectionLog &log, HostNames &names, Notifier &notifier, QObject *parent = nullptr);
    // With a request thread and host names of its own.
    InterfaceServer(CardOperations &ops, const ProgramFolder &folder, ConnectionLog &log, Notifier &notifier,
                    QObject *parent = nullptr);
    // Waits for the request in progress, if any, to finish its card operation.
    ~InterfaceServer() override;

    // Raises kx::Error when the address and port cannot be taken.
    void Listen(const QHostAddress &address, quint16 port);
    quint16 ServerPort() const;
    bool IsListening() const;
    // Stops listening, drops every open connection and writes the rows still
    // waiting for a host name.
    void Close();

    // Told of every request served and of the open connections (may be null).
    void SetRecorder(Recorder *recorder) { m_recorder = recorder; }

    // The request in progress, or the last check-in's or card read's data.
    // Changed on the request thread: read it between requests.
    const TCardInterface &CurrentRequest() const { return m_currentRequest; }

private:
    // What a request's card operation leaves for the event loop's thread:
    // one row and one reply on the request's connection.
    struct Answer
    {
        QString operation;       // the row's text
        QByteArray reply;        // the bytes to send
        bool replyFirst = false; // the reply goes out before the row is written
        int code = 0;            // the result code it carries, for the recorder
    };
    using Operation = std::function<Answer()>;

    struct Owned;
    InterfaceServer(std::unique_ptr<Owned> owned, CardOperations &ops, const ProgramFolder &folder,
                    ConnectionLog &log, Notifier &notifier, QObject *parent);

    void ServerSocketAccept();
    void ServerSocketClientRead(QTcpSocket &client);
    void ServerSocketClientDisconnect(QTcpSocket &client);
    void ServerSocketClientError(QTcpSocket &client);
    void AddLogRow(QTcpSocket &client, const QString &operation);
    // Deletes a closed connection once no request is using it.
    void Retire(QTcpSocket &client);

    // Takes the next waiting block, unless a request is being served.
    void ServeNext();
    // One received block: decode it and serve the request it holds.
    void HandleFrame(QTcpSocket &client, const std::uint8_t *buffer, int n);
    // Runs the operation on the request thread; Finish takes its answer.
    void Dispatch(QTcpSocket &client, Operation operation);
    void Finish(const Answer &answer, const std::exception_ptr &raised);
    // The request is done: the next one may start.
    void Done();
    void Report(const std::exception_ptr &raised);
    // Tells the recorder the request is done with this result code.
    void Record(int code);
    void ConnectionsChanged();

    // Card operations: they run on the request thread.
    Answer CheckIn(const TCardInterface &request);
    Answer CheckOut(const TCardInterface &request);
    Answer ReadCard();
    // A duplicate or one-shot key's outcome: its row and its result reply.
    Answer KeyAnswer(int result, const QString &okText) const;
    Answer Failure(int result, ResultScope scope = ResultScope::StayRequests) const;
    static QByteArray ResultReply(int code);

    void Send(QTcpSocket &client, const QByteArray &reply);

    std::unique_ptr<Owned> m_owned; // the short constructor's request thread and host names
    CardOperations &m_ops;
    RequestThread &m_requests;
    const ProgramFolder &m_folder;
    Notifier &m_notifier;
    std::unique_ptr<LogWriter> m_rows;
    Recorder *m_recorder = nullptr;
    QTcpServer *m_server; // child of this; the connections are its children
    TCardInterface m_currentRequest;

    struct Peer
    {
        QHostAddress address; // kept from the accept, for the rows written as it closes
        bool failed = false;  // ended by a socket error: no disconnect row
    };
    QHash<const QTcpSocket *, Peer> m_peers;

    // Connections with bytes not yet served, in the order their bytes came.
    QList<QPointer<QTcpSocket>> m_waiting;
    // Set from taking a block until its request is done, error report included.
    bool m_serving = false;
    // The connection whose request is at the request thread, until it is done.
    QPointer<QTcpSocket> m_client;
    bool m_atRequestThread = false;
    // The request being served, for the recorder.
    int m_command = 0;
    std::chrono::steady_clock::time_point m_started;
    // Connections closed while a request was served; deleted when it is done,
    // since its answer or a nested event loop could otherwise meet a deleted one.
    QList<QPointer<QTcpSocket>> m_retired;
};

} // namespace kx

#include "interfaceserver.h"

#include "clientallowlist.h"
#include "codec.h"
#include "connectionlog.h"
#include "hostnames.h"
#include "logwriter.h"
#include "peeraddress.h"
#include "resulttext.h"

#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/profile.h"
#include "platform/programfolder.h"
#include "platform/recorder.h"
#include "platform/requestthread.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <array>
#include <cstdlib>
#include <utility>

namespace kx {

namespace {

const QString ClientConnectionText = QStringLiteral("Client connection");
const QString ClientDisconnectionText = QStringLiteral("Disclient connection");
const QString ClientRefusedText = QStringLiteral("Client refused: not in AllowedClients");
const QString CheckInOkText = QStringLiteral("Guest check in ok");
const QString CheckOutOkText = QStringLiteral("Guest check out ok");
const QString ReadCardText = QStringLiteral("Read card");
const QString GCheckInText = QStringLiteral("G Guest check in");
const QString DuplicateKeyOkText = QStringLiteral("Duplicate key ok");
const QString OneShotKeyOkText = QStringLiteral("One-shot key ok");

constexpr int CheckInSuccess = 0;
constexpr int CheckOutSuccess = 1;
constexpr int ReadCardSuccess = 1;
constexpr int KeySuccess = 0;

// The reply carries one byte of result code. A code that does not fit would
// come out as another code (256 as 0, success), so it is sent as unknown.
int ReplyCode(qint64 code)
{
    return code <= 0xFF ? static_cast<int>(code) : UnknownResultCode;
}

} // namespace

struct InterfaceServer::Owned
{
    RequestThread requests;
    HostNames names;
};

InterfaceServer::InterfaceServer(CardOperations &ops, RequestThread &requests, const ProgramFolder &folder,
                                 ConnectionLog &log, HostNames &names, Notifier &notifier, QObject *parent)
    : QObject(parent), m_ops(ops), m_requests(requests), m_folder(folder), m_notifier(notifier),
      m_rows(std::make_unique<LogWriter>(log, names)), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &InterfaceServer::ServerSocketAccept);
}

InterfaceServer::InterfaceServer(CardOperations &ops, const ProgramFolder &folder, ConnectionLog &log,
                                 Notifier &notifier, QObject *parent)
    : InterfaceServer(std::make_unique<Owned>(), ops, folder, log, notifier, parent)
{
}

InterfaceServer::InterfaceServer(std::unique_ptr<Owned> owned, CardOperations &ops,
                                 const ProgramFolder &folder, ConnectionLog &log, Notifier &notifier,
                                 QObject *parent)
    : InterfaceServer(ops, owned->requests, folder, log, owned->names, notifier, parent)
{
    m_owned = std::move(owned);
}

InterfaceServer::~InterfaceServer()
{
    // A card operation in progress uses this object until it returns; its
    // answer, posted here, is dropped with the object.
    if (m_atRequestThread)
        m_requests.Run([] {});
    // The connections die with m_server after this object has gone; they
    // must not call back into it on their way out.
    for (QTcpSocket *client : m_server->findChildren<QTcpSocket *>())
        client->disconnect(this);
}

void InterfaceServer::Listen(const QHostAddress &address, quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    if (!m_server->listen(address, port))
        throw Error(QStringLiteral("Cannot listen on %1 port %2: %3")
                        .arg(address.toString())
                        .arg(port)
                        .arg(m_server->errorString()));
}

quint16 InterfaceServer::ServerPort() const
{
    return m_server->serverPort();
}

bool InterfaceServer::IsListening() const
{
    return m_server->isListening();
}

void InterfaceServer::Close()
{
    m_server->close();
    for (QTcpSocket *client : m_server->findChildren<QTcpSocket *>()) {
        client->abort(); // writes its disconnect row and retires it
    }
    m_rows->Flush();
}

void InterfaceServer::ServerSocketAccept()
{
    while (QTcpSocket *client = m_server->nextPendingConnection()) {
        // Read at each accept, as the other settings are read where they are used.
        const ClientAllowList allowed(
            ProfileFile(m_folder.SettingsPath())
                .ReadString(QStringLiteral("Interface"), QStringLiteral("AllowedClients"), QString()));
        if (!allowed.Allows(client->peerAddress())) {
            AddLogRow(*client, ClientRefusedText);
            client->abort();
            client->deleteLater();
            continue;
        }
        m_peers.insert(client, Peer{client->peerAddress(), false});
        ConnectionsChanged();
        connect(client, &QObject::destroyed, this, [this, client] {
            m_peers.remove(client);
            ConnectionsChanged();
        });
        connect(client, &QTcpSocket::readyRead, this, [this, client] { ServerSocketClientRead(*client); });
        connect(client, &QTcpSocket::disconnected, this,
                [this, client] { ServerSocketClientDisconnect(*client); });
        connect(client, &QTcpSocket::errorOccurred, this,
                [this, client] { ServerSocketClientError(*client); });
        AddLogRow(*client, ClientConnectionText);
    }
}

void InterfaceServer::ServerSocketClientDisconnect(QTcpSocket &client)
{
    if (!m_peers.value(&client).failed)
        AddLogRow(client, ClientDisconnectionText);
    Retire(client);
}

void InterfaceServer::Retire(QTcpSocket &client)
{
    if (!m_serving)
        client.deleteLater();
    else if (!m_retired.contains(&client))
        m_retired.append(&client);
}

void InterfaceServer::ServerSocketClientError(QTcpSocket &client)
{
    // The peer closing its end is the normal way a connection ends.
    if (client.error() == QAbstractSocket::RemoteHostClosedError)
        return;
    auto peer = m_peers.find(&client);
    if (peer != m_peers.end())
        peer->failed = true;
    m_notifier.ReportError(client.errorString());
}

void InterfaceServer::AddLogRow(QTcpSocket &client, const QString &operation)
{
    m_rows->AddLogRow(m_peers.value(&client, Peer{client.peerAddress(), false}).address, operation);
}

void InterfaceServer::ServerSocketClientRead(QTcpSocket &client)
{
    if (!m_waiting.contains(&client))
        m_waiting.append(&client);
    ServeNext();
}

void InterfaceServer::ServeNext()
{
    while (!m_serving && !m_waiting.isEmpty()) {
        const QPointer<QTcpSocket> client = m_waiting.takeFirst();
        if (!client)
            continue;
        // One receive of at most one buffer's worth: what is left over is
        // served as a block of its own, after the blocks that came before it.
        std::array<std::uint8_t, ReceiveBufferSize> buffer{};
        const qint64 n = client->read(reinterpret_cast<char *>(buffer.data()), buffer.size());
        if (n <= 0)
            continue;
        if (client->bytesAvailable() > 0)
            m_waiting.append(client);
        m_serving = true;
        m_started = std::chrono::steady_clock::now();
        m_command = 0;
        try {
            HandleFrame(*client, buffer.data(), static_cast<int>(n));
            if (!m_atRequestThread)
                Record(Recorder::NoReply); // a G request or a rejected frame
        } catch (...) {
            Record(Recorder::RaisedError);
            Report(std::current_exception());
        }
        if (!m_atRequestThread)
            Done(); // served here and now: nothing went to the request thread
    }
}

void InterfaceServer::HandleFrame(QTcpSocket &client, const std::uint8_t *buffer, int n)
{
    int command = 0;
    TCardInterface request;
    DecodeRequest(buffer, n, command, request); // a rejected frame leaves the command at 0
    m_command = command;

    switch (command) {
    case CheckInCommand: Dispatch(client, [this, request] { return CheckIn(request); }); break;
    case GCommand: AddLogRow(client, GCheckInText); break;
    case CheckOutCommand: Dispatch(client, [this, request] { return CheckOut(request); }); break;
    case ReadCardCommand: Dispatch(client, [this] { return ReadCard(); }); break;
    case DuplicateKeyCommand:
        Dispatch(client,
                 [this, request] { return KeyAnswer(m_ops.DuplicateKey(request), DuplicateKeyOkText); });
        break;
    case OneShotKeyCommand:
        Dispatch(client, [this, request] { return KeyAnswer(m_ops.OneShotKey(request), OneShotKeyOkText); });
        break;
    default: break; // rejected: no row, no reply
    }
}

void InterfaceServer::Dispatch(QTcpSocket &client, Operation operation)
{
    m_client = &client;
    m_atRequestThread = true;
    m_requests.Post([this, operation = std::move(operation)] {
        Answer answer;
        std::exception_ptr raised;
        try {
            answer = operation();
        } catch (...) {
            raised = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer), raised] { Finish(answer, raised); },
            Qt::QueuedConnection);
    });
}

void InterfaceServer::Finish(const Answer &answer, const std::exception_ptr &raised)
{
    m_atRequestThread = false;
    int code = Recorder::RaisedError; // until the reply has gone out
    try {
        if (raised)
            std::rethrow_exception(raised);
        if (m_client) {
            if (answer.replyFirst)
                Send(*m_client, answer.reply);
            AddLogRow(*m_client, answer.operation);
            if (!answer.replyFirst)
                Send(*m_client, answer.reply);
            code = answer.code;
            // The request thread is idle until the next request is posted.
            m_ops.Answered();
        }
    } catch (...) {
        Report(std::current_exception());
    }
    Record(code);
    Done();
    ServeNext();
}

void InterfaceServer::Done()
{
    m_client = nullptr;
    m_atRequestThread = false;
    m_serving = false;
    for (const QPointer<QTcpSocket> &client : std::exchange(m_retired, {}))
        if (client)
            client->deleteLater();
}

void InterfaceServer::Record(int code)
{
    if (m_recorder)
        m_recorder->RequestServed(m_command, code, std::chrono::steady_clock::now() - m_started);
}

void InterfaceServer::ConnectionsChanged()
{
    if (m_recorder)
        m_recorder->ConnectionsChanged(int(m_peers.size()));
}

void InterfaceServer::Report(const std::exception_ptr &raised)
{
    try {
        std::rethrow_exception(raised);
    } catch (const Error &e) {
        m_notifier.ReportError(e.text());
    } catch (const std::exception &e) {
        m_notifier.ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        m_notifier.ReportError(QStringLiteral("Unknown error while serving a request"));
    }
}

InterfaceServer::Answer InterfaceServer::CheckIn(const TCardInterface &request)
{
    m_currentRequest = request;
    if (const int r = m_ops.CheckRoom(m_currentRequest.Room); r != CheckInSuccess)
        return Failure(r);
    if (const int r = m_ops.CheckInCard(m_currentRequest); r != CheckInSuccess)
        return Failure(r);
    m_ops.AddCardRecord(m_currentRequest);
    m_ops.AddGuestRecord(m_currentRequest);
    return Answer{CheckInOkText, ResultReply(0)};
}

InterfaceServer::Answer InterfaceServer::CheckOut(const TCardInterface &request)
{
    if (const int r = m_ops.CheckOut(request.Room); r != CheckOutSuccess)
        return Failure(r);
    return Answer{CheckOutOkText, ResultReply(0)};
}

InterfaceServer::Answer InterfaceServer::ReadCard()
{
    if (const int r = m_ops.ReadCardInfo(m_currentRequest); r != ReadCardSuccess)
        return Failure(r);
    std::array<std::uint8_t, ReplyBufferSize> reply{};
    const int length = BuildCardReply(m_currentRequest, reply.data());
    return Answer{ReadCardText, QByteArray(reinterpret_cast<const char *>(reply.data()), length), true};
}

InterfaceServer::Answer InterfaceServer::KeyAnswer(int result, const QString &okText) const
{
    if (result != KeySuccess)
        return Failure(result, ResultScope::KeyRequests);
    return Answer{okText, ResultReply(0)};
}

InterfaceServer::Answer InterfaceServer::Failure(int result, ResultScope scope) const
{
    const int code = ReplyCode(std::abs(static_cast<qint64>(result)));
    return Answer{GetResultText(m_folder, static_cast<qint16>(code), scope), ResultReply(code), false, code};
}

QByteArray InterfaceServer::ResultReply(int code)
{
    std::array<std::uint8_t, ResultReplySize> reply{};
    const int length = BuildResultReply(code, reply.data());
    return QByteArray(reinterpret_cast<const char *>(reply.data()), length);
}

void InterfaceServer::Send(QTcpSocket &client, const QByteArray &reply)
{
    if (client.write(reply) != reply.size())
        throw Error(QStringLiteral("Could not send the reply to %1: %2")
                        .arg(PeerAddressText(m_peers.value(&client).address), client.errorString()));
    client.flush();
}

} // namespace kx

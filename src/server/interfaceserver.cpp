#include "interfaceserver.h"

#include "codec.h"
#include "connectionlog.h"
#include "peeraddress.h"
#include "resulttext.h"

#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"

#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>

#include <array>
#include <cstdlib>
#include <utility>

namespace kx {

namespace {

const QString ClientConnectionText = QStringLiteral("Client connection");
const QString ClientDisconnectionText = QStringLiteral("Disclient connection");
const QString CheckInOkText = QStringLiteral("Guest check in ok");
const QString CheckOutOkText = QStringLiteral("Guest check out ok");
const QString ReadCardText = QStringLiteral("Read card");
const QString GCheckInText = QStringLiteral("G Guest check in");

constexpr int CheckInSuccess = 0;
constexpr int CheckOutSuccess = 1;
constexpr int ReadCardSuccess = 1;

// The reply carries one byte of result code. A code that does not fit would
// come out as another code (256 as 0, success), so it is sent as unknown.
int ReplyCode(qint64 code)
{
    return code <= 0xFF ? static_cast<int>(code) : UnknownResultCode;
}

} // namespace

InterfaceServer::InterfaceServer(CardOperations &ops, const ProgramFolder &folder, ConnectionLog &log,
                                 Notifier &notifier, QObject *parent)
    : QObject(parent), m_ops(ops), m_folder(folder), m_log(log), m_notifier(notifier),
      m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &InterfaceServer::ServerSocketAccept);
}

InterfaceServer::~InterfaceServer()
{
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
}

void InterfaceServer::ServerSocketAccept()
{
    while (QTcpSocket *client = m_server->nextPendingConnection()) {
        m_peers.insert(client, Peer{client->peerAddress(), false});
        connect(client, &QObject::destroyed, this, [this, client] { m_peers.remove(client); });
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
    const QHostAddress address = m_peers.value(&client, Peer{client.peerAddress(), false}).address;
    m_log.AddLogRow(PeerAddressText(address), ReverseLookup(address), operation);
}

void InterfaceServer::ServerSocketClientRead(QTcpSocket &client)
{
    if (m_serving) {
        if (!m_waiting.contains(&client))
            m_waiting.append(&client);
        return;
    }
    m_serving = true;
    const auto done = qScopeGuard([this] {
        m_serving = false;
        for (const QPointer<QTcpSocket> &client : std::exchange(m_retired, {}))
            if (client)
                client->deleteLater();
    });
    ServeConnection(client);
    while (!m_waiting.isEmpty()) {
        const QPointer<QTcpSocket> next = m_waiting.takeFirst();
        if (next)
            ServeConnection(*next);
    }
}

void InterfaceServer::ServeConnection(QTcpSocket &client)
{
    const QPointer<QTcpSocket> alive(&client);
    do {
        // One receive of at most one buffer's worth: what is left over is
        // served as a block of its own, as if it had come in a later event.
        std::array<std::uint8_t, ReceiveBufferSize> buffer{};
        const qint64 n = client.read(reinterpret_cast<char *>(buffer.data()), buffer.size());
        if (n <= 0)
            return;
        try {
            HandleFrame(client, buffer.data(), static_cast<int>(n));
        } catch (const Error &e) {
            m_notifier.ReportError(e.text());
        } catch (const std::exception &e) {
            m_notifier.ReportError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            m_notifier.ReportError(QStringLiteral("Unknown error while serving a request"));
        }
    } while (alive && client.bytesAvailable() > 0);
}

void InterfaceServer::HandleFrame(QTcpSocket &client, const std::uint8_t *buffer, int n)
{
    int command = 0;
    TCardInterface request;
    DecodeRequest(buffer, n, command, request); // a rejected frame leaves the command at 0

    switch (command) {
    case 'I': CheckIn(client, request); break;
    case 'G': AddLogRow(client, GCheckInText); break;
    case 'B': CheckOut(client, request); break;
    case 'E': ReadCard(client); break;
    default: break; // rejected: no row, no reply
    }
}

void InterfaceServer::CheckIn(QTcpSocket &client, const TCardInterface &request)
{
    m_currentRequest = request;
    if (const int r = m_ops.CheckRoom(m_currentRequest.Room); r != CheckInSuccess)
        return Fail(client, r);
    if (const int r = m_ops.CheckInCard(m_currentRequest); r != CheckInSuccess)
        return Fail(client, r);
    m_ops.AddCardRecord(m_currentRequest);
    m_ops.AddGuestRecord(m_currentRequest);
    AddLogRow(client, CheckInOkText);
    SendResult(client, 0);
}

void InterfaceServer::CheckOut(QTcpSocket &client, const TCardInterface &request)
{
    if (const int r = m_ops.CheckOut(request.Room); r != CheckOutSuccess)
        return Fail(client, r);
    AddLogRow(client, CheckOutOkText);
    SendResult(client, 0);
}

void InterfaceServer::ReadCard(QTcpSocket &client)
{
    if (const int r = m_ops.ReadCardInfo(m_currentRequest); r != ReadCardSuccess)
        return Fail(client, r);
    std::array<std::uint8_t, ReplyBufferSize> reply{};
    Send(client, reply.data(), BuildCardReply(m_currentRequest, reply.data()));
    AddLogRow(client, ReadCardText);
}

void InterfaceServer::Fail(QTcpSocket &client, int result)
{
    const int code = ReplyCode(std::abs(static_cast<qint64>(result)));
    AddLogRow(client, GetResultText(m_folder, static_cast<qint16>(code)));
    SendResult(client, code);
}

void InterfaceServer::SendResult(QTcpSocket &client, int code)
{
    std::array<std::uint8_t, ResultReplySize> reply{};
    Send(client, reply.data(), BuildResultReply(code, reply.data()));
}

void InterfaceServer::Send(QTcpSocket &client, const std::uint8_t *reply, int length)
{
    if (client.write(reinterpret_cast<const char *>(reply), length) != length)
        throw Error(QStringLiteral("Could not send the reply to %1: %2")
                        .arg(PeerAddressText(m_peers.value(&client).address), client.errorString()));
    client.flush();
}

} // namespace kx

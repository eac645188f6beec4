// libFuzzer target for a lockserver session: the bytes of one input reach a
// real ClientSession over a loopback connection (after a hello with a valid
// station key when the first byte is odd), on a SQLite database in a
// temporary folder.
// Whatever they hold, the session must answer, refuse or close, and go on
// serving the next connection.
#include "appserver/clientsession.h"
#include "appserver/sqlitebackend.h"
#include "store/lockprotocol.h"
#include "store/stationkey.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace proto = kx::lockprotocol;
namespace sk = kx::stationkey;

namespace {

const QByteArray Key = "fuzz-station-key-0123456789";

struct World
{
    QTemporaryDir folder;
    std::unique_ptr<lockserver::SqliteBackend> backend;
    lockserver::SessionPolicy policy;
    QTcpServer server;
};

World *TheWorld = nullptr;

bool WaitFor(const std::function<bool()> &done, int timeoutMs = 2000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Reads one message from the client side, running the server's events meanwhile.
bool Receive(QTcpSocket &client, QByteArray &buffer, QJsonObject &message)
{
    QString error;
    return WaitFor(
               [&] {
                   buffer += client.readAll();
                   return proto::TakeMessage(buffer, message, error) == proto::FrameStatus::Complete ||
                          client.state() != QAbstractSocket::ConnectedState;
               },
               10000) &&
           !message.isEmpty();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    TheWorld = new World;
    TheWorld->backend =
        std::make_unique<lockserver::SqliteBackend>(TheWorld->folder.filePath(QStringLiteral("lock.db")));
    TheWorld->backend->Open();
    TheWorld->policy.keys = {{QStringLiteral("fuzz"), Key}};
    TheWorld->policy.messageTimeoutMs = 1000;
    if (!TheWorld->server.listen(QHostAddress::LocalHost, 0))
        std::abort();
    QObject::connect(&TheWorld->server, &QTcpServer::newConnection, &TheWorld->server, [] {
        while (QTcpSocket *socket = TheWorld->server.nextPendingConnection())
            new lockserver::ClientSession(socket, *TheWorld->backend, TheWorld->policy, &TheWorld->server);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool greeted = data[0] & 1;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, TheWorld->server.serverPort());
    QByteArray buffer;
    QJsonObject greeting;
    if (!WaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }))
        return 0; // the machine is too busy to connect in time: no verdict
    if (!Receive(client, buffer, greeting)) {
        if (client.state() == QAbstractSocket::ConnectedState)
            std::abort(); // an open connection that is never greeted
        return 0;
    }
    if (greeted) {
        const QString nonce = sk::NewNonce();
        const QString serverNonce = greeting.value(QStringLiteral("nonce")).toString();
        client.write(proto::EncodeMessage(
            {{QStringLiteral("op"), QStringLiteral("hello")},
             {QStringLiteral("server"), QStringLiteral("LockInterfaceServer.TLockInterfaceServer")},
             {QStringLiteral("nonce"), nonce},
             {QStringLiteral("proof"), sk::Proof(Key, sk::Role::Station, serverNonce, nonce)}}));
        QJsonObject reply;
        if (!Receive(client, buffer, reply))
            return 0; // closed by the timeout on a machine too busy to answer in time
        if (!reply.value(QStringLiteral("ok")).toBool())
            std::abort(); // the right key was refused
    }
    client.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    // The session answers what it can; a partial message is closed by the
    // timeout. Either way the connection settles within the wait.
    WaitFor([&] {
        client.readAll();
        return client.state() != QAbstractSocket::ConnectedState || client.bytesToWrite() == 0;
    });
    WaitFor(
        [&] {
            client.readAll();
            return false;
        },
        20);
    client.abort();
    WaitFor([] { return TheWorld->server.findChildren<lockserver::ClientSession *>().isEmpty(); });
    return 0;
}

// The connection to the records store: reconnection, failures within the
// timeout, and the server's refusals at the protocol level.

#include "platform/errors.h"
#include "store/clientdataset.h"
#include "store/dmrmt.h"
#include "store/lockprotocol.h"
#include "store/socketconnection.h"
#include "storebackend.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class SocketConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_url = QStringLiteral("sqlite:") + m_folder.file(QStringLiteral("lock.db"));
        ASSERT_EQ(LockServerProcess::RunCommand(
                      m_url, {QStringLiteral("rooms"), QStringLiteral("add"), QStringLiteral("101")}),
                  0);
        m_server = std::make_unique<LockServerProcess>(m_url);
        ASSERT_NE(m_server->Start(), 0) << m_server->Output().toStdString();
        m_connection.Address = QStringLiteral("127.0.0.1");
        m_connection.Port = m_server->Port();
        m_connection.SetServerName(LockServerName);
    }

    // Opens the room query on dsp_public and gives its row count.
    int RoomRows()
    {
        TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
        pub.SetCommandText(QStringLiteral("select top 1 room from roominfo Where (Room =101)"));
        pub.Open();
        return pub.RecordCount();
    }

    // A raw connection that has read the server's greeting but not said hello yet.
    std::unique_ptr<QTcpSocket> RawConnection()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QStringLiteral("127.0.0.1"), m_server->Port());
        EXPECT_TRUE(socket->waitForConnected(5000));
        EXPECT_TRUE(ReadReply(*socket).value(QStringLiteral("ok")).toBool()) << "the greeting";
        return socket;
    }

    static QJsonObject ReadReply(QTcpSocket &socket)
    {
        QByteArray buffer;
        QJsonObject reply;
        QString error;
        while (kx::lockprotocol::TakeMessage(buffer, reply, error) ==
               kx::lockprotocol::FrameStatus::Incomplete) {
            if (!socket.waitForReadyRead(5000) && socket.bytesAvailable() == 0)
                return {};
            buffer += socket.readAll();
        }
        return reply;
    }

    static bool WaitForClose(QTcpSocket &socket)
    {
        while (socket.state() == QAbstractSocket::ConnectedState) {
            if (!socket.waitForReadyRead(5000) && socket.state() == QAbstractSocket::ConnectedState)
                return false;
            socket.readAll();
        }
        return true;
    }

    TempFolder m_folder;
    QString m_url;
    std::unique_ptr<LockServerProcess> m_server;
    TSocketConnection m_connection;
};

TEST_F(SocketConnectionTest, ConnectsAgainByItselfAfterTheServerRestarts)
{
    ASSERT_EQ(RoomRows(), 1);
    const quint16 port = m_server->Port();
    EXPECT_EQ(m_server->Stop(), 0) << "lockserver ends cleanly on SIGTERM";

    LockServerProcess again(m_url);
    ASSERT_EQ(again.Start(port), port) << again.Output().toStdString();
    EXPECT_EQ(RoomRows(), 1) << "the next operation reconnects without an error";
    EXPECT_TRUE(m_connection.Connected());
}

TEST_F(SocketConnectionTest, ServerThatIsDownGivesAClearError)
{
    ASSERT_EQ(m_server->Stop(), 0);
    const std::string expected = QStringLiteral("Could not connect to the records store at 127.0.0.1:%1")
                                     .arg(m_connection.Port)
                                     .toStdString();
    EXPECT_NE(ErrorOf([&] { RoomRows(); }).find(expected), std::string::npos);
    EXPECT_FALSE(m_connection.Connected());
}

TEST_F(SocketConnectionTest, ServerThatNeverAnswersTimesOut)
{
    QTcpServer silent; // accepts at the kernel level, never says a word
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    m_connection.Port = silent.serverPort();
    m_connection.OperationTimeoutMs = 300;
    EXPECT_EQ(ErrorOf([&] { m_connection.Open(); }),
              QStringLiteral("Records store at 127.0.0.1:%1 did not answer within 0.3 s")
                  .arg(silent.serverPort())
                  .toStdString());
    EXPECT_FALSE(m_connection.Connected());
}

TEST_F(SocketConnectionTest, HelloWithAnotherServerNameIsRefused)
{
    m_connection.SetServerName(QStringLiteral("Other.Server"));
    EXPECT_NE(ErrorOf([&] { m_connection.Open(); }).find("Server object 'Other.Server' is not provided here"),
              std::string::npos);
    EXPECT_FALSE(m_connection.Connected());

    m_connection.SetServerName(LockServerName);
    EXPECT_EQ(RoomRows(), 1);
    m_connection.SetServerName(LockServerName);
    EXPECT_FALSE(m_connection.Connected()) << "setting the server name closes the connection";
}

TEST_F(SocketConnectionTest, ServerRefusesARequestBeforeTheHello)
{
    auto socket = RawConnection();
    socket->write(kx::lockprotocol::EncodeMessage(QJsonObject{
        {QStringLiteral("op"), QStringLiteral("open")},
        {QStringLiteral("provider"), QStringLiteral("dsp_public")},
        {QStringLiteral("sql"), QStringLiteral("select top 1 room from roominfo Where (Room =101)")}}));
    const QJsonObject reply = ReadReply(*socket);
    EXPECT_FALSE(reply.value(QStringLiteral("ok")).toBool());
    EXPECT_EQ(reply.value(QStringLiteral("error")).toString(),
              "The first message must be a hello naming the server object");
    EXPECT_TRUE(WaitForClose(*socket));
}

TEST_F(SocketConnectionTest, OversizeMessageIsRefusedAndEndsTheConnection)
{
    auto socket = RawConnection();
    QByteArray header(4, '\0');
    qToBigEndian<quint32>(kx::lockprotocol::MaxMessageSize + 1, header.data());
    socket->write(header + QByteArray(1000, 'x'));
    const QJsonObject reply = ReadReply(*socket);
    EXPECT_EQ(reply.value(QStringLiteral("error")).toString(),
              "Message of 1048577 bytes exceeds the limit of 1048576 bytes");
    EXPECT_TRUE(WaitForClose(*socket));

    // The client refuses to send one, and the server goes on serving others.
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    pub.SetCommandText(QString(int(kx::lockprotocol::MaxMessageSize), u'x'));
    EXPECT_NE(ErrorOf([&] { pub.Open(); }).find("exceeds the limit of 1048576 bytes"), std::string::npos);
    EXPECT_EQ(RoomRows(), 1);
}

TEST_F(SocketConnectionTest, MalformedMessageGetsAnErrorAndTheConnectionGoesOn)
{
    auto socket = RawConnection();
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(5, frame.data());
    socket->write(frame + "[1,2]");
    EXPECT_EQ(ReadReply(*socket).value(QStringLiteral("error")).toString(), "Message is not a JSON object");
    socket->write(kx::lockprotocol::EncodeMessage(QJsonObject{{QStringLiteral("op"), QStringLiteral("hello")},
                                                              {QStringLiteral("server"), LockServerName}}));
    EXPECT_TRUE(ReadReply(*socket).value(QStringLiteral("ok")).toBool());
}

TEST_F(SocketConnectionTest, ApplyRefusesRowsThatAreNoListsOfFields)
{
    const auto request = [](const QString &op, const QJsonObject &rest) {
        QJsonObject r = rest;
        r.insert(QStringLiteral("op"), op);
        r.insert(QStringLiteral("provider"), QStringLiteral("dsp_writemakerecord"));
        return r;
    };
    m_connection.Call(
        request(QStringLiteral("open"),
                {{QStringLiteral("sql"), QStringLiteral("select top 1 * from MakeCardRecord")}}));
    const struct
    {
        QJsonValue rows;
        const char *expected;
    } cases[] = {
        {QJsonValue(), "Request has no list 'rows'"},
        {QJsonObject{{QStringLiteral("Rom"), QStringLiteral("000000A1")}}, "Request has no list 'rows'"},
        {QJsonArray{5}, "An appended row is not a list of [name, value] pairs"},
        {QJsonArray{QJsonArray{}, QJsonObject{}}, "An appended row is not a list of [name, value] pairs"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        QJsonObject apply{{QStringLiteral("maxErrors"), 0}};
        if (!c.rows.isNull())
            apply.insert(QStringLiteral("rows"), c.rows);
        EXPECT_EQ(ErrorOf([&] { m_connection.Call(request(QStringLiteral("apply"), apply)); }), c.expected);
    }
    QString records;
    LockServerProcess::RunCommand(m_url, {QStringLiteral("records")}, &records);
    EXPECT_EQ(records, "") << "no empty row was stored in place of the refused ones";
}

} // namespace

// A store that takes each connection and resets it at once (SO_LINGER 0),
// before, while or after the hello arrives, as many times as there are
// attempts, and then leaves further connections unanswered in its backlog.
// Every attempt is a failed connection, told as such: none may go on to a
// connection the store never takes and wait there for its answer.
TEST(SocketConnectionReset, ResetDuringTheHelloFailsAtOnce)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 64), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);

    constexpr int Attempts = 40;
    std::thread resetter([listener] {
        for (int i = 0; i < Attempts; ++i) {
            pollfd waiting{listener, POLLIN, 0};
            if (::poll(&waiting, 1, 10000) <= 0)
                return; // the client gave up
            const int peer = ::accept(listener, nullptr, nullptr);
            if (peer < 0)
                return;
            if (i % 2 == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(i % 7)); // let the hello arrive
            const linger reset{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(peer);
        }
    });

    TSocketConnection connection;
    connection.Address = QStringLiteral("127.0.0.1");
    connection.Port = ntohs(address.sin_port);
    connection.SetServerName(LockServerName);
    // A wait on an unanswered connection would end in "did not answer".
    connection.ConnectTimeoutMs = 3000;
    connection.OperationTimeoutMs = 3000;
    for (int i = 0; i < Attempts; ++i) {
        SCOPED_TRACE(i);
        const std::string error = ErrorOf([&] { connection.Open(); });
        EXPECT_TRUE(error.starts_with("Lost the connection to the records store at 127.0.0.1:") ||
                    error.starts_with("Could not connect to the records store at 127.0.0.1:"))
            << error;
        EXPECT_FALSE(connection.Connected());
    }
    resetter.join();
    ::close(listener);
}

#include "common/tempfolder.h"
#include "coreapplication.h"
#include "frames.h"
#include "recorders.h"

#include "platform/programfolder.h"
#include "platform/recorder.h"
#include "platform/requestthread.h"
#include "server/clientallowlist.h"
#include "server/codec.h"
#include "server/connectionlog.h"
#include "server/hostnames.h"
#include "server/interfaceserver.h"
#include "server/peeraddress.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <memory>

using namespace testframes;

namespace {

const QByteArray Texts = "[1033]\n"
                         "rlOK=All done\n"
                         "rlCardPlace=Place a card\n"
                         "rlReadWriteError=Read/write error\n"
                         "rlUnKnown=Something unknown\n"
                         "rlroomisoccupied=Room occupied\n"
                         "rlInvalidroomnumber=No such room\n"
                         "rlroomnotoccupied=No stay\n"
                         "rlInvalidkeyperiod=Bad period\n";

const QByteArray Success = Hex("02 00 00 00 00 00 03");

// The dispatcher over real loopback connections, with card operations and
// a notifier that record what they are asked to do. The host names of the
// two client addresses are looked up (for real) before each test, so that
// rows are written as their events happen.
class InterfaceServerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    void SetUp() override
    {
        m_home.write("Db/EncodeMsg.ini", Texts);
        QObject::connect(&m_log, &kx::ConnectionLog::RowAdded, &m_log,
                         [this](const QStringList &row) { m_journal << "row " + row.at(2); });
        for (const QHostAddress &address : {QHostAddress(QHostAddress::LocalHost), QHostAddress("127.0.0.2")})
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_names.Find(address).has_value(); }, 15000));
        m_server.Listen(QHostAddress::LocalHost, 0);
    }

    void TearDown() override { m_gate.Open(); }

    // A connection from the given local address, accepted by the server.
    std::unique_ptr<QTcpSocket> Connect(const QHostAddress &from = QHostAddress::LocalHost)
    {
        auto client = std::make_unique<QTcpSocket>();
        client->bind(from, 0);
        const int rows = m_log.rowCount();
        client->connectToHost(QHostAddress::LocalHost, m_server.ServerPort());
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_log.rowCount() > rows && ServerSide(*client); }));
        m_journal.clear();
        return client;
    }

    QTcpSocket *ServerSide(const QTcpSocket &client) const
    {
        for (QTcpSocket *s : m_server.findChildren<QTcpSocket *>())
            if (s->peerPort() == client.localPort() && s->state() == QAbstractSocket::ConnectedState)
                return s;
        return nullptr;
    }

    // Sends bytes in one write and waits until the server has handled the
    // read event they raise.
    void Send(QTcpSocket &client, const QByteArray &bytes)
    {
        QTcpSocket *peer = ServerSide(client);
        ASSERT_NE(peer, nullptr);
        QSignalSpy served(peer, &QTcpSocket::readyRead);
        client.write(bytes);
        client.flush();
        ASSERT_TRUE(QTest::qWaitFor([&] { return served.count() > 0; }));
    }

    QByteArray Receive(QTcpSocket &client, int size)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return client.bytesAvailable() >= size; }))
            << "waited for " << size;
        return client.readAll();
    }

    // Nothing was sent before: a check-out sent now gets the only reply.
    void ExpectNothingBeforeAProbe(QTcpSocket &client)
    {
        Send(client, Frame('B', "|Rprobe"));
        EXPECT_EQ(ToHex(Receive(client, 7)), ToHex(Success));
        EXPECT_EQ(m_journal.mid(m_journal.size() - 2),
                  QStringList({"CheckOut probe", "row Guest check out ok"}));
    }

    // The journal holds these entries, in this order, once the request thread is done.
    void ExpectJournal(const QStringList &expected)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return m_journal.size() >= expected.size(); }));
        EXPECT_EQ(m_journal, expected);
    }

    TempFolder m_home;
    kx::ProgramFolder m_folder{m_home.path()};
    QStringList m_journal;
    RecordingCardOperations m_ops{m_journal};
    RecordingNotifier m_notifier;
    kx::ConnectionLog m_log;
    kx::RequestThread m_requests;
    kx::HostNames m_names;
    Gate m_gate;
    kx::InterfaceServer m_server{m_ops, m_requests, m_folder, m_log, m_names, m_notifier};
};

TEST_F(InterfaceServerTest, ConnectAndDisconnectWriteARowEach)
{
    auto client = Connect();
    client->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_log.rowCount() == 2; }));

    const QString host = kx::ReverseLookup(QHostAddress::LocalHost);
    const QRegularExpression time("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
    const QStringList operations = {"Client connection", "Disclient connection"};
    for (int row = 0; row < 2; ++row) {
        const QStringList cells = m_log.Row(row);
        EXPECT_EQ(cells.at(0), "127.0.0.1");
        EXPECT_EQ(cells.at(1), host);
        EXPECT_EQ(cells.at(2), operations.at(row));
        EXPECT_TRUE(time.match(cells.at(3)).hasMatch()) << cells.at(3).toStdString();
    }
}

TEST_F(InterfaceServerTest, CheckInRunsItsStepsInOrderThenLogsAndReplies)
{
    auto client = Connect();
    Send(*client, CheckInExample);
    EXPECT_EQ(ToHex(Receive(*client, 7)), ToHex(Success));
    EXPECT_EQ(m_journal, QStringList({"CheckRoom 101", "CheckInCard 101 Li", "AddCardRecord 101",
                                      "AddGuestRecord 101", "row Guest check in ok"}));
    const TCardInterface &current = m_server.CurrentRequest();
    EXPECT_EQ(current.Room, "101");
    EXPECT_EQ(current.GuestName, "Li");
    EXPECT_DOUBLE_EQ(current.GuestInTime, At(2024, 5, 20, 14, 0));
    EXPECT_DOUBLE_EQ(current.GuestLeaveTime, At(2024, 5, 22, 12, 0));
    EXPECT_EQ(m_log.Row(m_log.rowCount() - 1).at(0), "127.0.0.1");
}

struct FailureCase
{
    const char *name;
    QByteArray frame;
    int checkRoom = 0, checkInCard = 0, checkOut = 1, readCard = 1, key = 0;
    QStringList steps; // calls made, then the row
    const char *reply = "";
};

class FailurePath : public InterfaceServerTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(FailurePath, LogsTheResultTextAndRepliesWithTheCode)
{
    const FailureCase &c = GetParam();
    m_ops.checkRoomResult = c.checkRoom;
    m_ops.checkInCardResult = c.checkInCard;
    m_ops.checkOutResult = c.checkOut;
    m_ops.readCardResult = c.readCard;
    m_ops.keyResult = c.key;
    auto client = Connect();
    Send(*client, c.frame);
    EXPECT_EQ(ToHex(Receive(*client, 7)), c.reply);
    EXPECT_EQ(m_journal, c.steps);
}

const QByteArray CheckOut101 = Frame('B', "|R101");
const QByteArray ReadCard = Frame('E');
const QByteArray Duplicate101 = Frame('C', "|R101|NWang");
const QByteArray OneShot101 = Frame('S', "|R101");

INSTANTIATE_TEST_SUITE_P(
    Dispatcher, FailurePath,
    ::testing::Values(FailureCase{.name = "room_occupied",
                                  .frame = CheckInExample,
                                  .checkRoom = 17,
                                  .steps = {"CheckRoom 101", "row Room occupied"},
                                  .reply = "02 00 00 00 00 11 03"},
                      FailureCase{.name = "room_not_found",
                                  .frame = CheckInExample,
                                  .checkRoom = 18,
                                  .steps = {"CheckRoom 101", "row No such room"},
                                  .reply = "02 00 00 00 00 12 03"},
                      FailureCase{.name = "card_write_fails",
                                  .frame = CheckInExample,
                                  .checkInCard = -5,
                                  .steps = {"CheckRoom 101", "CheckInCard 101 Li", "row Read/write error"},
                                  .reply = "02 00 00 00 00 05 03"},
                      FailureCase{.name = "checkout_fails",
                                  .frame = CheckOut101,
                                  .checkOut = -1,
                                  .steps = {"CheckOut 101", "row Place a card"},
                                  .reply = "02 00 00 00 00 01 03"},
                      FailureCase{.name = "checkout_gives_0",
                                  .frame = CheckOut101,
                                  .checkOut = 0,
                                  .steps = {"CheckOut 101", "row All done"},
                                  .reply = "02 00 00 00 00 00 03"},
                      FailureCase{.name = "read_gives_0",
                                  .frame = ReadCard,
                                  .readCard = 0,
                                  .steps = {"ReadCardInfo", "row All done"},
                                  .reply = "02 00 00 00 00 00 03"},
                      FailureCase{.name = "duplicate_key",
                                  .frame = Duplicate101,
                                  .steps = {"DuplicateKey 101 Wang", "row Duplicate key ok"},
                                  .reply = "02 00 00 00 00 00 03"},
                      FailureCase{.name = "one_shot_key",
                                  .frame = OneShot101,
                                  .steps = {"OneShotKey 101 ", "row One-shot key ok"},
                                  .reply = "02 00 00 00 00 00 03"},
                      FailureCase{.name = "duplicate_key_without_a_stay",
                                  .frame = Duplicate101,
                                  .key = 19,
                                  .steps = {"DuplicateKey 101 Wang", "row No stay"},
                                  .reply = "02 00 00 00 00 13 03"},
                      FailureCase{.name = "one_shot_key_with_a_bad_period",
                                  .frame = OneShot101,
                                  .key = 20,
                                  .steps = {"OneShotKey 101 ", "row Bad period"},
                                  .reply = "02 00 00 00 00 14 03"},
                      FailureCase{.name = "one_shot_key_encoder_fails",
                                  .frame = OneShot101,
                                  .key = -1,
                                  .steps = {"OneShotKey 101 ", "row Place a card"},
                                  .reply = "02 00 00 00 00 01 03"},
                      // 19 and 20 mean something only for the key requests.
                      FailureCase{.name = "read_gives_19",
                                  .frame = ReadCard,
                                  .readCard = -19,
                                  .steps = {"ReadCardInfo", "row Something unknown"},
                                  .reply = "02 00 00 00 00 13 03"},
                      FailureCase{.name = "result_without_a_key",
                                  .frame = ReadCard,
                                  .readCard = -16,
                                  .steps = {"ReadCardInfo", "row Something unknown"},
                                  .reply = "02 00 00 00 00 10 03"},
                      // A code past one byte must not come out as another code (256 as success).
                      FailureCase{.name = "code_past_one_byte",
                                  .frame = ReadCard,
                                  .readCard = -256,
                                  .steps = {"ReadCardInfo", "row Something unknown"},
                                  .reply = "02 00 00 00 00 10 03"},
                      FailureCase{.name = "most_negative_result",
                                  .frame = CheckInExample,
                                  .checkRoom = INT_MIN,
                                  .steps = {"CheckRoom 101", "row Something unknown"},
                                  .reply = "02 00 00 00 00 10 03"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(InterfaceServerTest, CheckOutUsesTheRoomOfItsOwnFrame)
{
    auto client = Connect();
    Send(*client, CheckInExample);
    Receive(*client, 7);
    m_journal.clear();

    Send(*client, Frame('B', "|R202"));
    EXPECT_EQ(ToHex(Receive(*client, 7)), ToHex(Success));
    EXPECT_EQ(m_journal, QStringList({"CheckOut 202", "row Guest check out ok"}));
    EXPECT_EQ(m_server.CurrentRequest().Room, "101");
}

TEST_F(InterfaceServerTest, CardReadSendsTheCardReplyBeforeItsRow)
{
    m_ops.card = TCardInterface{"305", At(2024, 6, 1, 12, 0), At(2024, 6, 3, 11, 30), "Ann"};
    std::array<std::uint8_t, kx::ReplyBufferSize> expected{};
    const QByteArray expectedReply(reinterpret_cast<const char *>(expected.data()),
                                   BuildCardReply(m_ops.card, expected.data()));
    auto client = Connect();

    bool replyWasOut = false;
    QObject::connect(&m_log, &kx::ConnectionLog::RowAdded, &m_log, [&](const QStringList &row) {
        if (row.at(2) == "Read card")
            replyWasOut = client->bytesAvailable() > 0 || client->waitForReadyRead(5000);
    });
    Send(*client, Frame('E', "|R999|NBob"));
    EXPECT_EQ(ToHex(Receive(*client, static_cast<int>(expectedReply.size()))), ToHex(expectedReply));
    EXPECT_TRUE(replyWasOut);
    EXPECT_EQ(m_journal, QStringList({"ReadCardInfo", "row Read card"}));
    EXPECT_EQ(m_server.CurrentRequest().GuestName, "Ann");
}

TEST_F(InterfaceServerTest, GFrameIsLoggedAndNotAnswered)
{
    auto client = Connect();
    Send(*client, Hex("02 00 00 00 00 47 03"));
    EXPECT_EQ(m_journal, QStringList({"row G Guest check in"}));
    ExpectNothingBeforeAProbe(*client);
}

TEST_F(InterfaceServerTest, RejectedAndSplitFramesGetNoRowNoReplyAndTheConnectionCarriesOn)
{
    auto client = Connect();
    for (const QByteArray &bytes : {Hex("02 00 00 00 00 69 03"), Hex("01 00 00 00 00 47 03"), Hex("02 03"),
                                    CheckInExample.left(15), CheckInExample.mid(15)})
        Send(*client, bytes);
    EXPECT_TRUE(m_journal.isEmpty()) << m_journal.join(", ").toStdString();
    ExpectNothingBeforeAProbe(*client);
}

TEST_F(InterfaceServerTest, TwoFramesInOneReadAreDecodedAsOne)
{
    auto client = Connect();
    Send(*client, Frame('B', "|R101") + Frame('B', "|R202"));
    const QByteArray joinedRoom("101\x03\x02\x00\x00\x00\x00"
                                "B202",
                                13);
    EXPECT_EQ(ToHex(Receive(*client, 7)), ToHex(Success));
    EXPECT_EQ(m_journal,
              QStringList({"CheckOut " + QString::fromLatin1(joinedRoom), "row Guest check out ok"}));
    ExpectNothingBeforeAProbe(*client);
}

TEST_F(InterfaceServerTest, BytesPastOneBufferAreServedAsAFurtherFrame)
{
    auto client = Connect();
    const QByteArray full = Frame('G', QByteArray(kx::ReceiveBufferSize - 7, 'x'));
    ASSERT_EQ(full.size(), kx::ReceiveBufferSize);
    client->write(full + Frame('B', "|R7"));
    EXPECT_EQ(ToHex(Receive(*client, 7)), ToHex(Success));
    EXPECT_EQ(m_journal, QStringList({"row G Guest check in", "CheckOut 7", "row Guest check out ok"}));
}

TEST_F(InterfaceServerTest, ErrorWhileServingIsReportedWithoutReplyAndTheNextFrameIsServed)
{
    auto client = Connect();
    Send(*client, Frame('I', "|R101|D" + Hex("24 1A 20 14 00 00")));
    EXPECT_TRUE(m_journal.isEmpty());

    // Raised on the request thread, reported on the event loop's.
    m_ops.onStep = [](const QString &step) {
        if (step.startsWith("AddGuestRecord"))
            throw kx::StoreError("Lost the records store");
    };
    Send(*client, CheckInExample);
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_notifier.errors.size() == 2; }));
    EXPECT_EQ(m_journal, QStringList({"CheckRoom 101", "CheckInCard 101 Li", "AddCardRecord 101",
                                      "AddGuestRecord 101"}));

    m_ops.onStep = [](const QString &step) {
        if (step == "ReadCardInfo")
            throw std::runtime_error("not a kx error");
    };
    Send(*client, Frame('E'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_notifier.errors.size() == 3; }));

    EXPECT_EQ(m_notifier.errors,
              QStringList({"'1A' is not a valid integer value", "Lost the records store", "not a kx error"}));
    m_ops.onStep = nullptr;
    ExpectNothingBeforeAProbe(*client);
    EXPECT_TRUE(m_server.IsListening());
}

TEST_F(InterfaceServerTest, TwoConnectionsGetTheirOwnRowsAndReplies)
{
    auto first = Connect();
    auto second = Connect(QHostAddress("127.0.0.2"));
    EXPECT_EQ(m_log.Row(m_log.rowCount() - 1).at(0), "127.0.0.2");

    Send(*second, Frame('B', "|R2"));
    EXPECT_EQ(ToHex(Receive(*second, 7)), ToHex(Success));
    EXPECT_EQ(m_log.Row(m_log.rowCount() - 1).at(0), "127.0.0.2");

    Send(*first, Frame('G'));
    EXPECT_EQ(m_log.Row(m_log.rowCount() - 1).at(0), "127.0.0.1");
    ExpectNothingBeforeAProbe(*first);
    EXPECT_EQ(second->bytesAvailable(), 0);
}

TEST_F(InterfaceServerTest, EventLoopGoesOnWhileARequestWaitsAndTheNextRequestWaitsItsTurn)
{
    auto first = Connect();
    auto second = Connect();
    m_ops.onStep = [this](const QString &step) {
        if (step == "CheckRoom 101")
            m_gate.Wait();
    };
    first->write(CheckInExample);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_gate.Reached() && m_journal == QStringList({"CheckRoom 101"}); }));

    // While the room check waits, the event loop takes the other connection's
    // frame, which waits its turn, and accepts a new connection.
    QSignalSpy arrived(ServerSide(*second), &QTcpSocket::readyRead);
    second->write(Frame('B', "|R202"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return arrived.count() > 0; }));
    QTcpSocket third;
    third.connectToHost(QHostAddress::LocalHost, m_server.ServerPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_journal.size() == 2; }));
    EXPECT_EQ(m_journal, QStringList({"CheckRoom 101", "row Client connection"}));

    m_gate.Open();
    EXPECT_EQ(ToHex(Receive(*first, 7)), ToHex(Success));
    EXPECT_EQ(ToHex(Receive(*second, 7)), ToHex(Success));
    ExpectJournal({"CheckRoom 101", "row Client connection", "CheckInCard 101 Li", "AddCardRecord 101",
                   "AddGuestRecord 101", "row Guest check in ok", "CheckOut 202", "row Guest check out ok"});
}

TEST_F(InterfaceServerTest, CardOperationsRunOnOneThreadThatIsNotTheEventLoops)
{
    auto client = Connect();
    for (const QByteArray &frame : {CheckInExample, Frame('B', "|R101"), Frame('E')}) {
        client->write(frame);
        Receive(*client, 7);
    }
    const QSet<QThread *> threads = m_ops.Threads();
    ASSERT_EQ(threads.size(), 1);
    EXPECT_NE(*threads.begin(), QThread::currentThread());
}

TEST_F(InterfaceServerTest, PeerLeavingDuringARequestEndsItWithASendError)
{
    auto client = Connect();
    m_ops.checkRoomResult = 17;
    m_ops.onStep = [this](const QString &) { m_gate.Wait(); };
    client->write(CheckInExample);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_gate.Reached() && m_journal == QStringList({"CheckRoom 101"}); }));
    client->abort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_journal.contains("row Disclient connection"); }));

    m_gate.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_notifier.errors.size() == 1; }));
    EXPECT_EQ(m_journal, QStringList({"CheckRoom 101", "row Disclient connection", "row Room occupied"}));
    EXPECT_TRUE(m_notifier.errors.at(0).startsWith("Could not send the reply to 127.0.0.1"))
        << m_notifier.errors.at(0).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_server.findChildren<QTcpSocket *>().isEmpty(); }));
}

TEST_F(InterfaceServerTest, TakenPortRaisesAndCloseDropsEveryConnection)
{
    kx::InterfaceServer other(m_ops, m_folder, m_log, m_notifier);
    try {
        other.Listen(QHostAddress::LocalHost, m_server.ServerPort());
        FAIL() << "listened on a port already taken";
    } catch (const kx::Error &e) {
        EXPECT_TRUE(e.text().contains(QString::number(m_server.ServerPort()))) << e.what();
    }
    EXPECT_FALSE(other.IsListening());

    auto first = Connect();
    auto second = Connect();
    const quint16 port = m_server.ServerPort();
    m_server.Close();
    EXPECT_FALSE(m_server.IsListening());
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return first->state() == QAbstractSocket::UnconnectedState &&
               second->state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_EQ(m_journal, QStringList({"row Disclient connection", "row Disclient connection"}));

    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(QTest::qWaitFor([&] { return late.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(late.error(), QAbstractSocket::ConnectionRefusedError);
}

} // namespace

namespace {

TEST(ClientAllowList, MatchesAddressesAndNetworks)
{
    const kx::ClientAllowList list(QStringLiteral(" 192.168.1.10, 10.0.0.0/8;fd00::/8  2001:db8::5"));
    const struct
    {
        const char *address;
        bool allowed;
    } cases[] = {
        {"192.168.1.10", true}, {"192.168.1.11", false},       {"10.200.3.4", true},
        {"11.0.0.1", false},    {"::ffff:192.168.1.10", true}, {"::ffff:10.1.1.1", true},
        {"fd12::1", true},      {"2001:db8::5", true},         {"2001:db8::6", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list.Allows(QHostAddress(QString::fromLatin1(c.address))), c.allowed) << c.address;
    EXPECT_TRUE(list.Unreadable().isEmpty());

    EXPECT_TRUE(kx::ClientAllowList(QStringLiteral("  ")).Allows(QHostAddress(QStringLiteral("8.8.8.8"))))
        << "an empty list allows every address";
    const kx::ClientAllowList typo(QStringLiteral("192.168.1.300, 192.168.2.0/33"));
    EXPECT_FALSE(typo.Allows(QHostAddress(QStringLiteral("192.168.1.30"))));
    EXPECT_EQ(typo.Unreadable(), QStringList({"192.168.1.300", "192.168.2.0/33"}))
        << "a mistyped list lets nobody in";
}

} // namespace

TEST_F(InterfaceServerTest, ClientOutsideAllowedClientsIsClosedAtOnceWithARow)
{
    m_home.write("Kandrilox.ini", "[Interface]\nAllowedClients=127.0.0.2, 10.0.0.0/8\n");
    QTcpSocket refused;
    refused.bind(QHostAddress(QStringLiteral("127.0.0.3")), 0);
    refused.connectToHost(QHostAddress::LocalHost, m_server.ServerPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_log.rowCount() == 1; }));
    EXPECT_EQ(m_log.Row(0).at(2), "Client refused: not in AllowedClients");
    EXPECT_EQ(m_log.Row(0).at(0), "127.0.0.3");
    refused.write(Frame('R', ""));
    EXPECT_TRUE(QTest::qWaitFor([&] { return refused.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(refused.readAll(), QByteArray()) << "it gets nothing";
    EXPECT_TRUE(m_journal.filter(QStringLiteral("Read")).isEmpty()) << "no card operation ran";

    auto allowed = Connect(QHostAddress(QStringLiteral("127.0.0.2")));
    ExpectNothingBeforeAProbe(*allowed);

    // The setting is read at each accept.
    m_home.write("Kandrilox.ini", "[Interface]\nAllowedClients=127.0.0.0/24\n");
    auto now = Connect(QHostAddress(QStringLiteral("127.0.0.3")));
    EXPECT_NE(ServerSide(*now), nullptr);
}

// What the dispatcher tells its recorder, kept in order.
class ListRecorder : public kx::Recorder
{
public:
    QList<QPair<int, int>> requests; // command, code
    int connections = -1;

    void RequestServed(int command, int code, Duration duration) override
    {
        EXPECT_GE(duration.count(), 0);
        requests.append({command, code});
    }
    void ConnectionsChanged(int open) override { connections = open; }
    void StoreCall(const char *, bool, bool, Duration) override {}
    void EncoderCall(const char *, int, Duration) override {}
};

TEST_F(InterfaceServerTest, RecorderIsToldEveryRequestWithItsKindAndResultAndTheOpenConnections)
{
    ListRecorder recorder;
    kx::InterfaceServer server{m_ops, m_requests, m_folder, m_log, m_names, m_notifier};
    server.SetRecorder(&recorder);
    server.Listen(QHostAddress::LocalHost, 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.ServerPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.connections == 1; }));

    const auto serve = [&](const QByteArray &frame) {
        const qsizetype before = recorder.requests.size();
        client.write(frame);
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.requests.size() > before; }));
        client.readAll();
    };
    serve(CheckInExample);
    m_ops.checkRoomResult = 17;
    serve(CheckInExample);
    m_ops.readCardResult = -5;
    serve(Frame('E'));
    m_ops.readCardResult = 1;
    serve(Frame('E'));
    serve(Frame('G'));
    serve("not a frame");
    m_ops.onStep = [](const QString &step) {
        if (step.startsWith("CheckOut"))
            throw kx::StoreError("Lost the records store");
    };
    serve(Frame('B', "|R101"));

    const QList<QPair<int, int>> expected{{'I', 0},
                                          {'I', 17},
                                          {'E', 5},
                                          {'E', 0},
                                          {'G', kx::Recorder::NoReply},
                                          {0, kx::Recorder::NoReply},
                                          {'B', kx::Recorder::RaisedError}};
    EXPECT_EQ(recorder.requests, expected);

    client.disconnectFromHost();
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.connections == 0; }));
}

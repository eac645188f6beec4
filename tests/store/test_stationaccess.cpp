// Who may use the lock database: station keys proved in the hello, the
// listen policy at start, TLS, and the modes of the files that hold secrets
// or guest data. Against the real lockserver.

#include "common/tempfolder.h"
#include "lockserverprocess.h"
#include "platform/errors.h"
#include "rawpeer.h"
#include "store/clientdataset.h"
#include "store/dmrmt.h"
#include "store/lockprotocol.h"
#include "store/socketconnection.h"
#include "store/stationkey.h"
#include "storebackend.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTcpSocket>

#include <sys/stat.h>

namespace {

namespace sk = kx::stationkey;
namespace proto = kx::lockprotocol;

const QByteArray FrontKey = "0123456789abcdef0123456789abcdef";
const QByteArray BackKey = "fedcba9876543210fedcba9876543210";

// Writes a file readable by its owner only (or with the mode given).
QString WritePrivate(const TempFolder &folder, const QString &name, const QByteArray &text,
                     QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner)
{
    const QString path = folder.write(name, text);
    QFile::setPermissions(path, mode);
    return path;
}

unsigned ModeOf(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0xffff;
}

TEST(StationKeyFile, ReadsKeysAndRefusesFilesItCannotTrust)
{
    TempFolder folder;
    const QList<sk::StationKey> keys = sk::ReadKeyFile(WritePrivate(
        folder, QStringLiteral("keys"), "# stations\n\nfrontdesk " + FrontKey + "\n  " + BackKey + "  \n"));
    ASSERT_EQ(keys.size(), 2);
    EXPECT_EQ(keys[0].name, "frontdesk");
    EXPECT_EQ(keys[0].secret, FrontKey);
    EXPECT_EQ(keys[1].name, "line 4") << "a key without a name is named by its line";
    EXPECT_EQ(keys[1].secret, BackKey);

    const struct
    {
        QByteArray text;
        QFile::Permissions mode;
        const char *error;
    } cases[] = {
        {"a " + FrontKey, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther,
         "can be read or changed by others (mode 0604); make it readable by its owner only: chmod 600"},
        {"a " + FrontKey, QFile::ReadOwner | QFile::ReadGroup, "(mode 0440)"},
        {"# nothing\n", QFile::ReadOwner, "holds no key"},
        {"a b " + FrontKey, QFile::ReadOwner, "line 1: use KEY or NAME KEY"},
        {"\nshort 12345", QFile::ReadOwner, "line 2: a key needs at least 16 characters"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        QFile::remove(folder.file(QStringLiteral("bad")));
        const QString path = WritePrivate(folder, QStringLiteral("bad"), c.text, c.mode);
        try {
            sk::ReadKeyFile(path);
            ADD_FAILURE() << "no error";
        } catch (const kx::Error &e) {
            EXPECT_NE(e.text().indexOf(QString::fromUtf8(c.error)), -1) << e.what();
            EXPECT_EQ(e.text().indexOf(QString::fromLatin1(FrontKey)), -1) << "the key is never repeated";
        }
    }
    try {
        sk::ReadKeyFile(folder.file(QStringLiteral("missing")));
        ADD_FAILURE() << "no error";
    } catch (const kx::Error &e) {
        EXPECT_NE(e.text().indexOf(u"Could not read key file"), -1);
    }
}

TEST(StationKeyProof, CoversKeyRoleAndBothNonces)
{
    const QString server = sk::NewNonce();
    const QString station = sk::NewNonce();
    EXPECT_TRUE(sk::IsNonce(server));
    EXPECT_NE(server, sk::NewNonce());
    const QString proof = sk::Proof(FrontKey, sk::Role::Station, server, station);
    EXPECT_EQ(proof.size(), 64);
    EXPECT_TRUE(sk::SameProof(proof, sk::Proof(FrontKey, sk::Role::Station, server, station)));
    for (const QString &other : {sk::Proof(BackKey, sk::Role::Station, server, station),
                                 sk::Proof(FrontKey, sk::Role::Server, server, station),
                                 sk::Proof(FrontKey, sk::Role::Station, sk::NewNonce(), station),
                                 sk::Proof(FrontKey, sk::Role::Station, server, sk::NewNonce())})
        EXPECT_FALSE(sk::SameProof(proof, other));
    EXPECT_FALSE(sk::SameProof(proof, proof.left(63)));
}

QJsonObject Message(const QString &op, const QString &provider, const QString &sql = QString())
{
    QJsonObject m{{QStringLiteral("op"), op}, {QStringLiteral("provider"), provider}};
    if (!sql.isEmpty())
        m.insert(QStringLiteral("sql"), sql);
    return m;
}

// An apply of one row made of these [name, value] pairs.
QJsonObject Rows(const QString &provider, const QList<QJsonArray> &fields)
{
    QJsonObject m = Message(QStringLiteral("apply"), provider);
    m.insert(QStringLiteral("maxErrors"), -1);
    QJsonArray row;
    for (const QJsonArray &field : fields)
        row.append(field);
    QJsonArray rows;
    rows.append(row);
    m.insert(QStringLiteral("rows"), rows);
    return m;
}

class StationKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_db = m_folder.file(QStringLiteral("lock.db"));
        ASSERT_EQ(LockServerProcess::RunCommand(
                      QStringLiteral("sqlite:") + m_db,
                      {QStringLiteral("rooms"), QStringLiteral("add"), QStringLiteral("101-102")}),
                  0);
        m_serverKeys = WritePrivate(m_folder, QStringLiteral("server.keys"),
                                    "frontdesk " + FrontKey + "\nbackoffice " + BackKey + "\n");
        m_stationKey = WritePrivate(m_folder, QStringLiteral("station.key"), FrontKey + "\n");
    }

    std::unique_ptr<LockServerProcess> StartServer(const QStringList &extra)
    {
        auto server = std::make_unique<LockServerProcess>(QStringLiteral("sqlite:") + m_db, extra);
        EXPECT_NE(server->Start(), 0) << server->Output().toStdString();
        return server;
    }

    void Point(TSocketConnection &connection, quint16 port)
    {
        connection.Address = QStringLiteral("127.0.0.1");
        connection.Port = port;
        connection.SetServerName(LockServerName);
        connection.OperationTimeoutMs = 5000;
    }

    // What the database files hold, to show that nothing changed them.
    QByteArray DatabaseDigest() const
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QString &suffix : {QString(), QStringLiteral("-wal")}) {
            QFile file(m_db + suffix);
            if (file.open(QIODevice::ReadOnly))
                hash.addData(file.readAll());
            hash.addData("|");
        }
        return hash.result();
    }

    TempFolder m_folder;
    QString m_db;
    QString m_serverKeys;
    QString m_stationKey;
};

int RoomRows(TSocketConnection &connection, int room = 101)
{
    TClientDataSet pub(connection, QStringLiteral("dsp_public"));
    pub.SetCommandText(QStringLiteral("select top 1 room from roominfo Where (Room =%1)").arg(room));
    pub.Open();
    return pub.RecordCount();
}

TEST_F(StationKeyTest, StationWithAKeyIsServedAndNamedInTheLog)
{
    auto server = StartServer({QStringLiteral("--key-file"), m_serverKeys});
    TSocketConnection station;
    Point(station, server->Port());
    station.KeyFile = m_stationKey;
    EXPECT_EQ(RoomRows(station), 1);
    EXPECT_TRUE(station.Connected());

    EXPECT_TRUE(
        testproc::WaitForOutput(*server, QStringLiteral("station frontdesk connected from 127.0.0.1")))
        << server->Output().toStdString();
    EXPECT_EQ(server->Output().indexOf(QString::fromLatin1(FrontKey)), -1) << "no key in the log";
}

TEST_F(StationKeyTest, StationWithoutTheKeyGetsOneRefusal)
{
    auto server = StartServer({QStringLiteral("--key-file"), m_serverKeys});
    TSocketConnection station;
    Point(station, server->Port());
    EXPECT_EQ(ErrorOf([&] { RoomRows(station); }),
              "This records store serves only stations with a station key (KeyFile in section Store of "
              "Kandrilox.ini)");
    EXPECT_FALSE(station.Connected());

    station.KeyFile = WritePrivate(m_folder, QStringLiteral("other.key"), "another-key-of-sixteen-or-more\n");
    EXPECT_EQ(ErrorOf([&] { RoomRows(station); }), "The station key was not accepted");
    EXPECT_FALSE(station.Connected());

    station.KeyFile = WritePrivate(m_folder, QStringLiteral("open.key"), FrontKey,
                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    EXPECT_NE(ErrorOf([&] { RoomRows(station); }).find("can be read or changed by others"),
              std::string::npos);
}

TEST_F(StationKeyTest, StationWithAKeyRefusesAServerThatAsksForNone)
{
    auto server = StartServer({});
    TSocketConnection station;
    Point(station, server->Port());
    station.KeyFile = m_stationKey;
    EXPECT_NE(ErrorOf([&] { RoomRows(station); }).find("asks for no station key, but this station has one"),
              std::string::npos);
    station.KeyFile.clear();
    EXPECT_EQ(RoomRows(station), 1) << "without keys on either side, as before";
}

TEST_F(StationKeyTest, PeerWithoutAKeyGetsRefusalsOnlyAndChangesNothing)
{
    auto server = StartServer({QStringLiteral("--key-file"), m_serverKeys});
    {
        // A guest and a card in the database, stored by a station with a key.
        TSocketConnection station;
        Point(station, server->Port());
        station.KeyFile = m_stationKey;
        station.Call(Message(QStringLiteral("open"), QStringLiteral("dsp_writecheckinrecord"),
                             QStringLiteral("select top 1 * from GuestInRecord")));
        station.Call(Rows(QStringLiteral("dsp_writecheckinrecord"),
                          {QJsonArray{QStringLiteral("GuestName"), QStringLiteral("Li Wei")},
                           QJsonArray{QStringLiteral("Room"), 101}}));
    }
    QString records;
    LockServerProcess::RunCommand(QStringLiteral("sqlite:") + m_db, {QStringLiteral("records")}, &records);
    ASSERT_NE(records.indexOf(u"Li Wei"), -1) << records.toStdString();
    const QByteArray before = DatabaseDigest();

    const QString sqlCard =
        QStringLiteral("Select * From MakeCardRecord Where (cardstatus=0) And (Rom='78563412')");
    const QList<QList<QJsonObject>> attacks{
        // read guest names and card serials, and which rooms are occupied
        {Message(QStringLiteral("open"), QStringLiteral("dsp_writecheckinrecord"),
                 QStringLiteral("select top 1 * from GuestInRecord")),
         Message(QStringLiteral("open"), QStringLiteral("dsp_public"), sqlCard)},
        // close an occupied room's stay
        {Message(QStringLiteral("execute"), QStringLiteral("dsp_writecheckoutrecord"),
                 QStringLiteral("Update GuestInRecord Set enOverride=1,LeaveTime='2024-05-22 11:58:03' Where "
                                "(Room =101)and(enOverride=0)"))},
        // forge an open stay, and a card record
        {Message(QStringLiteral("open"), QStringLiteral("dsp_writecheckinrecord"),
                 QStringLiteral("select top 1 * from GuestInRecord")),
         Rows(QStringLiteral("dsp_writecheckinrecord"), {QJsonArray{QStringLiteral("Room"), 102}})},
        {Message(QStringLiteral("open"), QStringLiteral("dsp_writemakerecord"),
                 QStringLiteral("select top 1 * from MakeCardRecord")),
         Rows(QStringLiteral("dsp_writemakerecord"),
              {QJsonArray{QStringLiteral("Rom"), QStringLiteral("AB")},
               QJsonArray{QStringLiteral("Holder"), QStringLiteral("X")}})},
    };
    const QJsonObject plainHello{{QStringLiteral("op"), QStringLiteral("hello")},
                                 {QStringLiteral("server"), LockServerName},
                                 {QStringLiteral("protocol"), 1}};
    for (int way = 0; way < 4; ++way) {
        for (const QList<QJsonObject> &attack : attacks) {
            SCOPED_TRACE(way);
            RawPeer peer(server->Port());
            EXPECT_TRUE(peer.greeting.value(QStringLiteral("stationKey")).toBool());
            QList<QJsonObject> messages = attack;
            QJsonObject hello = plainHello;
            if (way >= 2) {
                const QString nonce = sk::NewNonce();
                hello.insert(QStringLiteral("nonce"), nonce);
                // way 2: a proof made up; way 3: a proof replayed from another connection's nonce
                hello.insert(QStringLiteral("proof"),
                             way == 2 ? QString(64, u'0')
                                      : sk::Proof(FrontKey, sk::Role::Station, sk::NewNonce(), nonce));
            }
            if (way >= 1)
                messages.prepend(hello);
            const QJsonObject first = peer.Call(messages.takeFirst());
            EXPECT_FALSE(first.value(QStringLiteral("ok")).toBool());
            EXPECT_FALSE(first.value(QStringLiteral("error")).toString().isEmpty());
            EXPECT_FALSE(first.contains(QStringLiteral("rows")));
            for (const QJsonObject &m : messages)
                EXPECT_TRUE(peer.Call(m).isEmpty()) << "after the refusal the connection is closed";
        }
    }
    EXPECT_EQ(DatabaseDigest(), before) << "the database is byte for byte as it was";
}

TEST_F(StationKeyTest, NetworkAddressNeedsKeysOrInsecure)
{
    QString output;
    const QString url = QStringLiteral("sqlite:") + m_db;
    EXPECT_EQ(
        LockServerProcess::RunServer(url, {QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")}, &output),
        1);
    EXPECT_NE(output.indexOf(u"lockserver: Refusing to listen on 0.0.0.0 without --key-file"), -1)
        << output.toStdString();

    for (const QStringList &extra : {QStringList{QStringLiteral("--insecure")},
                                     QStringList{QStringLiteral("--key-file"), m_serverKeys}}) {
        LockServerProcess server(url, QStringList{QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")} +
                                          extra);
        EXPECT_NE(server.Start(), 0) << server.Output().toStdString();
    }
}

TEST_F(StationKeyTest, DatabaseFilesAreTheOwnersOnly)
{
    auto server = StartServer({});
    TSocketConnection station;
    Point(station, server->Port());
    station.Call(Message(QStringLiteral("open"), QStringLiteral("dsp_writemakerecord"),
                         QStringLiteral("select top 1 * from MakeCardRecord")));
    station.Call(Rows(QStringLiteral("dsp_writemakerecord"),
                      {QJsonArray{QStringLiteral("Rom"), QStringLiteral("AB")}}));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        SCOPED_TRACE(suffix.toStdString());
        EXPECT_EQ(ModeOf(m_db + suffix), 0600u);
    }
}

} // namespace

namespace {

// The station's TLS settings against a lockserver with a certificate made by tls-keygen.
class TlsTest : public StationKeyTest
{
protected:
    void SetUp() override
    {
        StationKeyTest::SetUp();
        QString printed;
        ASSERT_EQ(LockServerProcess::RunCommand(
                      QStringLiteral("sqlite:") + m_db,
                      {QStringLiteral("tls-keygen"), m_folder.file(QStringLiteral("tls"))}, &printed),
                  0)
            << printed.toStdString();
        const qsizetype at = printed.indexOf(u"fingerprint ");
        ASSERT_NE(at, -1) << printed.toStdString();
        m_fingerprint = printed.mid(at + 12).trimmed();
        EXPECT_EQ(ModeOf(m_folder.file(QStringLiteral("tls/lockserver.key"))), 0600u);
        m_server =
            StartServer({QStringLiteral("--key-file"), m_serverKeys, QStringLiteral("--tls-cert"),
                         m_folder.file(QStringLiteral("tls/lockserver.crt")), QStringLiteral("--tls-key"),
                         m_folder.file(QStringLiteral("tls/lockserver.key"))});
        Point(m_station, m_server->Port());
        m_station.KeyFile = m_stationKey;
        m_station.Tls = true;
    }

    QString m_fingerprint;
    std::unique_ptr<LockServerProcess> m_server;
    TSocketConnection m_station;
};

TEST_F(TlsTest, StationChecksTheCertificateAgainstItsFingerprint)
{
    // In the form openssl prints it: upper case with colons.
    QString colons;
    for (qsizetype i = 0; i < m_fingerprint.size(); i += 2)
        colons += (i ? QStringLiteral(":") : QString()) + m_fingerprint.mid(i, 2).toUpper();
    m_station.TlsFingerprint = colons;
    EXPECT_EQ(RoomRows(m_station), 1);

    m_station.Close();
    m_station.TlsFingerprint = QString(64, u'a');
    EXPECT_NE(ErrorOf([&] {
                  m_station.Open();
              }).find("presented a certificate whose fingerprint is not TlsFingerprint"),
              std::string::npos);
    EXPECT_FALSE(m_station.Connected());

    m_station.TlsFingerprint.clear(); // a self-signed certificate is in no trust store
    EXPECT_NE(ErrorOf([&] { m_station.Open(); }).find("TLS with the records store at 127.0.0.1"),
              std::string::npos);
}

TEST_F(TlsTest, PlainPeerGetsNothingFromATlsServer)
{
    QTcpSocket plain;
    plain.connectToHost(QStringLiteral("127.0.0.1"), m_server->Port());
    ASSERT_TRUE(plain.waitForConnected(5000));
    plain.write(proto::EncodeMessage(QJsonObject{{QStringLiteral("op"), QStringLiteral("hello")}}));
    plain.waitForReadyRead(1000);
    EXPECT_EQ(plain.readAll().indexOf("LockInterfaceServer"), -1) << "no greeting in the clear";
}

TEST_F(StationKeyTest, PasswordFileIsReadButNeverShown)
{
    const QString url = QStringLiteral("postgresql://kandrilox@127.0.0.1:1/lock");
    const QString open = WritePrivate(m_folder, QStringLiteral("open.pw"), "Secret-Pw-1\n",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QString output;
    EXPECT_EQ(LockServerProcess::RunCommand(
                  url,
                  {QStringLiteral("--password-file"), open, QStringLiteral("rooms"), QStringLiteral("list")},
                  &output),
              1);
    EXPECT_NE(output.indexOf(QStringLiteral("Password file %1 can be read or changed by others").arg(open)),
              -1)
        << output.toStdString();

    const QString good = WritePrivate(m_folder, QStringLiteral("good.pw"), "Secret-Pw-1\n");
    EXPECT_EQ(LockServerProcess::RunCommand(
                  url,
                  {QStringLiteral("--password-file"), good, QStringLiteral("rooms"), QStringLiteral("list")},
                  &output),
              1)
        << "nothing listens on port 1";
    EXPECT_EQ(output.indexOf(u"Secret-Pw-1"), -1) << output.toStdString();
    EXPECT_NE(output.indexOf(u"lockserver: "), -1) << output.toStdString();
}

} // namespace

#include "cardtoolrun.h"
#include "common/tempfolder.h"
#include "encoding/cardservice.h"
#include "encoding/encoderbinding.h"
#include "encoding/roomtext.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "store/dmrmt.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <gtest/gtest.h>

#include <memory>

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return kx::EncodeDate(y, mo, d) + kx::EncodeTime(h, mi, s, 0);
}

TEST(RoomText, AcceptsOnlyPlainNumbersACardCanHold)
{
    struct Case
    {
        QByteArray text;
        bool valid;
        QByteArray normalized;
    };
    const Case cases[] = {
        {"", true, "0"},
        {"0", true, "0"},
        {"00", true, "0"},
        {"101", true, "101"},
        {"0101", true, "101"},
        {"32767", true, "32767"},
        {"0000000000000032767", true, "32767"},
        {"32768", false, {}},
        {"4294967397", false, {}},
        {"+101", false, {}},
        {"-1", false, {}},
        {"101 ", false, {}},
        {"10a", false, {}},
        {"101)or(1=1", false, {}},
        {QByteArray("1\0"
                    "1",
                    3),
         false,
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QByteArray normalized = "unchanged";
        EXPECT_EQ(kx::NormalizeRoomText(c.text, normalized), c.valid);
        EXPECT_EQ(normalized, c.valid ? c.normalized : QByteArray("unchanged"));
    }
}

// CardService against the real lockserver (SQLite in a temp folder) and the
// real virtual encoder, with a clock the test sets.
class CardServiceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const QString db = QStringLiteral("sqlite:") + folder.file(QStringLiteral("lock.db"));
        QProcess setup;
        setup.start(testproc::Program(QStringLiteral("lockserver")),
                    {QStringLiteral("--database"), db, QStringLiteral("rooms"), QStringLiteral("add"),
                     QStringLiteral("101")});
        ASSERT_TRUE(setup.waitForFinished(20000) && setup.exitCode() == 0)
            << setup.readAllStandardError().data();
        server.setReadChannel(QProcess::StandardError);
        server.start(
            testproc::Program(QStringLiteral("lockserver")),
            {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"), db});
        const quint16 port = testproc::WaitForListening(server);
        ASSERT_NE(port, 0);

        ini =
            folder.write(QStringLiteral("Kandrilox.ini"),
                         QStringLiteral("[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=%1\n").arg(port).toUtf8());
        ASSERT_TRUE(encoder.Load(testproc::Program(QStringLiteral("libhotellock.so"))));
        encoder.EncodeInit(ini);
        PlaceCard();

        store = std::make_unique<Tdmrmt>(programFolder, info, notifier);
        store->ConnectServer();
        service = std::make_unique<kx::CardService>(encoder, *store, programFolder, clock);
    }

    void TearDown() override
    {
        server.terminate();
        server.waitForFinished(10000);
        QSqlDatabase::removeDatabase(connection);
    }

    void PlaceCard()
    {
        ASSERT_EQ(RunCardTool({QStringLiteral("--ini"), ini, QStringLiteral("place"),
                               QStringLiteral("--serial"), QStringLiteral("78563412")})
                      .exitCode,
                  0);
    }

    QVariantMap FirstRow(const QString &sql)
    {
        if (!QSqlDatabase::contains(connection)) {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
            db.setDatabaseName(folder.file(QStringLiteral("lock.db")));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            db.open();
        }
        QSqlQuery query(QSqlDatabase::database(connection));
        QVariantMap row;
        if (query.exec(sql) && query.next()) {
            for (int i = 0; i < query.record().count(); ++i)
                row.insert(query.record().fieldName(i), query.value(i));
        }
        return row;
    }

    TCardInterface Stay(const QByteArray &room = "101")
    {
        TCardInterface stay;
        stay.Room = room;
        stay.GuestName = "Li";
        stay.GuestInTime = At(2024, 5, 20, 14, 0, 30);
        stay.GuestLeaveTime = At(2024, 5, 22, 12, 0, 0);
        return stay;
    }

    TempFolder folder;
    kx::ProgramFolder programFolder{folder.path()};
    QString ini;
    QProcess server;
    kx::EncoderBinding encoder;
    kx::FixedClock clock{At(2024, 5, 20, 13, 55, 7)};
    TLockSystemInfo info;
    kx::StderrNotifier notifier;
    std::unique_ptr<Tdmrmt> store;
    std::unique_ptr<kx::CardService> service;
    const QString connection = QUuid::createUuid().toString();
};

class CardModeTest : public CardServiceTest, public testing::WithParamInterface<std::pair<int, bool>>
{
};

TEST_P(CardModeTest, CardRecordCarriesThePeriodOutsideModesOneAndTwo)
{
    const auto [mode, withPeriod] = GetParam();
    ASSERT_EQ(service->CheckInCard(Stay()), 0);
    service->Work().CardWorkArea.CardMode[0] = Word(mode); // as the library may leave it
    service->AddCardRecord(Stay());

    const QVariantMap row = FirstRow(QStringLiteral("SELECT * FROM MakeCardRecord"));
    ASSERT_FALSE(row.isEmpty());
    EXPECT_EQ(row["inputtime"].toString(), "2024-05-20 13:55:07"); // the clock's time
    EXPECT_EQ(row["StartTime"].isNull(), !withPeriod);
    EXPECT_EQ(row["EndTime"].isNull(), !withPeriod);
    if (withPeriod) {
        EXPECT_EQ(row["StartTime"].toString(), "2024-05-20 14:00:30");
        EXPECT_EQ(row["EndTime"].toString(), "2024-05-22 12:00:00");
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CardModeTest,
                         testing::Values(std::pair{0, true}, std::pair{1, false}, std::pair{2, false},
                                         std::pair{3, true}));

TEST_F(CardServiceTest, CheckOutTimeTextLeavesOutMidnight)
{
    const std::pair<TDateTime, QString> cases[] = {{At(2024, 5, 22, 11, 58, 3), "2024-05-22 11:58:03"},
                                                   {At(2024, 5, 23, 0, 0, 0), "2024-05-23"}};
    for (const auto &[now, text] : cases) {
        SCOPED_TRACE(text.toStdString());
        PlaceCard();
        ASSERT_EQ(service->CheckRoom("101"), 0);
        ASSERT_EQ(service->CheckInCard(Stay()), 0);
        service->AddCardRecord(Stay());
        service->AddGuestRecord(Stay());
        clock.Set(now);
        ASSERT_EQ(service->CheckOut("101"), 1);
        const QVariantMap stay = FirstRow("SELECT LeaveTime FROM GuestInRecord ORDER BY ID DESC");
        EXPECT_EQ(stay["LeaveTime"].toString(), text);
        const QVariantMap card = FirstRow("SELECT Explain FROM MakeCardRecord ORDER BY ID DESC");
        EXPECT_EQ(card["Explain"].toString(), "Revoke time:" + text);
    }
}

TEST_F(CardServiceTest, ARecordTheServerRefusesIsAnErrorNotASuccess)
{
    {
        // The lock database turns the guest record away.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection + "w");
        db.setDatabaseName(folder.file(QStringLiteral("lock.db")));
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec("CREATE TRIGGER refuse BEFORE INSERT ON GuestInRecord "
                                       "BEGIN SELECT RAISE(ABORT, 'guest book full'); END"));
    }
    QSqlDatabase::removeDatabase(connection + "w");

    ASSERT_EQ(service->CheckInCard(Stay()), 0);
    service->AddCardRecord(Stay());
    try {
        service->AddGuestRecord(Stay());
        FAIL() << "no error raised";
    } catch (const kx::StoreError &e) {
        EXPECT_TRUE(e.text().contains("GuestInRecord")) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains("guest book full")) << e.text().toStdString();
    }
    EXPECT_FALSE(FirstRow("SELECT * FROM MakeCardRecord").isEmpty());
    EXPECT_TRUE(FirstRow("SELECT * FROM GuestInRecord").isEmpty());
}

TEST_F(CardServiceTest, CheckInCardRefusesARoomTheCardCannotHoldBeforeTouchingTheCard)
{
    EXPECT_EQ(service->CheckInCard(Stay("32768")), 18);
    EXPECT_EQ(service->CheckInCard(Stay("1x")), 18);
    EXPECT_EQ(MakeRomText(service->Work().CardWorkArea.CardRom), "00000000"); // never read

    ASSERT_EQ(service->CheckInCard(Stay("32767")), 0);
    TCardInterface card;
    ASSERT_EQ(service->ReadCardInfo(card), 1);
    EXPECT_EQ(card.Room, "32767");
}

// A card whose room word is not positive reads as a blank card.
TEST_F(CardServiceTest, RoomWordsBelowOneReadAsABlankCard)
{
    for (const Word room : {Word(0), Word(-1), Word(-25536) /* 40000 */}) {
        SCOPED_TRACE(room);
        TLock_Make card{};
        ASSERT_EQ(encoder.ReadCard(card), 1);
        card.RoomDoors[0] = room;
        DateTimeToLockTime(At(2024, 5, 20, 14, 0, 0), card.LockStartTime);
        DateTimeToLockTime(At(2024, 5, 22, 12, 0, 0), card.LockEndTime);
        ASSERT_EQ(encoder.MakeGuestCard(card), 1);

        clock.Set(At(2024, 6, 1, 9, 30, 15));
        TCardInterface read;
        ASSERT_EQ(service->ReadCardInfo(read), 1);
        EXPECT_EQ(read.Room, " ");
        EXPECT_EQ(read.GuestName, " ");
        EXPECT_EQ(read.GuestInTime, clock.Now());
        EXPECT_EQ(read.GuestLeaveTime, clock.Now());
    }
}

TEST_F(CardServiceTest, ReadOfACardWithARoomButNoPeriodRaisesAndLeavesTheRecordAlone)
{
    TLock_Make card{};
    ASSERT_EQ(encoder.ReadCard(card), 1);
    card.RoomDoors[0] = 101; // lock times stay all zero
    ASSERT_EQ(encoder.MakeGuestCard(card), 1);

    TCardInterface current = Stay();
    try {
        service->ReadCardInfo(current);
        FAIL() << "no error raised";
    } catch (const kx::ConvertError &e) {
        EXPECT_EQ(e.text(), "Invalid argument to date encode");
    }
    EXPECT_EQ(current.Room, "101");
    EXPECT_EQ(current.GuestName, "Li");
    EXPECT_EQ(current.GuestInTime, Stay().GuestInTime);
}

TEST_F(CardServiceTest, FailedReadLeavesTheRecordAlone)
{
    ASSERT_EQ(RunCardTool({QStringLiteral("--ini"), ini, QStringLiteral("remove")}).exitCode, 0);
    TCardInterface current = Stay();
    EXPECT_NE(service->ReadCardInfo(current), 1);
    EXPECT_EQ(current.Room, "101");
    EXPECT_EQ(current.GuestName, "Li");
}

} // namespace

#include "cardtoolrun.h"
#include "common/tempfolder.h"
#include "encoding/cardjournal.h"
#include "encoding/cardservice.h"
#include "encoding/encoderbinding.h"
#include "encoding/roomtext.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "store/dmrmt.h"

#include <QFileInfo>
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

// The card journal: what a station killed in the middle of a card operation
// finds at its next start, and what it does with it.
class CardJournalTest : public CardServiceTest
{
protected:
    // A station with a journal in the program folder, as start-up makes one.
    std::unique_ptr<kx::CardService> Station()
    {
        return std::make_unique<kx::CardService>(encoder, *store, programFolder, clock, &journal,
                                                 [this](const QString &text) { reports << text; });
    }

    int Count(const QString &table)
    {
        return FirstRow(QStringLiteral("SELECT COUNT(*) AS n FROM %1").arg(table))["n"].toInt();
    }

    kx::CardJournal journal{folder.file(kx::CardJournalFile)};
    QStringList reports;
};

TEST_F(CardJournalTest, ACheckInKilledAfterTheCardWasWrittenGetsItsRecordsAtTheNextStart)
{
    auto station = Station();
    ASSERT_EQ(station->CheckRoom("101"), 0);
    ASSERT_EQ(station->CheckInCard(Stay()), 0);
    // The entry is on disk, readable by the station's user alone.
    const QFileInfo file(journal.Path());
    ASSERT_TRUE(file.exists());
    EXPECT_EQ(file.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    station.reset(); // killed before the records

    kx::CardJournal restarted(journal.Path());
    kx::CardService next(encoder, *store, programFolder, clock, &restarted,
                         [this](const QString &text) { reports << text; });
    next.MendLeftovers();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0].toStdString(),
              "Interrupted check in of room 101, card 78563412: the card was written "
              "without records; its records are stored now.");
    EXPECT_FALSE(reports[0].contains("Li")) << "the holder is not told";
    EXPECT_EQ(Count("MakeCardRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord"), 1);
    EXPECT_EQ(FirstRow("SELECT Rom, GuestName, GuestInTime FROM GuestInRecord")["GuestInTime"].toString(),
              "2024-05-20 14:00:30");
    EXPECT_FALSE(QFile::exists(journal.Path())) << "nothing is left to report";

    // An answered request leaves no entry.
    ASSERT_EQ(next.CheckOut("101"), 1);
    EXPECT_TRUE(QFile::exists(journal.Path())) << "kept until the front desk has its answer";
    next.Answered();
    EXPECT_FALSE(QFile::exists(journal.Path()));
    PlaceCard();
    ASSERT_EQ(next.CheckRoom("101"), 0);
    ASSERT_EQ(next.CheckInCard(Stay()), 0);
    next.AddCardRecord(Stay());
    next.AddGuestRecord(Stay());
    next.Answered();
    EXPECT_FALSE(QFile::exists(journal.Path()));
    EXPECT_EQ(reports.size(), 1);
}

TEST_F(CardJournalTest, LeftoversThatCannotBeMendedAreReported)
{
    // Recorded before the records of a check-in were stored, then the
    // records were stored and the station was killed before its answer.
    auto station = Station();
    ASSERT_EQ(station->CheckRoom("101"), 0);
    ASSERT_EQ(station->CheckInCard(Stay()), 0);
    station->AddCardRecord(Stay());
    const QList<kx::JournalEntry> inProgress = kx::CardJournal(journal.Path()).Leftovers();
    ASSERT_EQ(inProgress.size(), 1);
    const kx::JournalEntry answered = inProgress[0];
    station->AddGuestRecord(Stay());
    station->Answered();
    ASSERT_FALSE(QFile::exists(journal.Path()));
    kx::CardJournal(journal.Path()).Begin(answered);

    // Killed while the encoder wrote a card that is not the one now on it.
    kx::JournalEntry writing = answered;
    writing.step = kx::JournalEntry::Step::CardWriting;
    writing.card.CardRom[0] = 0x11;
    kx::CardJournal(journal.Path()).Begin(writing);

    // Killed between closing a room's records and erasing its card.
    kx::JournalEntry closing;
    closing.kind = kx::JournalEntry::Kind::CheckOut;
    closing.step = kx::JournalEntry::Step::RecordsClosing;
    closing.request.Room = "102";
    kx::CardJournal(journal.Path()).Begin(closing);
    kx::JournalEntry erasing = closing;
    erasing.step = kx::JournalEntry::Step::CardErasing;
    erasing.card = answered.card;
    kx::CardJournal(journal.Path()).Begin(erasing);

    Station()->MendLeftovers();
    EXPECT_EQ(
        reports,
        QStringList({
            "Interrupted check in of room 101, card 78563412: the card and its records were made, but "
            "the front desk had no answer.",
            "Interrupted check in of room 101, card 78563411: it is not known whether the card was "
            "written, and no records were stored. If the card opens the room, erase it.",
            "Interrupted check out of room 102, card unknown: the room's stays and cards may be closed "
            "while the card still opens the room. Lay the card on the encoder and check the room out "
            "again.",
            "Interrupted check out of room 102, card 78563412: the room's stays and cards may be closed "
            "while the card still opens the room. Lay the card on the encoder and check the room out "
            "again.",
        }));
    EXPECT_EQ(Count("GuestInRecord"), 1) << "nothing stored twice";
    EXPECT_FALSE(QFile::exists(journal.Path()));
}

TEST_F(CardJournalTest, AKeyCardKilledBeforeItsRecordGetsItsCardRecordAndNoStay)
{
    // A one-shot key written for room 101, the station killed before its record.
    kx::JournalEntry key;
    key.kind = kx::JournalEntry::Kind::KeyCard;
    key.step = kx::JournalEntry::Step::CardWritten;
    key.request = Stay();
    key.cardType = kx::CardService::OneShotCardType;
    ASSERT_EQ(encoder.ReadCard(key.card), 1);
    key.card.RoomDoors[0] = 101;
    DateTimeToLockTime(Stay().GuestInTime, key.card.LockStartTime);
    DateTimeToLockTime(Stay().GuestLeaveTime, key.card.LockEndTime);
    ASSERT_EQ(encoder.MakeGuestCard(key.card), 1);
    kx::CardJournal(journal.Path()).Begin(key);

    Station()->MendLeftovers();
    EXPECT_EQ(reports, QStringList{"Interrupted one-shot key of room 101, card 78563412: the card was written "
                                   "without its record; its record is stored now."});
    EXPECT_EQ(FirstRow("SELECT CardType FROM MakeCardRecord")["CardType"].toInt(), 5);
    EXPECT_EQ(Count("GuestInRecord"), 0) << "a key opens no stay";
}

TEST_F(CardJournalTest, ACheckInWhoseRecordsCannotBeStoredYetWaitsForTheStore)
{
    auto station = Station();
    ASSERT_EQ(station->CheckRoom("101"), 0);
    ASSERT_EQ(station->CheckInCard(Stay()), 0);
    server.terminate();
    server.waitForFinished(10000);
    EXPECT_THROW(station->AddCardRecord(Stay()), kx::StoreError);

    // Told once, kept until the records store answers again.
    station->MendLeftovers();
    station->MendLeftovers();
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(
        reports[0].startsWith("Interrupted check in of room 101, card 78563412: the card was written, "
                              "but its records cannot be stored yet ("))
        << reports[0].toStdString();
    EXPECT_TRUE(reports[0].endsWith("They are stored when the records store answers."))
        << reports[0].toStdString();
    EXPECT_EQ(journal.Leftovers().size(), 1);
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

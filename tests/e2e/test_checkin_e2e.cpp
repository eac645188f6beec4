#include "e2efixture.h"

#include <QDateTime>

TEST_F(EndToEnd, CheckInWritesTheCardThenTheCardRecordThenTheGuestRecord)
{
    // The frame as a front-desk system sends it, byte for byte.
    const QByteArray frame = QByteArray::fromHex("0200000000497c523130317c4e4c697c44240520140030"
                                                 "7c4f24052212000003");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_EQ(system.Request(frame).toHex(' '), ResultReply(0).toHex(' '));

    const QJsonObject card = system.ShowCard();
    EXPECT_EQ(card.value("serial").toString(), "78563412");
    EXPECT_EQ(card.value("room").toInt(), 101);
    EXPECT_EQ(card.value("start").toString(), "2024-05-20 14:00");
    EXPECT_EQ(card.value("end").toString(), "2024-05-22 12:00");

    const QList<QVariantMap> cards = system.Rows("SELECT * FROM MakeCardRecord");
    ASSERT_EQ(cards.size(), 1);
    const QVariantMap &c = cards[0];
    EXPECT_EQ(c["Rom"].toString(), "78563412");
    EXPECT_EQ(c["enOverride"].toInt(), 1);
    EXPECT_EQ(c["Holder"].toString(), "Li");
    EXPECT_EQ(c["Explain"].toString(), "");
    EXPECT_EQ(c["CardType"].toInt(), 4);
    EXPECT_EQ(c["Deadboltoverride"].toInt(), 0);
    EXPECT_EQ(c["override"].toInt(), 0);
    EXPECT_EQ(c["Passagemode"].toInt(), 0);
    EXPECT_EQ(c["CommonDoors"].toString(), "00000000");
    EXPECT_EQ(c["Room"].toInt(), 101);
    EXPECT_EQ(c["StartTime"].toString(), "2024-05-20 14:00:30"); // the request's seconds are kept
    EXPECT_EQ(c["EndTime"].toString(), "2024-05-22 12:00:00");
    EXPECT_EQ(c["cardstatus"].toInt(), 0);

    const QList<QVariantMap> stays = system.Rows("SELECT * FROM GuestInRecord");
    ASSERT_EQ(stays.size(), 1);
    const QVariantMap &g = stays[0];
    EXPECT_EQ(g["GuestName"].toString(), "Li");
    EXPECT_EQ(g["Room"].toInt(), 101);
    EXPECT_EQ(g["Rom"].toString(), "78563412");
    EXPECT_EQ(g["GuestInTime"].toString(), "2024-05-20 14:00:30");
    EXPECT_EQ(g["GuestLeaveTime"].toString(), "2024-05-22 12:00:00");
    EXPECT_EQ(g["InputUser"].toString(), "");
    EXPECT_EQ(g["enOverride"].toInt(), 0);
    EXPECT_TRUE(g["LeaveTime"].isNull());

    // Each record takes its own input time; the card record's comes first.
    const QDateTime cardInput = QDateTime::fromString(c["inputtime"].toString(), "yyyy-MM-dd HH:mm:ss");
    const QDateTime guestInput = QDateTime::fromString(g["inputtime"].toString(), "yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(cardInput.isValid() && guestInput.isValid());
    EXPECT_GE(cardInput, before);
    EXPECT_LE(cardInput, guestInput);
    EXPECT_LE(guestInput, QDateTime::currentDateTime());

    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().contains("Guest check in ok"); }));
    EXPECT_EQ(system.LogOperations(), (QStringList{"Client connection", "Guest check in ok"}));
}

TEST_F(EndToEnd, CheckInOfAnOccupiedRoomAnswers17AndTouchesNothing)
{
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    ASSERT_EQ(system.Card({"place", "--serial", "0000ABCD"}), 0);

    EXPECT_EQ(CheckIn("101", "Wang"), ResultReply(17));
    EXPECT_EQ(system.ShowCard().value("room").toInt(), 0); // the new card stays blank
    EXPECT_EQ(Count("MakeCardRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord"), 1);
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().size() == 3; }));
    EXPECT_EQ(system.LogOperations().last(), "The room is occupied");
}

TEST_F(EndToEnd, RoomWithLeadingZerosIsTheSameRoom)
{
    ASSERT_EQ(CheckIn("000000000000101"), ResultReply(0));
    EXPECT_EQ(system.ShowCard().value("room").toInt(), 101);
    EXPECT_EQ(Count("MakeCardRecord", "Room=101"), 1);
    EXPECT_EQ(Count("GuestInRecord", "Room=101"), 1);
    EXPECT_EQ(CheckIn("101"), ResultReply(17));
    EXPECT_EQ(CheckOut("0101"), ResultReply(0));
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0"), 0);
}

TEST_F(EndToEnd, CheckInWithoutACardOnTheEncoderAnswersTheLibrarysCode)
{
    ASSERT_EQ(system.Card({"remove"}), 0);
    EXPECT_EQ(CheckIn("101"), ResultReply(1));
    EXPECT_EQ(Count("MakeCardRecord"), 0);
    EXPECT_EQ(Count("GuestInRecord"), 0);
}

// Room texts that are no room of the hotel: not in the room list, room 0,
// or not a plain number at all. Texts shaped like SQL must change nothing.
TEST_F(EndToEnd, RoomTextsThatAreNoRoomAnswer18AndChangeNothing)
{
    ASSERT_EQ(CheckIn("102"), ResultReply(0)); // an open stay the texts below must not close
    ASSERT_EQ(system.Card({"place", "--serial", "0000ABCD"}), 0);

    const QList<QByteArray> rooms = {
        "104", "",     "0",    "101) or (1=1", "102)or(1=1", "102 or 1=1",           "102;delete", "-1",
        "1e2", "0x65", " 102", "102 ",         "32768",      "99999999999999999999", "１０２"};
    for (const QByteArray &room : rooms) {
        SCOPED_TRACE(room.toStdString());
        EXPECT_EQ(CheckIn(room), ResultReply(18));
    }
    // Check-out refuses the same texts before any statement and before the
    // card, except for an empty text or room 0, which only select no rows.
    for (const QByteArray &room : rooms.mid(3)) {
        SCOPED_TRACE(room.toStdString());
        EXPECT_EQ(CheckOut(room), ResultReply(18));
    }
    EXPECT_EQ(system.ShowCard().value("serial").toString(), "0000ABCD");
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0 AND Room=102"), 1);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND Room=102"), 1);
    EXPECT_EQ(Count("MakeCardRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord"), 1);
}

// A vendor library may set the card mode and the common doors as it writes
// the card: the card record is made from what it left in the card work area.
TEST_F(EndToEnd, CardRecordTakesTheModeAndCommonDoorsTheLibrarySet)
{
    const struct
    {
        const char *lines;
        bool periodRecorded;
        const char *commonDoors;
    } cases[] = {
        {"MakeCardMode=1\nMakeCommonDoors=0x0A,0x1B,0x2C,0x3D\n", false, "0A1B2C3D"},
        {"MakeCardMode=2\n", false, "00000000"},
        {"MakeCardMode=3\nMakeCommonDoors=0x0A,0x1AB,0x2C,0x3D\n", true, "0A1AB2C3D"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines);
        system.SetEncoderLines(QString::fromLatin1(c.lines));
        ASSERT_EQ(system.Card({"place", "--serial", "78563412"}), 0);
        ASSERT_EQ(CheckIn("101"), ResultReply(0));
        const QList<QVariantMap> cards = system.Rows("SELECT * FROM MakeCardRecord WHERE cardstatus=0");
        ASSERT_EQ(cards.size(), 1);
        EXPECT_EQ(cards[0]["CommonDoors"].toString(), c.commonDoors);
        EXPECT_EQ(cards[0]["StartTime"].isNull(), !c.periodRecorded);
        EXPECT_EQ(cards[0]["EndTime"].isNull(), !c.periodRecorded);
        // The card itself holds the stay whatever its mode.
        EXPECT_EQ(system.ShowCard().value("end").toString(), "2024-05-22 12:00");
        ASSERT_EQ(CheckOut("101"), ResultReply(0));
    }
    // A setting the library cannot read refuses the card: nothing is recorded.
    system.SetEncoderLines(QStringLiteral("MakeCommonDoors=0A,1B\n"));
    ASSERT_EQ(system.Card({"place", "--serial", "78563412"}), 0);
    EXPECT_EQ(CheckIn("102"), ResultReply(8));
    EXPECT_EQ(Count("MakeCardRecord", "Room=102"), 0);
}

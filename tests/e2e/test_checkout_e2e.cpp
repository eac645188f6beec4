#include "e2efixture.h"

#include <QRegularExpression>

namespace {

// The check-out date-time as stored: date, and the time unless it is midnight.
const QRegularExpression CheckOutTime(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}:\\d{2})?$"));

} // namespace

TEST_F(EndToEnd, CheckOutClosesTheRoomsRowsAndErasesTheCard)
{
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    ASSERT_EQ(CheckIn("102", "Wang"), ResultReply(0)); // same card, another room: must stay open

    EXPECT_EQ(CheckOut("101"), ResultReply(0));

    const QJsonObject card = system.ShowCard();
    EXPECT_TRUE(card.value("present").toBool());
    EXPECT_EQ(card.value("room").toInt(), 0);
    EXPECT_TRUE(card.value("start").isNull());
    EXPECT_TRUE(card.value("commonDataSector").isNull()); // no sector set: nothing written

    const QList<QVariantMap> stays = system.Rows("SELECT * FROM GuestInRecord WHERE Room=101");
    ASSERT_EQ(stays.size(), 1);
    EXPECT_EQ(stays[0]["enOverride"].toInt(), 1);
    EXPECT_TRUE(CheckOutTime.match(stays[0]["LeaveTime"].toString()).hasMatch())
        << stays[0]["LeaveTime"].toString().toStdString();
    const QList<QVariantMap> cards = system.Rows("SELECT * FROM MakeCardRecord WHERE Room=101");
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0]["cardstatus"].toInt(), 1);
    const QString explain = cards[0]["Explain"].toString();
    ASSERT_TRUE(explain.startsWith("Revoke time:")) << explain.toStdString();
    EXPECT_TRUE(CheckOutTime.match(explain.mid(12)).hasMatch()) << explain.toStdString();

    EXPECT_EQ(Count("GuestInRecord", "Room=102 AND enOverride=0"), 1);
    EXPECT_EQ(Count("MakeCardRecord", "Room=102 AND cardstatus=0"), 1);

    // The room is free again.
    EXPECT_EQ(CheckIn("101"), ResultReply(0));
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().size() == 5; }));
    EXPECT_EQ(system.LogOperations()[3], "Guest check out ok");
}

TEST_F(EndToEnd, CheckOutWritesTheCommonDataSectorOnlyWhenOneIsSet)
{
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    system.SetCommonDataSector(3); // read afresh by every check-out
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
    EXPECT_EQ(system.ShowCard().value("commonDataSector").toInt(), 3);

    // 65536 has low 16 bits 0: no sector.
    ASSERT_EQ(system.Card({"place", "--serial", "0000ABCD"}), 0);
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    system.SetCommonDataSector(65536);
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
    EXPECT_TRUE(system.ShowCard().value("commonDataSector").isNull());
}

TEST_F(EndToEnd, CheckOutWithoutACardClosesTheRowsAndAnswersTheLibrarysCode)
{
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    ASSERT_EQ(system.Card({"remove"}), 0);

    EXPECT_EQ(CheckOut("101"), ResultReply(1));
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0"), 0);
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0"), 0);

    // With a card laid on, a second check-out finds no open rows and still erases it.
    ASSERT_EQ(system.Card({"place"}), 0);
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
}

TEST_F(EndToEnd, CheckOutOfRoomZeroErasesTheCardAndClosesNothing)
{
    ASSERT_EQ(CheckIn("101"), ResultReply(0));
    EXPECT_EQ(CheckOut(""), ResultReply(0));
    EXPECT_EQ(system.ShowCard().value("room").toInt(), 0);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND Room=101"), 1);
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0 AND Room=101"), 1);
}

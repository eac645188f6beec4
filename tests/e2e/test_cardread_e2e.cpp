#include "e2efixture.h"

#include <QFile>

TEST_F(EndToEnd, ReadingABlankCardGivesSpacesAndTheTimeOfReading)
{
    const QByteArray reply = Read();
    ASSERT_EQ(reply.size(), 29);
    TCardInterface card;
    ASSERT_TRUE(frontdesk::ParseCardReply(reply, card));
    EXPECT_EQ(card.Room, " ");
    EXPECT_EQ(card.GuestName, " ");
    EXPECT_EQ(card.GuestInTime, card.GuestLeaveTime);
    EXPECT_NEAR(card.GuestInTime, kx::FromQDateTime(QDateTime::currentDateTime()), 60.0 / 86400);
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().contains("Read card"); }));
}

TEST_F(EndToEnd, ReadingACheckedInCardGivesRoomHolderAndPeriod)
{
    ASSERT_EQ(CheckIn("101", "Li"), ResultReply(0));
    // Start 14:00:30 on the request; the card holds minutes only.
    EXPECT_EQ(Read().toHex(' '), QByteArray::fromHex("0200000000007c523130317c4e4c697c44240520140000"
                                                     "7c4f24052212000003")
                                     .toHex(' '));
}

TEST_F(EndToEnd, ReadingARevokedCardGivesItsRoomWithoutAHolder)
{
    ASSERT_EQ(CheckIn("101", "Li"), ResultReply(0));
    // Take the guest's card away, check out, and lay it on again.
    QFile cardFile(system.CardFile());
    ASSERT_TRUE(cardFile.open(QIODevice::ReadOnly));
    const QByteArray guestCard = cardFile.readAll();
    cardFile.close();
    ASSERT_EQ(system.Card({"remove"}), 0);
    ASSERT_EQ(CheckOut("101"), ResultReply(1));
    ASSERT_TRUE(cardFile.open(QIODevice::WriteOnly));
    cardFile.write(guestCard);
    cardFile.close();

    TCardInterface card;
    ASSERT_TRUE(frontdesk::ParseCardReply(Read(), card));
    EXPECT_EQ(card.Room, "101");
    EXPECT_EQ(card.GuestName, "");
    EXPECT_EQ(card.GuestInTime, At(2024, 5, 20, 14, 0, 0));
}

// Names travel as bytes of the front desk's code page, here GBK for 李四.
TEST_F(EndToEnd, HolderComesBackByteForByte)
{
    const QByteArray name = QByteArray::fromHex("c0eecbc4");
    ASSERT_EQ(CheckIn("101", name), ResultReply(0));
    TCardInterface card;
    ASSERT_TRUE(frontdesk::ParseCardReply(Read(), card));
    EXPECT_EQ(card.GuestName.toHex(), name.toHex());
}

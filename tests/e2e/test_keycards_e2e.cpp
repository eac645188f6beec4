#include "e2efixture.h"

// Duplicate ('C') and one-shot ('S') keys on the running system.
class KeyCards : public EndToEnd
{
protected:
    QByteArray Duplicate(const QByteArray &room, const std::optional<QByteArray> &holder = std::nullopt,
                         std::optional<TDateTime> end = std::nullopt)
    {
        return system.Request(frontdesk::DuplicateKeyFrame(room, holder, end));
    }
    QByteArray OneShot(const QByteArray &room, TDateTime start, TDateTime end,
                       const std::optional<QByteArray> &holder = std::nullopt)
    {
        return system.Request(frontdesk::OneShotKeyFrame(room, start, end, holder));
    }
    // Lays a fresh blank card on the encoder.
    void NewCard(const char *serial) { ASSERT_EQ(system.Card({"place", "--serial", serial}), 0); }
};

TEST_F(KeyCards, DuplicateKeyWritesASecondCardForTheStayAndKeepsTheFirst)
{
    ASSERT_EQ(CheckIn("101", "Li"), ResultReply(0));
    NewCard("0000ABCD");
    EXPECT_EQ(Duplicate("0101"), ResultReply(0));

    const QJsonObject card = system.ShowCard();
    EXPECT_EQ(card.value("serial").toString(), "0000ABCD");
    EXPECT_EQ(card.value("room").toInt(), 101);
    EXPECT_EQ(card.value("start").toString(), "2024-05-20 14:00");
    EXPECT_EQ(card.value("end").toString(), "2024-05-22 12:00");

    const QList<QVariantMap> cards = system.Rows("SELECT * FROM MakeCardRecord WHERE Rom='0000ABCD'");
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0]["Holder"].toString(), "Li"); // the stay's guest
    EXPECT_EQ(cards[0]["CardType"].toInt(), 4);
    EXPECT_EQ(cards[0]["Room"].toInt(), 101);
    EXPECT_EQ(cards[0]["StartTime"].toString(), "2024-05-20 14:00:30");
    EXPECT_EQ(cards[0]["EndTime"].toString(), "2024-05-22 12:00:00");
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0 AND Room=101"), 2); // the first card stays valid
    EXPECT_EQ(Count("GuestInRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0"), 1);

    // A sharer's card, named and ending before the stay does.
    NewCard("0000BEEF");
    EXPECT_EQ(Duplicate("101", QByteArray("Wang"), At(2024, 5, 21, 10, 0, 0)), ResultReply(0));
    EXPECT_EQ(system.ShowCard().value("end").toString(), "2024-05-21 10:00");
    EXPECT_EQ(Count("MakeCardRecord", "Rom='0000BEEF' AND Holder='Wang' AND EndTime='2024-05-21 10:00:00'"),
              1);

    // Reading it finds its own holder; check-out revokes every card of the stay.
    TCardInterface read;
    ASSERT_TRUE(frontdesk::ParseCardReply(Read(), read));
    EXPECT_EQ(read.GuestName, "Wang");
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0"), 0);
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().count("Duplicate key ok") == 2; }));
}

TEST_F(KeyCards, DuplicateKeyThatCannotBeMadeAnswersItsCodeAndRecordsNothing)
{
    ASSERT_EQ(CheckIn("102", "Li"), ResultReply(0));
    NewCard("0000ABCD");
    const struct
    {
        QByteArray frame;
        int code;
        const char *row;
    } cases[] = {
        {frontdesk::DuplicateKeyFrame("101", std::nullopt, std::nullopt), 19, "The room has no open stay"},
        {frontdesk::DuplicateKeyFrame("104", std::nullopt, std::nullopt), 18,
         "The room number was not found"},
        {frontdesk::DuplicateKeyFrame("10A", std::nullopt, std::nullopt), 18,
         "The room number was not found"},
        {frontdesk::DuplicateKeyFrame("32768", std::nullopt, std::nullopt), 18,
         "The room number was not found"},
        {frontdesk::DuplicateKeyFrame("102", std::nullopt, At(2024, 5, 22, 12, 1, 0)), 20,
         "The key's period is not valid"}, // after the stay's end
        {frontdesk::DuplicateKeyFrame("102", std::nullopt, At(2024, 5, 20, 14, 0, 0)), 20,
         "The key's period is not valid"}, // before the stay's start
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.row);
        const int rows = int(system.LogOperations().size());
        EXPECT_EQ(system.Request(c.frame), ResultReply(c.code));
        ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().size() > rows; }));
        EXPECT_EQ(system.LogOperations().last(), c.row);
    }
    ASSERT_EQ(system.Card({"remove"}), 0);
    EXPECT_EQ(Duplicate("102"), ResultReply(1));

    EXPECT_EQ(Count("MakeCardRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0"), 1);
}

TEST_F(KeyCards, OneShotKeyIsACardOfItsOwnTypeThatOpensAndClosesNoStay)
{
    ASSERT_EQ(CheckIn("101", "Li"), ResultReply(0));
    NewCard("0000ABCD");
    const TDateTime start = At(2024, 5, 20, 15, 0, 0), end = At(2024, 5, 20, 16, 0, 0);
    EXPECT_EQ(OneShot("101", start, end, QByteArray("Visitor")), ResultReply(0)); // an occupied room
    NewCard("0000BEEF");
    EXPECT_EQ(OneShot("102", start, end), ResultReply(0)); // a free one

    const QJsonObject card = system.ShowCard();
    EXPECT_EQ(card.value("room").toInt(), 102);
    EXPECT_EQ(card.value("start").toString(), "2024-05-20 15:00");
    EXPECT_EQ(card.value("end").toString(), "2024-05-20 16:00");
    EXPECT_EQ(Count("MakeCardRecord", "CardType=5 AND Room=101 AND Holder='Visitor'"), 1);
    EXPECT_EQ(Count("MakeCardRecord", "CardType=5 AND Room=102 AND Rom='0000BEEF' AND "
                                      "StartTime='2024-05-20 15:00:00' AND EndTime='2024-05-20 16:00:00'"),
              1);
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0"), 3);
    EXPECT_EQ(Count("GuestInRecord"), 1); // Li's stay, still open
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND Room=101"), 1);
    EXPECT_EQ(CheckIn("102"), ResultReply(0)); // the one-shot key left room 102 free

    EXPECT_EQ(OneShot("104", start, end), ResultReply(18));
    EXPECT_EQ(OneShot("101", end, start), ResultReply(20));
    EXPECT_EQ(OneShot("101", end, end), ResultReply(20));
    EXPECT_EQ(
        system.Request(frontdesk::DuplicateKeyFrame("101", std::nullopt, std::nullopt).replace(5, 1, "S")),
        ResultReply(20)); // no D and O at all
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().count("One-shot key ok") == 2; }));
}

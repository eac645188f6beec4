// Two stations against one real lockserver: the occupancy query claims a free
// room for the asking connection, a check-in's card and guest records are
// stored together, and the database refuses a second open stay of a room.

#include "platform/errors.h"
#include "store/clientdataset.h"
#include "storebackend.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QThread>
#include <gmock/gmock.h>

namespace {

const QDateTime Start(QDate(2024, 5, 20), QTime(14, 0, 30));
const QDateTime End(QDate(2024, 5, 22), QTime(12, 0, 0));

// One station's connection and the three datasets a check-in uses.
struct Station
{
    explicit Station(quint16 port)
    {
        connection.Address = QStringLiteral("127.0.0.1");
        connection.Port = port;
        connection.SetServerName(LockServerName);
    }

    // The occupancy query as the room check sends it: true when the room is free.
    bool RoomFree(int room)
    {
        Reopen(pub, QStringLiteral("select top 1 room from GuestInRecord Where (enOverride=0) And(Room =%1)")
                        .arg(room));
        return pub.IsEmpty();
    }

    int AddCardRecord(int room, const QString &rom, int cardType = 4)
    {
        Reopen(make, QStringLiteral("select top 1 * from MakeCardRecord "));
        make.Append();
        make.SetField(QStringLiteral("Rom"), rom);
        make.SetField(QStringLiteral("Holder"), QStringLiteral("Li"));
        make.SetField(QStringLiteral("CardType"), cardType);
        make.SetField(QStringLiteral("Room"), QString::number(room));
        make.SetField(QStringLiteral("StartTime"), Start);
        make.SetField(QStringLiteral("EndTime"), End);
        return make.ApplyUpdates(0);
    }

    int AddGuestRecord(int room, const QString &rom)
    {
        Reopen(guest, QStringLiteral("select top 1 * from GuestInRecord "));
        guest.Append();
        guest.SetField(QStringLiteral("GuestName"), QStringLiteral("Li"));
        guest.SetField(QStringLiteral("Room"), QString::number(room));
        guest.SetField(QStringLiteral("Rom"), rom);
        guest.SetField(QStringLiteral("GuestInTime"), Start);
        guest.SetField(QStringLiteral("GuestLeaveTime"), End);
        return guest.ApplyUpdates(0);
    }

    TSocketConnection connection;
    TClientDataSet pub{connection, QStringLiteral("dsp_public")};
    TClientDataSet make{connection, QStringLiteral("dsp_writemakerecord")};
    TClientDataSet guest{connection, QStringLiteral("dsp_writecheckinrecord")};
};

class RoomClaimTest : public StoreBackendTest
{
protected:
    int Count(const QString &kind, int room) const
    {
        return int(Records().count(QRegularExpression(QStringLiteral("^%1 .*Room=%2 ").arg(kind).arg(room),
                                                      QRegularExpression::MultilineOption)));
    }
};

TEST_P(RoomClaimTest, AFreeRoomIsClaimedByTheFirstConnectionThatAsks)
{
    Station a(m_server->Port());
    Station b(m_server->Port());
    ASSERT_TRUE(a.RoomFree(101));
    EXPECT_FALSE(b.RoomFree(101)) << "claimed by a";
    EXPECT_TRUE(a.RoomFree(101)) << "a asking again keeps its own claim";
    EXPECT_TRUE(b.RoomFree(102)) << "other rooms are not touched";

    // The claim ends with a's guest record; the stay then keeps the room occupied.
    ASSERT_EQ(a.AddCardRecord(101, QStringLiteral("0A0B0C0D")), 0);
    ASSERT_EQ(a.AddGuestRecord(101, QStringLiteral("0A0B0C0D")), 0);
    EXPECT_FALSE(b.RoomFree(101));
    EXPECT_EQ(Count(QStringLiteral("stay"), 101), 1);

    // A room that is not the hotel's is answered free and claimed by nobody.
    EXPECT_TRUE(a.RoomFree(999));
    EXPECT_TRUE(b.RoomFree(999));
}

TEST_P(RoomClaimTest, AClaimEndsWithItsConnectionOrItsNextQuery)
{
    Station b(m_server->Port());
    {
        Station a(m_server->Port());
        ASSERT_TRUE(a.RoomFree(101));
        ASSERT_FALSE(b.RoomFree(101));
        ASSERT_TRUE(a.RoomFree(102)) << "a's next check-in gives up room 101";
        EXPECT_TRUE(b.RoomFree(101));
        EXPECT_FALSE(b.RoomFree(102));
    }
    // The lockserver notices the closed connection on its own time.
    bool free = false;
    for (int i = 0; i < 100 && !free; ++i) {
        free = b.RoomFree(102);
        if (!free)
            QThread::msleep(20);
    }
    EXPECT_TRUE(free) << "a's claim ended when a's connection closed";
}

TEST_P(RoomClaimTest, CardAndGuestRecordOfACheckInAreStoredTogether)
{
    {
        Station a(m_server->Port());
        ASSERT_TRUE(a.RoomFree(101));
        ASSERT_EQ(a.AddCardRecord(101, QStringLiteral("0A0B0C0D")), 0);
        EXPECT_EQ(Count(QStringLiteral("card"), 101), 0) << "held until the guest record comes";
    } // the connection ends between the two records
    Station b(m_server->Port());
    bool free = false;
    for (int i = 0; i < 100 && !free; ++i) {
        free = b.RoomFree(101);
        if (!free)
            QThread::msleep(20);
    }
    ASSERT_TRUE(free);
    EXPECT_EQ(Count(QStringLiteral("card"), 101), 0) << "a check-in that did not finish stores nothing";

    ASSERT_EQ(b.AddCardRecord(101, QStringLiteral("01020304")), 0);
    ASSERT_EQ(b.AddGuestRecord(101, QStringLiteral("01020304")), 0);
    const QString records = Records();
    const qsizetype card = records.indexOf(QStringLiteral("Rom=\"01020304\""));
    EXPECT_EQ(Count(QStringLiteral("card"), 101), 1) << records.toStdString();
    EXPECT_EQ(Count(QStringLiteral("stay"), 101), 1) << records.toStdString();
    EXPECT_GE(card, 0);

    // A card record with no claim behind it is stored at once, as before.
    Station c(m_server->Port());
    ASSERT_EQ(c.AddCardRecord(103, QStringLiteral("0F0F0F0F")), 0);
    EXPECT_EQ(Count(QStringLiteral("card"), 103), 1);

    // So is a card of another type than a guest card for a claimed room, and
    // it ends the claim: no guest record follows it.
    ASSERT_TRUE(c.RoomFree(102));
    ASSERT_EQ(c.AddCardRecord(102, QStringLiteral("0E0E0E0E"), 7), 0);
    EXPECT_EQ(Count(QStringLiteral("card"), 102), 1);
    EXPECT_TRUE(b.RoomFree(102));
}

TEST_P(RoomClaimTest, NoPathStoresASecondOpenStayOfARoom)
{
    Station a(m_server->Port());
    Station rogue(m_server->Port());
    ASSERT_TRUE(a.RoomFree(101));
    // A station that skips the room check cannot take a room another has claimed ...
    EXPECT_EQ(rogue.AddGuestRecord(101, QStringLiteral("0F0F0F0F")), 1);
    EXPECT_THAT(rogue.guest.LastApplyErrors().join(u';').toStdString(),
                ::testing::HasSubstr("Room 101 is being checked in by another connection"));
    ASSERT_EQ(a.AddCardRecord(101, QStringLiteral("0A0B0C0D")), 0);
    ASSERT_EQ(a.AddGuestRecord(101, QStringLiteral("0A0B0C0D")), 0);
    // ... nor store a second open stay once the first is there: the database refuses it.
    EXPECT_EQ(rogue.AddGuestRecord(101, QStringLiteral("0F0F0F0F")), 1);
    EXPECT_EQ(Count(QStringLiteral("stay"), 101), 1);

    TClientDataSet out(a.connection, QStringLiteral("dsp_writecheckoutrecord"));
    out.SetCommandText(QStringLiteral("Update GuestInRecord Set enOverride=1,LeaveTime='2024-05-22 11:58:03' "
                                      "Where (Room =101)and(enOverride=0)"));
    ASSERT_EQ(out.Execute(), 1);
    EXPECT_EQ(rogue.AddGuestRecord(101, QStringLiteral("0F0F0F0F")), 0) << "after check-out the room is free";
}

KANDRILOX_ON_EVERY_BACKEND(RoomClaimTest);

class RoomClaimTimeoutTest : public StoreBackendTest
{
protected:
    QStringList ServerArguments() const override
    {
        return {QStringLiteral("--claim-timeout"), QStringLiteral("1")};
    }
};

TEST_P(RoomClaimTimeoutTest, AClaimRunsOutAfterTheClaimTimeout)
{
    Station a(m_server->Port());
    Station b(m_server->Port());
    ASSERT_TRUE(a.RoomFree(101));
    ASSERT_FALSE(b.RoomFree(101));
    QThread::msleep(2100);
    EXPECT_TRUE(b.RoomFree(101)) << "a's claim ran out: its connection may hang, the room does not";
}

KANDRILOX_ON_EVERY_BACKEND(RoomClaimTimeoutTest);

} // namespace

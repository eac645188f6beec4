// Client datasets against the real lockserver: the statements the card
// operations send, each provider's refusals, and how appended rows are applied.

#include "platform/errors.h"
#include "store/clientdataset.h"
#include "storebackend.h"

#include <QDateTime>

namespace {

const QString CardRecordQuery = QStringLiteral("select top 1 * from MakeCardRecord ");
const QString GuestRecordQuery = QStringLiteral("select top 1 * from GuestInRecord ");
const QString ValidCardsOf =
    QStringLiteral("Select * From MakeCardRecord Where (cardstatus=0) And (Rom='%1')");
const QString RoomQuery = QStringLiteral("select top 1 room from roominfo Where (Room =%1)");
const QString OccupiedQuery =
    QStringLiteral("select top 1 room from GuestInRecord Where (enOverride=0) And(Room =%1)");

const QDateTime Start(QDate(2024, 5, 20), QTime(14, 0, 30));
const QDateTime End(QDate(2024, 5, 22), QTime(12, 0, 0));

class ClientDataSetTest : public StoreBackendTest
{
protected:
    // Appends a card record the way check-in does and gives the apply's error count.
    int AppendCard(const QString &rom, const QVariant &holder, const QString &room = QStringLiteral("101"))
    {
        TClientDataSet make(m_connection, QStringLiteral("dsp_writemakerecord"));
        Reopen(make, CardRecordQuery);
        make.Append();
        make.SetField(QStringLiteral("Rom"), rom);
        make.SetField(QStringLiteral("enOverride"), QVariant::fromValue<qint16>(1));
        make.SetField(QStringLiteral("Holder"), holder);
        make.SetField(QStringLiteral("Explain"), QString(""));
        make.SetField(QStringLiteral("CardType"), 4);
        make.SetField(QStringLiteral("inputtime"), QDateTime::currentDateTime());
        make.SetField(QStringLiteral("Deadboltoverride"), QVariant::fromValue<qint16>(0));
        make.SetField(QStringLiteral("override"), QVariant::fromValue<qint16>(0));
        make.SetField(QStringLiteral("Passagemode"), QVariant::fromValue<qint16>(0));
        make.SetField(QStringLiteral("CommonDoors"), QStringLiteral("00000000"));
        make.SetField(QStringLiteral("Room"), room);
        make.SetField(QStringLiteral("StartTime"), Start);
        make.SetField(QStringLiteral("EndTime"), End);
        return make.ApplyUpdates(0);
    }
};

TEST_P(ClientDataSetTest, CheckInAndCheckOutStatementsKeepTheRecords)
{
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    Reopen(pub, RoomQuery.arg(101));
    EXPECT_EQ(pub.RecordCount(), 1);
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("ROOM")), "101");
    Reopen(pub, RoomQuery.arg(999));
    EXPECT_TRUE(pub.IsEmpty());

    ASSERT_EQ(AppendCard(QStringLiteral("78563412"), QStringLiteral("Li")), 0);
    TClientDataSet guest(m_connection, QStringLiteral("dsp_writecheckinrecord"));
    Reopen(guest, GuestRecordQuery);
    guest.Append();
    guest.SetField(QStringLiteral("GuestName"), QStringLiteral("Li"));
    guest.SetField(QStringLiteral("Room"), QStringLiteral("101"));
    guest.SetField(QStringLiteral("Rom"), QStringLiteral("78563412"));
    guest.SetField(QStringLiteral("GuestInTime"), Start);
    guest.SetField(QStringLiteral("GuestLeaveTime"), End);
    guest.SetField(QStringLiteral("InputUser"), QString(""));
    guest.SetField(QStringLiteral("inputtime"), QDateTime::currentDateTime());
    ASSERT_EQ(guest.ApplyUpdates(0), 0);
    EXPECT_EQ(guest.RecordCount(), 1);

    Reopen(pub, OccupiedQuery.arg(101));
    EXPECT_EQ(pub.RecordCount(), 1);
    // The open stay itself, as a duplicate key reads it.
    Reopen(pub, QStringLiteral("select top 1 * from GuestInRecord Where (enOverride=0) And(Room =101)"));
    ASSERT_EQ(pub.RecordCount(), 1);
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("GuestName")), "Li");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("GuestInTime")), "2024-05-20 14:00:30");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("GuestLeaveTime")), "2024-05-22 12:00:00");
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("78563412")));
    ASSERT_EQ(pub.RecordCount(), 1);
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("holder")), "Li");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("Room")), "101");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("enOverride")), "1");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("CardType")), "4");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("Explain")), "");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("StartTime")), "2024-05-20 14:00:30");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("EndTime")), "2024-05-22 12:00:00");
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("cardstatus")), "0");

    TClientDataSet out(m_connection, QStringLiteral("dsp_writecheckoutrecord"));
    out.SetCommandText(QStringLiteral("Update GuestInRecord Set enOverride=1,LeaveTime='2024-05-22 11:58:03' "
                                      "Where (Room =101)and(enOverride=0)"));
    EXPECT_EQ(out.Execute(), 1);
    out.Close();
    out.SetCommandText(
        QStringLiteral("update MakeCardRecord set cardstatus=1,explain= 'Revoke time:2024-05-22 "
                       "11:58:04' Where (Room =101)and(cardstatus=0)"));
    EXPECT_EQ(out.Execute(), 1);
    EXPECT_EQ(out.Execute(), 0) << "a second revoke finds no valid card";

    Reopen(pub, OccupiedQuery.arg(101));
    EXPECT_TRUE(pub.IsEmpty());
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("78563412")));
    EXPECT_TRUE(pub.IsEmpty());
    const QString records = Records();
    EXPECT_TRUE(records.contains(QStringLiteral("LeaveTime=\"2024-05-22 11:58:03\"")))
        << records.toStdString();
    EXPECT_TRUE(records.contains(QStringLiteral("Explain=\"Revoke time:2024-05-22 11:58:04\"")))
        << records.toStdString();
}

TEST_P(ClientDataSetTest, AcceptsTheStatementsInAnyLetterCaseAndSpacing)
{
    ASSERT_EQ(AppendCard(QStringLiteral("0A0B0C0D"), QStringLiteral("Ann"), QStringLiteral("102")), 0);
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    for (const char *sql : {"SELECT TOP 1 ROOM FROM ROOMINFO WHERE ( ROOM = 102 )",
                            "select\ttop 1 room\nfrom roominfo where(room=102);",
                            "select top 1 room from guestinrecord where (ENOVERRIDE = 0) and (room = 102)",
                            "select * from makecardrecord where (CardStatus=0) and (rom = '0A0B0C0D')"}) {
        SCOPED_TRACE(sql);
        EXPECT_NO_THROW(Reopen(pub, QString::fromUtf8(sql)));
    }
    EXPECT_EQ(pub.FieldAsString(QStringLiteral("Holder")), "Ann");
    // Up to the length limit, blanks anywhere between words are fine.
    Reopen(pub,
           QStringLiteral("select top 1 room from roominfo Where (Room =102") + QString(4000, u' ') + u')');
    EXPECT_EQ(pub.RecordCount(), 1);

    // The check-out text of a moment at midnight has no time part.
    TClientDataSet out(m_connection, QStringLiteral("dsp_writecheckoutrecord"));
    out.SetCommandText(
        QStringLiteral("UPDATE makecardrecord SET cardstatus = 1 , EXPLAIN = 'Revoke time:2024-05-23' "
                       "WHERE ( room = 102 ) AND ( cardstatus = 0 )"));
    EXPECT_EQ(out.Execute(), 1);
    EXPECT_TRUE(Records().contains(QStringLiteral("Explain=\"Revoke time:2024-05-23\"")));
}

struct Refusal
{
    const char *provider;
    enum { Open, Execute } operation;
    const char *sql;
    const char *expected; // part of the error text
};

TEST_P(ClientDataSetTest, ProvidersRefuseEverythingButTheirOwnStatements)
{
    const Refusal refusals[] = {
        // another table
        {"dsp_public", Refusal::Open, "select top 1 * from MakeCardRecord ",
         "Statement refused by provider dsp_public"},
        {"dsp_writemakerecord", Refusal::Open, "select top 1 * from GuestInRecord ",
         "Statement refused by provider dsp_writemakerecord"},
        {"dsp_writecheckinrecord", Refusal::Open, "select top 1 * from roominfo",
         "Statement refused by provider dsp_writecheckinrecord"},
        // a second statement, or a value shaped like SQL
        {"dsp_public", Refusal::Open,
         "select top 1 room from roominfo Where (Room =101); delete from roominfo",
         "Only one statement per request is accepted"},
        {"dsp_public", Refusal::Open, "select top 1 room from roominfo Where (Room =101) or (1=1)",
         "Statement refused by provider dsp_public"},
        {"dsp_public", Refusal::Open, "select top 1 room from roominfo Where (Room =1x)",
         "Room number '1x' is not a whole number"},
        {"dsp_public", Refusal::Open,
         "Select * From MakeCardRecord Where (cardstatus=0) And (Rom='' or ''='')",
         "Statement refused by provider dsp_public"},
        {"dsp_public", Refusal::Open, "Select * From MakeCardRecord Where (cardstatus=0) And (Rom='XYZ')",
         "'XYZ' is not a card serial"},
        {"dsp_writecheckoutrecord", Refusal::Execute,
         "Update GuestInRecord Set enOverride=1,LeaveTime='2024-13-01' Where (Room =101)and(enOverride=0)",
         "'2024-13-01' is not a date-time"},
        {"dsp_writecheckoutrecord", Refusal::Execute, "delete from GuestInRecord",
         "Statement refused by provider dsp_writecheckoutrecord"},
        // the wrong kind of statement
        {"dsp_writecheckoutrecord", Refusal::Execute,
         "select top 1 room from GuestInRecord Where (enOverride=0) And(Room =101)",
         "execute takes no statement that returns rows"},
        {"dsp_writecheckoutrecord", Refusal::Open, "select top 1 room from roominfo Where (Room =101)",
         "Provider dsp_writecheckoutrecord opens no queries"},
        {"dsp_public", Refusal::Execute,
         "Update GuestInRecord Set enOverride=1,LeaveTime='2024-05-22' Where (Room =101)and(enOverride=0)",
         "Provider dsp_public executes no statements"},
        {"dsp_writemakerecord", Refusal::Execute, "select top 1 * from MakeCardRecord ",
         "Provider dsp_writemakerecord executes no statements"},
        // the unused provider, and none at all
        {"dsp_readcard", Refusal::Open, "select top 1 * from MakeCardRecord ",
         "Provider dsp_readcard runs no statements"},
        {"dsp_nosuch", Refusal::Open, "select top 1 room from roominfo Where (Room =101)",
         "Provider 'dsp_nosuch' does not exist"},
    };
    // A statement of half a megabyte is refused by its length, before any matching.
    const QString huge =
        QStringLiteral("select top 1 room from roominfo Where (Room =1") + QString(500000, u' ');
    TClientDataSet big(m_connection, QStringLiteral("dsp_public"));
    big.SetCommandText(huge);
    EXPECT_EQ(ErrorOf([&] { big.Open(); }),
              QStringLiteral("Statement of %1 characters exceeds the limit of 4096 characters")
                  .arg(huge.size())
                  .toStdString());
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(std::string(r.provider) + ": " + r.sql);
        TClientDataSet ds(m_connection, QString::fromUtf8(r.provider));
        ds.SetCommandText(QString::fromUtf8(r.sql));
        const std::string error =
            ErrorOf([&] { r.operation == Refusal::Open ? ds.Open() : void(ds.Execute()); });
        EXPECT_NE(error.find(r.expected), std::string::npos) << error;
        EXPECT_FALSE(ds.Active());
    }
    // Nothing was changed, and the connection still serves.
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    Reopen(pub, RoomQuery.arg(101));
    EXPECT_EQ(pub.RecordCount(), 1);
    QString rooms;
    LockServerProcess::RunCommand(m_url, {QStringLiteral("rooms"), QStringLiteral("list")}, &rooms);
    EXPECT_EQ(rooms, "101\n102\n103\n");
    EXPECT_EQ(Records(), "");
}

TEST_P(ClientDataSetTest, OnlyTheWritingProvidersStoreAppendedRows)
{
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    Reopen(pub, RoomQuery.arg(101));
    pub.Append();
    pub.SetField(QStringLiteral("room"), 104);
    EXPECT_NE(ErrorOf([&] { pub.ApplyUpdates(0); }).find("Provider dsp_public does not accept inserted rows"),
              std::string::npos);
    Reopen(pub, RoomQuery.arg(104));
    EXPECT_TRUE(pub.IsEmpty());
}

// An open for appending goes out with the apply, and the first of two
// statements with the second: each refusal is still the one raised, and what
// depends on a refused request does not run.
TEST_P(ClientDataSetTest, RequestsSentTogetherRaiseTheFirstRefusalAndRunNothingAfterIt)
{
    TClientDataSet make(m_connection, QStringLiteral("dsp_writemakerecord"));
    make.SetCommandText(QStringLiteral("select top 1 * from GuestInRecord"));
    make.OpenForAppend(); // a statement this provider refuses: nothing is raised yet
    EXPECT_THROW(make.RecordCount(), kx::StoreError);
    make.Append();
    make.SetField(QStringLiteral("rom"), QStringLiteral("000000B1"));
    EXPECT_NE(ErrorOf([&] {
                  make.ApplyUpdates(0);
              }).find("Statement refused by provider dsp_writemakerecord: select top 1 * from GuestInRecord"),
              std::string::npos);
    EXPECT_EQ(Records(), "") << "the apply after the refused open did not run";

    make.Close();
    make.SetCommandText(CardRecordQuery);
    make.OpenForAppend();
    make.Append();
    make.SetField(QStringLiteral("rom"), QStringLiteral("000000B2")); // any letter case before the answer
    make.SetField(QStringLiteral("Room"), QStringLiteral("101"));
    ASSERT_EQ(make.ApplyUpdates(0), 0);
    EXPECT_EQ(make.RecordCount(), 1);
    EXPECT_EQ(make.FieldAsString(QStringLiteral("Rom")), "000000B2");

    TClientDataSet out(m_connection, QStringLiteral("dsp_writecheckoutrecord"));
    const QString revoke =
        QStringLiteral("update MakeCardRecord set cardstatus=1,explain= 'Revoke time:2024-05-22 "
                       "11:58:04' Where (Room =101)and(cardstatus=0)");
    out.SetCommandText(QStringLiteral("Update GuestInRecord Set enOverride=2"));
    out.ExecuteLater();
    out.Close();
    out.SetCommandText(revoke);
    EXPECT_NE(ErrorOf([&] { out.Execute(); }).find("Statement refused by provider dsp_writecheckoutrecord"),
              std::string::npos);
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("000000B2")));
    EXPECT_EQ(pub.RecordCount(), 1) << "the revoke after the refused statement did not run";

    out.SetCommandText(QStringLiteral("Update GuestInRecord Set enOverride=1,LeaveTime='2024-05-22 11:58:03' "
                                      "Where (Room =101)and(enOverride=0)"));
    out.ExecuteLater();
    out.SetCommandText(revoke);
    EXPECT_EQ(out.Execute(), 1);
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("000000B2")));
    EXPECT_TRUE(pub.IsEmpty());
}

TEST_P(ClientDataSetTest, ApplyStoresNothingWhenMoreRowsFailThanAllowed)
{
    TClientDataSet make(m_connection, QStringLiteral("dsp_writemakerecord"));
    Reopen(make, CardRecordQuery);
    make.Append();
    make.SetField(QStringLiteral("Rom"), QStringLiteral("000000A1"));
    make.Append();
    make.SetField(QStringLiteral("Rom"), QStringLiteral("000000A2"));
    make.SetField(QStringLiteral("Room"), QStringLiteral("abc"));

    EXPECT_EQ(make.ApplyUpdates(0), 1);
    ASSERT_EQ(make.LastApplyErrors().size(), 1);
    EXPECT_TRUE(make.LastApplyErrors()[0].contains(QStringLiteral("'abc' is not a valid integer")));
    EXPECT_EQ(Records(), "") << "one failure with none allowed undoes the whole apply";

    // With failures allowed the good row is stored and only the bad one stays pending.
    EXPECT_EQ(make.ApplyUpdates(-1), 1);
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("000000A1")));
    EXPECT_EQ(pub.RecordCount(), 1);
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("000000A2")));
    EXPECT_TRUE(pub.IsEmpty());
}

TEST_P(ClientDataSetTest, FieldReadsRaiseForNullsUnknownFieldsAndClosedDatasets)
{
    ASSERT_EQ(AppendCard(QStringLiteral("11223344"), QVariant()), 0);
    TClientDataSet pub(m_connection, QStringLiteral("dsp_public"));
    EXPECT_EQ(ErrorOf([&] { pub.RecordCount(); }),
              "dsp_public: Cannot perform this operation on a closed dataset");
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("11223344")));
    EXPECT_EQ(ErrorOf([&] { pub.FieldAsString(QStringLiteral("Holder")); }),
              "Could not convert variant of type (Null) into type (OleStr)");
    EXPECT_EQ(ErrorOf([&] { pub.FieldAsString(QStringLiteral("NoSuchField")); }),
              "dsp_public: Field 'NoSuchField' not found");
    Reopen(pub, ValidCardsOf.arg(QStringLiteral("FFFFFFFF")));
    EXPECT_EQ(ErrorOf([&] { pub.FieldAsString(QStringLiteral("Holder")); }),
              "Could not convert variant of type (Null) into type (OleStr)");
}

KANDRILOX_ON_EVERY_BACKEND(ClientDataSetTest);

} // namespace

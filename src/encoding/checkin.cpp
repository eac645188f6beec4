#include "cardservice.h"
#include "roomtext.h"

#include "platform/datetime.h"
#include "platform/errors.h"
#include "store/dmrmt.h"

namespace kx {

namespace {

// Sends the appended row. A row the server refuses is an error: answering the
// front desk with success for a card or stay that was never recorded would
// leave a working card that the lock database does not know.
void ApplyAppendedRow(TClientDataSet &cds, const QString &table)
{
    if (cds.ApplyUpdates(0) > 0)
        throw StoreError(QStringLiteral("The new %1 row was not stored: %2")
                             .arg(table, cds.LastApplyErrors().join(QStringLiteral("; "))));
}

// The room as the records show it: the number the room check and the card
// used ("0101" is room 101).
QString RecordedRoom(const QByteArray &room)
{
    QByteArray number;
    return AnsiText(NormalizeRoomText(room, number) ? number : room);
}

} // namespace

bool CardService::RoomExists(const QByteArray &number)
{
    TClientDataSet &cds = m_store.cds_public;
    cds.Close();
    cds.SetCommandText(
        QStringLiteral("select top 1 room from roominfo Where (Room =%1)").arg(AnsiText(number)));
    cds.Open();
    return !cds.IsEmpty();
}

int CardService::CheckRoom(const QByteArray &room)
{
    MendLeftovers();
    QByteArray number;
    if (!NormalizeRoomText(room, number))
        return RoomNotFound;

    int result = RoomExists(number) ? 0 : RoomNotFound;
    TClientDataSet &cds = m_store.cds_public;
    cds.Close();
    cds.SetCommandText(
        QStringLiteral("select top 1 room from GuestInRecord Where (enOverride=0) And(Room =%1)")
            .arg(AnsiText(number)));
    cds.Open();
    if (!cds.IsEmpty())
        result = RoomOccupied;
    return result;
}

int CardService::CheckInCard(const TCardInterface &request)
{
    // The dispatcher checks the room first; this guard keeps a direct caller
    // from writing a card for a room the card cannot hold.
    QByteArray number;
    if (!NormalizeRoomText(request.Room, number))
        return RoomNotFound;

    const Word read = m_work.ReadWorkCard();
    if (read != 1)
        return read;

    TLock_Make &card = m_work.CardWorkArea;
    card.CardMode[0] = 0;
    card.CardMode[1] = 0;
    card.EnOverride = 1;
    card.OverrideFlag = 0;
    card.PassageModeFlag = 0;
    card.DeadboltOverrideFlag = 0;
    DateTimeToLockTime(request.GuestInTime, card.LockStartTime);
    DateTimeToLockTime(request.GuestLeaveTime, card.LockEndTime);
    ZeroWords(card.RoomDoors, 16);
    card.RoomDoors[0] = static_cast<Word>(number.toInt());

    // The journal knows of the card before the encoder writes it; writing the
    // entry fails before the card is touched when the program folder is full.
    JournalEntry entry{m_keyCardType ? JournalEntry::Kind::KeyCard : JournalEntry::Kind::CheckIn,
                       JournalEntry::Step::CardWriting,
                       request,
                       card,
                       {},
                       m_keyCardType};
    if (m_journal)
        m_journal->Begin(entry);
    const Word written = m_work.WriteWorkCard();
    if (m_journal && written != 1) {
        m_journal->Finish(); // no card was made
    } else if (m_journal) {
        entry.step = JournalEntry::Step::CardWritten;
        entry.card = card;
        m_journal->Update(entry);
    }
    return written == 1 ? 0 : written;
}

void CardService::AddCardRecord(const TCardInterface &request)
{
    AppendCardRecord(request, GuestCardType);
}

void CardService::AppendCardRecord(const TCardInterface &request, int cardType)
{
    const TLock_Make &card = m_work.CardWorkArea;
    const QString rom = MakeRomText(card.CardRom);
    const QString commonDoors = MakeCommonDoorsText(card.RoomDoors);

    TClientDataSet &cds = m_store.cds_writemakerecord;
    cds.Close();
    cds.SetCommandText(QStringLiteral("select top 1 * from MakeCardRecord "));
    cds.OpenForAppend();
    cds.Append();
    cds.SetField(QStringLiteral("Rom"), rom);
    cds.SetField(QStringLiteral("enOverride"), int(card.EnOverride));
    cds.SetField(QStringLiteral("Holder"), AnsiText(request.GuestName));
    cds.SetField(QStringLiteral("Explain"), QString());
    cds.SetField(QStringLiteral("CardType"), cardType);
    cds.SetField(QStringLiteral("inputtime"), ToQDateTime(m_clock.Now()));
    cds.SetField(QStringLiteral("Deadboltoverride"), int(card.DeadboltOverrideFlag));
    cds.SetField(QStringLiteral("override"), int(card.OverrideFlag));
    cds.SetField(QStringLiteral("Passagemode"), int(card.PassageModeFlag));
    cds.SetField(QStringLiteral("CommonDoors"), commonDoors);
    cds.SetField(QStringLiteral("Room"), RecordedRoom(request.Room));
    // Cards in modes 1 and 2 carry no validity period of their own.
    if (card.CardMode[0] != 1 && card.CardMode[0] != 2) {
        cds.SetField(QStringLiteral("StartTime"), ToQDateTime(request.GuestInTime));
        cds.SetField(QStringLiteral("EndTime"), ToQDateTime(request.GuestLeaveTime));
    }
    ApplyAppendedRow(cds, QStringLiteral("MakeCardRecord"));
}

void CardService::AddGuestRecord(const TCardInterface &request)
{
    const QString rom = MakeRomText(m_work.CardWorkArea.CardRom);

    TClientDataSet &cds = m_store.cds_writecheckinrecord;
    cds.Close();
    cds.SetCommandText(QStringLiteral("select top 1 * from GuestInRecord "));
    cds.OpenForAppend();
    cds.Append();
    cds.SetField(QStringLiteral("GuestName"), AnsiText(request.GuestName));
    cds.SetField(QStringLiteral("Room"), RecordedRoom(request.Room));
    cds.SetField(QStringLiteral("Rom"), rom);
    cds.SetField(QStringLiteral("GuestInTime"), ToQDateTime(request.GuestInTime));
    cds.SetField(QStringLiteral("GuestLeaveTime"), ToQDateTime(request.GuestLeaveTime));
    cds.SetField(QStringLiteral("InputUser"), QString());
    cds.SetField(QStringLiteral("inputtime"), ToQDateTime(m_clock.Now()));
    ApplyAppendedRow(cds, QStringLiteral("GuestInRecord"));
}

} // namespace kx

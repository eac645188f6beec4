#include "cardservice.h"
#include "roomtext.h"

#include "encoderbinding.h"
#include "platform/datetime.h"
#include "platform/profile.h"
#include "platform/programfolder.h"
#include "store/dmrmt.h"

namespace kx {

int CardService::CheckOut(const QByteArray &room)
{
    MendLeftovers();
    QByteArray number;
    if (!NormalizeRoomText(room, number))
        return RoomNotFound;

    // Closing the records before the card is erased: a crash between the two
    // leaves a card that still opens the room, which the journal reports.
    JournalEntry entry{JournalEntry::Kind::CheckOut, JournalEntry::Step::RecordsClosing, {}, {}, {}};
    entry.request.Room = number;
    if (m_journal)
        m_journal->Begin(entry);

    // Each statement takes the time afresh, so the two texts may differ.
    TClientDataSet &cds = m_store.cds_writecheckoutrecord;
    cds.Close();
    cds.SetCommandText(
        QStringLiteral(
            "Update GuestInRecord Set enOverride=1,LeaveTime='%1' Where (Room =%2)and(enOverride=0)")
            .arg(DateTimeToStr(m_clock.Now()), AnsiText(number)));
    cds.ExecuteLater(); // goes out with the next statement
    cds.Close();
    cds.SetCommandText(QStringLiteral("update MakeCardRecord set cardstatus=1,explain= 'Revoke time:%1' "
                                      "Where (Room =%2)and(cardstatus=0)")
                           .arg(DateTimeToStr(m_clock.Now()), AnsiText(number)));
    cds.Execute();

    // The database stays changed when the card cannot be read or erased.
    const Word read = m_work.ReadWorkCard();
    if (read != 1)
        return read; // the front desk hears of it from the reply
    if (m_journal) {
        entry.step = JournalEntry::Step::CardErasing;
        entry.card = m_work.CardWorkArea;
        m_journal->Update(entry);
    }
    const Word erased = m_binding.ClearCardData(m_work.CardWorkArea);
    WriteM1CommonData();
    return erased;
}

int CardService::WriteM1CommonData()
{
    const ProfileFile settings(m_folder.SettingsPath());
    const Word sector = static_cast<Word>(
        settings.ReadInteger(QStringLiteral("Config"), QStringLiteral("M1CommonDataSector"), 0) & 0xFFFF);
    Word block[49] = {};
    block[0] = sector;
    if (sector == 0)
        return 1;
    return m_binding.M1WriteCommonData(block);
}

} // namespace kx

// What a station does with the card operations its journal still holds: those
// a crash interrupted, or that ended with an error after the card was touched.
// A check-in whose card was written gets its records; everything else that
// cannot be put right here is reported for the operator, naming room and card
// serial (never the guest).

#include "cardservice.h"

#include "platform/errors.h"
#include "store/dmrmt.h"

#include <QScopedValueRollback>
#include <cstring>

namespace kx {

namespace {

bool SameLockTime(const TLockTime &a, const TLockTime &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

void CardService::MendLeftovers()
{
    if (!m_journal || m_mending)
        return;
    QScopedValueRollback<bool> mending(m_mending, true);
    // No operation is in progress when a request starts: one that did not
    // finish is a leftover now.
    m_journal->Abandon();
    QList<JournalEntry> leftovers;
    try {
        leftovers = m_journal->Leftovers();
    } catch (const Error &e) {
        if (m_report)
            m_report(e.text());
        return;
    }
    const TLock_Make kept = m_work.CardWorkArea;
    for (const JournalEntry &entry : leftovers) {
        const std::optional<QString> outcome = entry.kind == JournalEntry::Kind::CheckIn ? MendCheckIn(entry)
                                               : entry.kind == JournalEntry::Kind::KeyCard
                                                   ? MendKeyCard(entry)
                                                   : MendCheckOut(entry);
        if (!outcome)
            continue;
        // Told before the entry goes: a crash in between tells it twice, never not at all.
        if (m_report)
            m_report(*outcome);
        m_toldWaiting.remove(entry.id);
        try {
            m_journal->Remove(entry.id);
        } catch (const Error &e) {
            if (m_report)
                m_report(e.text());
            break;
        }
    }
    m_work.CardWorkArea = kept;
}

std::optional<QString> CardService::TellWaiting(const JournalEntry &entry, const QString &text)
{
    if (m_report && !m_toldWaiting.contains(entry.id)) {
        m_toldWaiting.insert(entry.id);
        m_report(text);
    }
    return std::nullopt; // the entry stays
}

bool CardService::CardOnEncoderIs(const TLock_Make &card)
{
    TLock_Make now{};
    if (m_binding.ReadCard(now) != 1)
        return false;
    return std::memcmp(now.CardRom, card.CardRom, 4 * sizeof(Word)) == 0 &&
           now.RoomDoors[0] == card.RoomDoors[0] && SameLockTime(now.LockStartTime, card.LockStartTime) &&
           SameLockTime(now.LockEndTime, card.LockEndTime);
}

bool CardService::CardRecordStored(const JournalEntry &entry)
{
    TClientDataSet &cds = m_store.cds_public;
    cds.Close();
    cds.SetCommandText(QStringLiteral("Select * From MakeCardRecord Where (cardstatus=0) And (Rom='%1')")
                           .arg(entry.CardSerial()));
    cds.Open();
    return !cds.IsEmpty() &&
           cds.FieldAsString(QStringLiteral("Room")) == QString::number(entry.card.RoomDoors[0]);
}

std::optional<QString> CardService::MendCheckIn(const JournalEntry &entry)
{
    const QString what = QStringLiteral("Interrupted check in of room %1, card %2: ")
                             .arg(AnsiText(entry.request.Room), entry.CardSerial());
    // Killed while the encoder wrote: the card on the encoder tells whether it did.
    if (entry.step == JournalEntry::Step::CardWriting && !CardOnEncoderIs(entry.card))
        return what + QStringLiteral("it is not known whether the card was written, and no records were "
                                     "stored. If the card opens the room, erase it.");
    try {
        if (CardRecordStored(entry))
            return what +
                   QStringLiteral("the card and its records were made, but the front desk had no answer.");
        m_work.CardWorkArea = entry.card;
        const int room = CheckRoom(entry.request.Room);
        if (room == RoomOccupied)
            return what +
                   QStringLiteral("the card was written without records, and the room has been checked "
                                  "in since. Erase the card.");
        if (room == RoomNotFound)
            return what + QStringLiteral("the card was written without records, and the room is no room of "
                                         "the hotel. Erase the card.");
        AddCardRecord(entry.request);
        AddGuestRecord(entry.request);
        return what + QStringLiteral("the card was written without records; its records are stored now.");
    } catch (const Error &e) {
        return TellWaiting(
            entry, what + QStringLiteral("the card was written, but its records cannot be stored yet (%1). "
                                         "They are stored when the records store answers.")
                              .arg(e.text()));
    }
}

std::optional<QString> CardService::MendKeyCard(const JournalEntry &entry)
{
    const QString what = QStringLiteral("Interrupted %1 of room %2, card %3: ")
                             .arg(entry.cardType == OneShotCardType ? QStringLiteral("one-shot key")
                                                                    : QStringLiteral("duplicate key"),
                                  AnsiText(entry.request.Room), entry.CardSerial());
    if (entry.step == JournalEntry::Step::CardWriting && !CardOnEncoderIs(entry.card))
        return what + QStringLiteral("it is not known whether the card was written, and no record was "
                                     "stored. If the card opens the room, erase it.");
    try {
        if (CardRecordStored(entry))
            return what +
                   QStringLiteral("the card and its record were made, but the front desk had no answer.");
        m_work.CardWorkArea = entry.card;
        AppendCardRecord(entry.request, entry.cardType);
        return what + QStringLiteral("the card was written without its record; its record is stored now.");
    } catch (const Error &e) {
        return TellWaiting(
            entry, what + QStringLiteral("the card was written, but its record cannot be stored yet (%1). "
                                         "It is stored when the records store answers.")
                              .arg(e.text()));
    }
}

QString CardService::MendCheckOut(const JournalEntry &entry)
{
    return QStringLiteral("Interrupted check out of room %1, card %2: the room's stays and cards may be "
                          "closed while the card still opens the room. Lay the card on the encoder and "
                          "check the room out again.")
        .arg(AnsiText(entry.request.Room), entry.CardSerial());
}

} // namespace kx

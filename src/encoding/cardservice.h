#pragma once

#include "cardjournal.h"
#include "cardwork.h"
#include "server/cardoperations.h"
#include "store/lockprotocol.h"

#include <QSet>
#include <functional>
#include <optional>

class Tdmrmt;

namespace kx {

class Clock;
class EncoderBinding;
class ProgramFolder;

// Check-in, check-out and card read: the card operations the dispatcher
// calls, working on the encoder through the binding and on the lock
// database through the remote data module's client datasets.
class CardService : public CardOperations
{
public:
    // Codes of the room check.
    static constexpr int RoomOccupied = 17;
    static constexpr int RoomNotFound = 18;
    // Card types recorded in MakeCardRecord.
    static constexpr int GuestCardType = lockprotocol::GuestCardType;
    static constexpr int OneShotCardType = 5;

    // journal, when given, keeps the operation in progress (see cardjournal.h);
    // report tells the operator what an interrupted operation left behind.
    using Report = std::function<void(const QString &text)>;
    CardService(EncoderBinding &binding, Tdmrmt &store, const ProgramFolder &folder, const Clock &clock,
                CardJournal *journal = nullptr, Report report = {});

    // Check-in (checkin.cpp).
    int CheckRoom(const QByteArray &room) override;
    int CheckInCard(const TCardInterface &request) override;
    void AddCardRecord(const TCardInterface &request) override;
    void AddGuestRecord(const TCardInterface &request) override;

    // Check-out (checkout.cpp).
    int CheckOut(const QByteArray &room) override;
    // 1 when no common-data sector is set, else the library's result.
    int WriteM1CommonData();

    // Card read (cardread.cpp).
    int ReadCardInfo(TCardInterface &card) override;

    // Duplicate and one-shot keys (keycards.cpp).
    int DuplicateKey(const TCardInterface &request) override;
    int OneShotKey(const TCardInterface &request) override;

    // The request is answered: the journal's entry of its operation goes.
    // Until then a crash leaves it, and the next start reports it.
    void Answered() override;

    // The card work area that check-in and check-out share.
    CardWork &Work() { return m_work; }

    // Reports what the journal's leftovers (operations interrupted by a crash
    // or an error) left behind, and stores the records of a check-in whose
    // card was written without them (journalmend.cpp). A leftover that cannot
    // be settled yet (the records store does not answer) stays for the next
    // time; the check-in and check-out requests call this first.
    void MendLeftovers();

private:
    // Whether the room (a normalized room number) is in the room list.
    bool RoomExists(const QByteArray &number);
    // 0 with the room's open stay in stay; RoomNotFound, or NoOpenStayCode.
    int FindOpenStay(const QByteArray &number, TCardInterface &stay);
    // Appends the card record of the card just written, for this request.
    void AppendCardRecord(const TCardInterface &request, int cardType);

    // The outcome to report, or nothing when the leftover must wait.
    std::optional<QString> MendCheckIn(const JournalEntry &entry);
    std::optional<QString> MendKeyCard(const JournalEntry &entry);
    QString MendCheckOut(const JournalEntry &entry);
    // Tells once per run that entry waits for the records store; gives nothing.
    std::optional<QString> TellWaiting(const JournalEntry &entry, const QString &text);
    // True when the card the encoder holds now is the one entry wrote.
    bool CardOnEncoderIs(const TLock_Make &card);
    // True when a valid card record of the entry's card names its room.
    bool CardRecordStored(const JournalEntry &entry);

    EncoderBinding &m_binding;
    Tdmrmt &m_store;
    const ProgramFolder &m_folder;
    const Clock &m_clock;
    CardWork m_work;
    CardJournal *m_journal;
    Report m_report;
    bool m_mending = false;
    int m_keyCardType = 0;       // while CheckInCard writes a duplicate or one-shot key: its card type
    QSet<QString> m_toldWaiting; // leftovers already reported as waiting for the store
};

// Texts travel byte for byte between the wire, the card and the records
// store: Latin-1 maps each byte to one character and back.
inline QString AnsiText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}
inline QByteArray AnsiBytes(const QString &text)
{
    return text.toLatin1();
}

} // namespace kx

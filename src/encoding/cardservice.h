#pragma once

#include "cardwork.h"
#include "server/cardoperations.h"

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
    static constexpr int GuestCardType = 4;
    static constexpr int OneShotCardType = 5;

    CardService(EncoderBinding &binding, Tdmrmt &store, const ProgramFolder &folder, const Clock &clock);

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

    // The card work area that check-in and check-out share.
    CardWork &Work() { return m_work; }

private:
    // Whether the room (a normalized room number) is in the room list.
    bool RoomExists(const QByteArray &number);
    // 0 with the room's open stay in stay; RoomNotFound, or NoOpenStayCode.
    int FindOpenStay(const QByteArray &number, TCardInterface &stay);
    // Appends the card record of the card just written, for this request.
    void AppendCardRecord(const TCardInterface &request, int cardType);

    EncoderBinding &m_binding;
    Tdmrmt &m_store;
    const ProgramFolder &m_folder;
    const Clock &m_clock;
    CardWork m_work;
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

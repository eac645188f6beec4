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

    // The card work area that check-in and check-out share.
    CardWork &Work() { return m_work; }

private:
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

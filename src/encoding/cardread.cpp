#include "cardservice.h"

#include "encoderbinding.h"
#include "platform/datetime.h"
#include "store/dmrmt.h"

namespace kx {

int CardService::ReadCardInfo(TCardInterface &card)
{
    // A card of its own: a read leaves the check-in/check-out work area alone.
    TLock_Make presented = {};
    const Word read = m_binding.ReadCard(presented);
    if (read != 1)
        return read;

    // Filled aside and handed over whole, so that a card whose stored period
    // cannot be converted leaves the caller's record as it was.
    TCardInterface result;
    result.Room = QByteArrayLiteral(" ");
    result.GuestName = QByteArrayLiteral(" ");
    result.GuestInTime = m_clock.Now();
    result.GuestLeaveTime = m_clock.Now();

    const Word room = presented.RoomDoors[0];
    if (room > 0) {
        result.Room = QByteArray::number(room);
        result.GuestName = AnsiBytes(m_store.GetCardHolder(presented.CardRom));
        result.GuestInTime = LockTimeToDateTime(presented.LockStartTime);
        result.GuestLeaveTime = LockTimeToDateTime(presented.LockEndTime);
    }
    card = result;
    return 1;
}

} // namespace kx

#pragma once

#include <QByteArray>

namespace kx {

// The highest room number a card can carry: RoomDoors word 0 is a signed
// 16-bit field, and a card read reports only positive rooms.
constexpr int MaxRoomNumber = 32767;

// The room as the lock database is asked about it and recorded: the number
// in plain decimal without leading zeros, "0" for an empty text. Gives false
// (and leaves normalized alone) when the text is not made only of the digits
// 0 to 9 or its value is above MaxRoomNumber. Such a text is no room of the
// hotel, and since the room goes into the statements as a bare number,
// anything else must never reach them.
bool NormalizeRoomText(const QByteArray &room, QByteArray &normalized);

} // namespace kx

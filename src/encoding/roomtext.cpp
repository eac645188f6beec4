#include "roomtext.h"

namespace kx {

bool NormalizeRoomText(const QByteArray &room, QByteArray &normalized)
{
    int value = 0;
    for (const char c : room) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        // Stop before the value can overflow; leading zeros keep it small.
        if (value > MaxRoomNumber)
            return false;
    }
    normalized = QByteArray::number(value);
    return true;
}

} // namespace kx

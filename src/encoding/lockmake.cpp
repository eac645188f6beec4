#include "lockmake.h"

#include <cstdint>

void DateTimeToLockTime(TDateTime value, TLockTime &dest)
{
    const kx::DateParts date = kx::DecodeDate(value);
    const kx::TimeParts time = kx::DecodeTime(value);
    dest.w[0] = static_cast<Word>(date.year);
    dest.w[1] = static_cast<Word>(date.month);
    dest.w[2] = static_cast<Word>(date.day);
    dest.w[3] = static_cast<Word>(time.hour);
    dest.w[4] = static_cast<Word>(time.minute);
    dest.w[5] = 0; // seconds and milliseconds are dropped, not rounded
}

TDateTime LockTimeToDateTime(const TLockTime &value)
{
    // The date words are unsigned on the card; word 5 (seconds) is never read.
    const TDateTime date =
        kx::EncodeDate(static_cast<std::uint16_t>(value.w[0]), static_cast<std::uint16_t>(value.w[1]),
                       static_cast<std::uint16_t>(value.w[2]));
    return kx::CombineDateTime(date, kx::EncodeTime(value.w[3], value.w[4], 0, 0));
}

namespace {

QString HexWord(Word word)
{
    // Widened to a signed 32-bit number first: -1 gives FFFFFFFF.
    return QString::asprintf("%02X", static_cast<unsigned>(static_cast<std::int32_t>(word)));
}

} // namespace

QString MakeRomText(const Word *cardRom)
{
    return HexWord(cardRom[3]) + HexWord(cardRom[2]) + HexWord(cardRom[1]) + HexWord(cardRom[0]);
}

QString MakeCommonDoorsText(const Word *roomDoors)
{
    return HexWord(roomDoors[8]) + HexWord(roomDoors[9]) + HexWord(roomDoors[10]) + HexWord(roomDoors[11]);
}

void ZeroWords(Word *dest, int highIndex)
{
    for (int i = 0; i <= highIndex; ++i)
        dest[i] = 0;
}

#pragma once

#include "platform/datetime.h"

#include <QString>
#include <cstddef>
#include <cstdint>

using Word = std::int16_t;

// A lock time: year, month, day, hour, minute, seconds place (always 0).
struct TLockTime
{
    Word w[6];
};

// A card's contents as the encoder library sees them: 160 bytes, fixed offsets.
struct TLock_Make
{
    Word CardRom[9];           // 0
    Word CardDataA[5];         // 18
    Word CardWord;             // 28
    Word RoomDoors[17];        // 30
    Word CardDataB[9];         // 64
    Word CardDataC[5];         // 82
    Word CardMode[9];          // 92
    Word EnOverride;           // 110
    Word OverrideFlag;         // 112
    Word PassageModeFlag;      // 114
    Word DeadboltOverrideFlag; // 116
    std::uint8_t Gap1[2];      // 118
    std::uint32_t Slot;        // 120, always 0
    Word CardDataD[5];         // 124
    TLockTime LockStartTime;   // 134
    TLockTime LockEndTime;     // 146
    std::uint8_t Gap2[2];      // 158
};

static_assert(sizeof(TLockTime) == 12);
static_assert(sizeof(TLock_Make) == 160);
static_assert(offsetof(TLock_Make, CardDataA) == 18);
static_assert(offsetof(TLock_Make, CardWord) == 28);
static_assert(offsetof(TLock_Make, RoomDoors) == 30);
static_assert(offsetof(TLock_Make, CardDataB) == 64);
static_assert(offsetof(TLock_Make, CardDataC) == 82);
static_assert(offsetof(TLock_Make, CardMode) == 92);
static_assert(offsetof(TLock_Make, EnOverride) == 110);
static_assert(offsetof(TLock_Make, OverrideFlag) == 112);
static_assert(offsetof(TLock_Make, PassageModeFlag) == 114);
static_assert(offsetof(TLock_Make, DeadboltOverrideFlag) == 116);
static_assert(offsetof(TLock_Make, Slot) == 120);
static_assert(offsetof(TLock_Make, CardDataD) == 124);
static_assert(offsetof(TLock_Make, LockStartTime) == 134);
static_assert(offsetof(TLock_Make, LockEndTime) == 146);

// Drops seconds and milliseconds (not rounded).
void DateTimeToLockTime(TDateTime value, TLockTime &dest);
// Raises kx::ConvertError on a date or time that does not exist.
TDateTime LockTimeToDateTime(const TLockTime &value);
// Words 3, 2, 1, 0 as upper-case hex, at least two digits each: "78563412".
QString MakeRomText(const Word *cardRom);
// Words 8, 9, 10, 11 of RoomDoors, in that order, written like the Rom text.
QString MakeCommonDoorsText(const Word *roomDoors);
// Sets words 0..highIndex (highIndex + 1 words) to 0.
void ZeroWords(Word *dest, int highIndex);

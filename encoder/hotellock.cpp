// libhotellock.so: a virtual card encoder with one card slot, behind the five
// calls of the vendor's encoder library. The slot is a card file (see
// cardslot.h), found once from the settings file EncodeInit is given; every
// call reads the card file afresh, so hotellock-card can lay a card on or take
// it away at any time. Only the five calls are exported.

#include "cardimage.h"
#include "cardslot.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <type_traits>

using hotellock::CardImage;
using hotellock::LoadStatus;
using hotellock::Result;
using Word = std::int16_t;

#define HOTELLOCK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_lock;
std::string g_cardPath;     // empty until EncodeInit
std::string g_settingsPath; // read again by MakeGuestCard for the keys it takes
bool g_initialised = false;

template <std::size_t N> void CopyWords(Word (&to)[N], const Word *from)
{
    std::memcpy(to, from, sizeof to);
}

template <std::size_t N> void CopyWords(Word *to, const Word (&from)[N])
{
    std::memcpy(to, from, sizeof from);
}

// Runs one call against the card in the slot: refuses calls before EncodeInit
// and invalid parameters, loads the card, lets use() read or change it, and
// writes it back when save is set. A use() that gives false refuses the call
// as one with invalid parameters and leaves the card as it was.
template <typename Use> Word WithCard(bool parametersValid, bool save, Use use)
{
    std::lock_guard guard(g_lock);
    if (!g_initialised)
        return Result::NotInitialised;
    if (!parametersValid)
        return Result::ParameterInvalid;
    const std::string &path = g_cardPath;
    const hotellock::LoadResult loaded = hotellock::LoadCardFile(path);
    switch (loaded.status) {
    case LoadStatus::Present: break;
    case LoadStatus::NoCard: return Result::NoCard;
    case LoadStatus::UnknownVersion: return Result::CardTypeError;
    case LoadStatus::Damaged: return Result::ReadWriteError;
    }
    CardImage card = loaded.card;
    if constexpr (std::is_same_v<decltype(use(card)), bool>) {
        if (!use(card))
            return Result::ParameterInvalid;
    } else {
        use(card);
    }
    std::string error;
    if (save && !hotellock::UpdateCardFile(path, loaded, card, error))
        return Result::ReadWriteError;
    return Result::Ok;
}

} // namespace

HOTELLOCK_EXPORT Word EncodeInit(char *path256)
{
    if (path256 == nullptr)
        return Result::ParameterInvalid;
    const std::size_t length = strnlen(path256, 256);
    if (length == 256 || length == 0)
        return Result::ParameterInvalid; // no terminator in the buffer, or no path
    const std::string cardPath = hotellock::CardFilePath(std::string(path256, length));
    std::lock_guard guard(g_lock);
    g_cardPath = cardPath;
    g_settingsPath.assign(path256, length);
    g_initialised = true;
    hotellock::RemoveStaleTemporaries(g_cardPath);
    return Result::Ok;
}

HOTELLOCK_EXPORT Word ReadCard(Word *cardRom, Word *cardDataA, Word *cardWord, Word *cardDataB,
                               Word *cardDataC, Word *roomDoors, Word *enOverride, Word *cardMode,
                               Word *cardDataD, Word *lockStartTime, Word *lockEndTime)
{
    const bool valid = cardRom && cardDataA && cardWord && cardDataB && cardDataC && roomDoors &&
                       enOverride && cardMode && cardDataD && lockStartTime && lockEndTime;
    return WithCard(valid, false, [&](const CardImage &card) {
        for (int i = 0; i < 4; ++i)
            cardRom[i] = card.serial[i];
        std::memcpy(cardRom + 4, card.romExtra, sizeof card.romExtra);
        CopyWords(cardDataA, card.cardDataA);
        *cardWord = card.cardWord;
        CopyWords(cardDataB, card.cardDataB);
        CopyWords(cardDataC, card.cardDataC);
        CopyWords(roomDoors, card.roomDoors);
        *enOverride = card.enOverride;
        CopyWords(cardMode, card.cardMode);
        CopyWords(cardDataD, card.cardDataD);
        CopyWords(lockStartTime, card.lockStart);
        CopyWords(lockEndTime, card.lockEnd);
    });
}

HOTELLOCK_EXPORT Word MakeGuestCard(Word *cardRom, Word *cardDataA, Word cardWord, Word *cardDataB,
                                    Word *cardDataC, Word *roomDoors, Word enOverride, Word *cardMode,
                                    Word *cardDataD, Word *lockStartTime, Word *lockEndTime)
{
    // A lock would never open on a date that does not exist: refuse to write one.
    const bool valid = cardRom && cardDataA && cardDataB && cardDataC && roomDoors && cardMode && cardDataD &&
                       lockStartTime && lockEndTime && hotellock::IsValidLockTime(lockStartTime) &&
                       hotellock::IsValidLockTime(lockEndTime);
    hotellock::GuestCardSettings settings;
    const Word result = WithCard(valid, true, [&](CardImage &card) {
        settings = hotellock::ReadGuestCardSettings(g_settingsPath);
        if (!settings.valid)
            return false;
        // The serial belongs to the card in the slot; everything else is written.
        std::memcpy(card.romExtra, cardRom + 4, sizeof card.romExtra);
        CopyWords(card.cardDataA, cardDataA);
        card.cardWord = cardWord;
        CopyWords(card.cardDataB, cardDataB);
        CopyWords(card.cardDataC, cardDataC);
        CopyWords(card.roomDoors, roomDoors);
        card.enOverride = enOverride;
        CopyWords(card.cardMode, cardMode);
        CopyWords(card.cardDataD, cardDataD);
        CopyWords(card.lockStart, lockStartTime);
        CopyWords(card.lockEnd, lockEndTime);
        card.lockStart[5] = card.lockEnd[5] = 0; // the seconds place is always 0 on a card
        // The mode and common doors the settings ask for, on the card.
        if (settings.cardMode)
            card.cardMode[0] = *settings.cardMode;
        if (settings.commonDoors)
            std::memcpy(card.roomDoors + 8, settings.commonDoors->data(), sizeof *settings.commonDoors);
        return true;
    });
    // ... and in the caller's record, as the vendor's library leaves them there.
    if (result == Result::Ok) {
        if (settings.cardMode)
            cardMode[0] = *settings.cardMode;
        if (settings.commonDoors)
            std::memcpy(roomDoors + 8, settings.commonDoors->data(), sizeof *settings.commonDoors);
    }
    return result;
}

HOTELLOCK_EXPORT Word ClearCardData(Word *cardRom)
{
    return WithCard(cardRom != nullptr, true, [](CardImage &card) { card = CardImage::Blank(card.serial); });
}

HOTELLOCK_EXPORT Word M1WriteCommonData(Word *block49)
{
    return WithCard(block49 != nullptr, true, [&](CardImage &card) {
        card.hasCommonData = true;
        card.commonDataSector = block49[0];
    });
}

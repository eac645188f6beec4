#pragma once

// The card lying in the virtual encoder's one slot, and the file that holds it.
// Plain C++ (no Qt): shared by libhotellock.so and hotellock-card.
//
// File layout, all numbers little-endian (158 bytes in version 1):
//   0   4 bytes   magic "KXCD"
//   4   uint16    format version (1)
//   6   uint16    payload length in bytes (146)
//   8   payload   (see CardImage; words are int16)
//   154 uint32    CRC-32 (IEEE, as zlib) of bytes 0..153
// The file is replaced atomically (temporary file in the same folder, fsync,
// rename), so a reader sees either the old or the new card, never a mix.

#include <cstdint>
#include <string>

namespace hotellock {

// Values the library's calls give; a failure's magnitude is the matching
// result code of the interface client.
enum Result : std::int16_t {
    Ok = 1,
    NoCard = -1,           // rlCardPlace: no card in the slot
    NotInitialised = -2,   // rlMakeCardMachineConn: a call before EncodeInit
    CardTypeError = -4,    // rlCardTypeError: a card image of an unknown version
    ReadWriteError = -5,   // rlReadWriteError: damaged image, or it cannot be written
    ParameterInvalid = -8, // rlParameterInvalid: null pointer, impossible lock time
};

struct CardImage
{
    std::uint8_t serial[4] = {};   // CardRom words 0..3, one byte each
    std::int16_t romExtra[5] = {}; // CardRom words 4..8
    std::int16_t cardDataA[5] = {};
    std::int16_t cardWord = 0;
    std::int16_t roomDoors[17] = {}; // word 0: the room
    std::int16_t cardDataB[9] = {};
    std::int16_t cardDataC[5] = {};
    std::int16_t cardMode[9] = {};
    std::int16_t enOverride = 0;
    std::int16_t cardDataD[5] = {};
    std::int16_t lockStart[6] = {}; // year, month, day, hour, minute, 0
    std::int16_t lockEnd[6] = {};
    bool hasCommonData = false; // M1WriteCommonData was called on this card
    std::int16_t commonDataSector = 0;

    // A blank card keeps nothing but its serial.
    static CardImage Blank(const std::uint8_t serial[4]);
    bool IsBlank() const;
};

constexpr std::uint16_t FormatVersion = 1;
constexpr std::size_t PayloadSize = 146;
constexpr std::size_t FileSize = 8 + PayloadSize + 4;

enum class LoadStatus { Present, NoCard, Damaged, UnknownVersion };

struct LoadResult
{
    LoadStatus status = LoadStatus::NoCard;
    CardImage card;
    std::string error; // why the image could not be used
};

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size);

std::string SerializeCard(const CardImage &card);
// Checks size, magic, version, length and checksum.
LoadResult ParseCard(const std::string &bytes);

LoadResult LoadCardFile(const std::string &path);
// Replaces the card file atomically; false with error set when it fails.
bool SaveCardFile(const std::string &path, const CardImage &card, std::string &error);
// Takes the card away; false with error set when the file cannot be deleted.
bool RemoveCardFile(const std::string &path, std::string &error);

// A lock time is either all zero (a blank card) or a real date and time.
bool IsValidLockTime(const std::int16_t time[6]);
bool IsZeroLockTime(const std::int16_t time[6]);

} // namespace hotellock

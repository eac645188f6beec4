#pragma once

// The card lying in the virtual encoder's one slot, and the file that holds it.
// Plain C++ (no Qt): shared by libhotellock.so and hotellock-card.
//
// A card image, all numbers little-endian (158 bytes in version 1):
//   0   4 bytes   magic "KXCD"
//   4   uint16    format version (1)
//   6   uint16    payload length in bytes (146)
//   8   payload   (see CardImage; words are int16)
//   154 uint32    CRC-32 (IEEE, as zlib) of bytes 0..153
// The card file (version 2) holds two copies of 160 bytes each: the same
// layout with version 2, payload length 148 and a uint16 sequence number
// after the payload, the CRC covering bytes 0..155 of the copy. A card is
// written over the older copy and synced once; a reader takes the valid copy
// with the newer sequence number, so a write cut short by a crash leaves the
// card as it was before that write. A version 1 file (one image) is still
// read, and replaced by a version 2 file at its first write.

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
// The card file of two copies.
constexpr std::uint16_t TwoCopyVersion = 2;
constexpr std::size_t CopyPayloadSize = PayloadSize + 2;
constexpr std::size_t CopySize = 8 + CopyPayloadSize + 4;
constexpr std::size_t TwoCopyFileSize = 2 * CopySize;

enum class LoadStatus { Present, NoCard, Damaged, UnknownVersion };

struct LoadResult
{
    LoadStatus status = LoadStatus::NoCard;
    CardImage card;
    std::string error; // why the image could not be used
    // In a two-copy file: which copy holds the card, and its sequence number.
    int copy = -1;
    std::uint16_t sequence = 0;
};

std::uint32_t Crc32(const std::uint8_t *data, std::size_t size);

// The version 1 image of a card.
std::string SerializeCard(const CardImage &card);
// One copy of a two-copy file.
std::string SerializeCopy(const CardImage &card, std::uint16_t sequence);
// A version 1 image or a two-copy file: checks size, magic, version, length
// and checksum, and takes the newer valid copy.
LoadResult ParseCard(const std::string &bytes);

LoadResult LoadCardFile(const std::string &path);
// Replaces the card file atomically with a two-copy file (temporary file,
// fsync, rename, fsync of the folder); false with error set when it fails.
bool SaveCardFile(const std::string &path, const CardImage &card, std::string &error);
// Writes card over the older copy of the two-copy file loaded was read from,
// with one data sync; a file of another kind is replaced as SaveCardFile does.
bool UpdateCardFile(const std::string &path, const LoadResult &loaded, const CardImage &card,
                    std::string &error);
// Removes the temporary files that writers of the card file left behind when
// they were killed while writing (their process is gone).
void RemoveStaleTemporaries(const std::string &path);
// Takes the card away; false with error set when the file cannot be deleted.
bool RemoveCardFile(const std::string &path, std::string &error);

// A lock time is either all zero (a blank card) or a real date and time.
bool IsValidLockTime(const std::int16_t time[6]);
bool IsZeroLockTime(const std::int16_t time[6]);

} // namespace hotellock

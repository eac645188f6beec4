#pragma once

// Where the virtual encoder's card slot lies: key "CardFile" of section
// "Encoder" in the settings file handed to EncodeInit (names match without
// regard to case). Default "encoder-card.bin"; a relative value is taken from
// the settings file's folder. Plain C++: shared by the library and the tool.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace hotellock {

constexpr const char *DefaultCardFile = "encoder-card.bin";

// Reads one value of a Windows-style profile file; def when the file, the
// section or the key is missing.
std::string ReadProfileString(const std::string &path, const std::string &section, const std::string &key,
                              const std::string &def);

// The folder part of a path: "." for a bare file name.
std::string FolderOf(const std::string &path);

std::string CardFilePath(const std::string &settingsPath);

// What the library sets on a guest card it writes, as a vendor's library may:
// key "MakeCardMode" (CardMode word 0) and key "MakeCommonDoors" (RoomDoors
// words 8 to 11, four numbers separated by commas) of section "Encoder".
// Numbers in decimal, 0x... or $...; a missing or empty key sets nothing.
struct GuestCardSettings
{
    std::optional<std::int16_t> cardMode;
    std::optional<std::array<std::int16_t, 4>> commonDoors;
    bool valid = true; // false when a key holds something else than it should
};

GuestCardSettings ReadGuestCardSettings(const std::string &settingsPath);

} // namespace hotellock

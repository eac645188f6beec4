#pragma once

// Where the virtual encoder's card slot lies: key "CardFile" of section
// "Encoder" in the settings file handed to EncodeInit (names match without
// regard to case). Default "encoder-card.bin"; a relative value is taken from
// the settings file's folder. Plain C++: shared by the library and the tool.

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

} // namespace hotellock

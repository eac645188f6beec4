#include "cardslot.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace hotellock {

namespace {

std::string Trim(const std::string &s)
{
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    const auto first = std::find_if(s.begin(), s.end(), notSpace);
    const auto last = std::find_if(s.rbegin(), s.rend(), notSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

bool SameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// A 16-bit word written as a profile integer: decimal, 0x... or $...
// hexadecimal, with an optional minus sign.
std::optional<std::int16_t> ParseWord(const std::string &text)
{
    std::string digits = Trim(text);
    bool negative = false;
    if (!digits.empty() && digits.front() == '-') {
        negative = true;
        digits.erase(0, 1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.erase(0, 2);
    } else if (digits.size() > 1 && digits[0] == '$') {
        base = 16;
        digits.erase(0, 1);
    }
    if (digits.empty() || digits.size() > 6)
        return std::nullopt;
    long value = 0;
    for (const char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                              ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                              : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
    }
    if (negative)
        value = -value;
    // A word: signed, or its unsigned 16-bit reading.
    if (value < -32768 || value > 65535)
        return std::nullopt;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

} // namespace

std::string FolderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ReadProfileString(const std::string &path, const std::string &section, const std::string &key,
                              const std::string &def)
{
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || !SameName(Trim(line.substr(0, eq)), key))
            continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return def;
}

std::string CardFilePath(const std::string &settingsPath)
{
    std::string file = ReadProfileString(settingsPath, "Encoder", "CardFile", "");
    if (file.empty())
        file = DefaultCardFile;
    if (file.front() == '/')
        return file;
    const std::string folder = FolderOf(settingsPath);
    return folder == "/" ? folder + file : folder + "/" + file;
}

GuestCardSettings ReadGuestCardSettings(const std::string &settingsPath)
{
    GuestCardSettings settings;
    const std::string mode = Trim(ReadProfileString(settingsPath, "Encoder", "MakeCardMode", ""));
    if (!mode.empty()) {
        settings.cardMode = ParseWord(mode);
        settings.valid = settings.cardMode.has_value();
    }
    const std::string doors = Trim(ReadProfileString(settingsPath, "Encoder", "MakeCommonDoors", ""));
    if (!doors.empty()) {
        std::array<std::int16_t, 4> words{};
        std::size_t count = 0, from = 0;
        for (;;) {
            const std::size_t comma = doors.find(',', from);
            const std::optional<std::int16_t> word = ParseWord(doors.substr(from, comma - from));
            if (!word || count == words.size()) {
                count = words.size() + 1; // malformed
                break;
            }
            words[count++] = *word;
            if (comma == std::string::npos)
                break;
            from = comma + 1;
        }
        if (count == words.size())
            settings.commonDoors = words;
        else
            settings.valid = false;
    }
    return settings;
}

} // namespace hotellock

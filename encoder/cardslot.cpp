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

} // namespace hotellock

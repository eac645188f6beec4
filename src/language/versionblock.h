#pragma once

// The version block that an executable carries in its ELF section ".kxversion"
// and that TFileVersion reads back. Little-endian throughout:
//
//   offset  size  field
//   0       4     magic "KXVB"
//   4       2     format version (1)
//   6       2     translation count T
//   8       4*T   translations: language id (u16), code page (u16)
//   ...     2     string table count S
//   per string table:
//           2+n   table name: byte count (u16), bytes ("040904E4")
//           2     entry count E
//           per entry: key (u16 byte count, bytes), value (u16 byte count, bytes)
//
// Texts are UTF-8 bytes with no terminator. The block is written by
// WriteVersionBlock, at compile time for the executable (see
// cmake/VersionBlock.cmake) and at run time for tests.

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kx {

inline constexpr std::string_view VersionSectionName = ".kxversion";
inline constexpr std::string_view VersionBlockMagic = "KXVB";
inline constexpr std::uint16_t VersionBlockFormat = 1;

struct VersionString
{
    std::string_view key;
    std::string_view value;
};

// The string table name of a translation: language then code page, four
// upper-case hexadecimal digits each ("040904E4").
constexpr std::array<char, 8> TranslationName(std::uint16_t language, std::uint16_t codePage)
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 8> name{};
    const std::uint32_t both = (std::uint32_t(language) << 16) | codePage;
    for (int i = 0; i < 8; ++i)
        name[std::size_t(i)] = digits[(both >> (28 - 4 * i)) & 0xF];
    return name;
}

// Writes a block with one translation and its one string table to out and
// returns its size; with out == nullptr only the size is computed. Usable in
// constant expressions.
constexpr std::size_t WriteVersionBlock(unsigned char *out, std::uint16_t language, std::uint16_t codePage,
                                        std::span<const VersionString> entries)
{
    std::size_t at = 0;
    auto put = [&](unsigned char byte) {
        if (out)
            out[at] = byte;
        ++at;
    };
    auto putWord = [&](std::size_t word) {
        put(static_cast<unsigned char>(word & 0xFF));
        put(static_cast<unsigned char>((word >> 8) & 0xFF));
    };
    auto putText = [&](std::string_view text) {
        putWord(text.size());
        for (char c : text)
            put(static_cast<unsigned char>(c));
    };
    for (char c : VersionBlockMagic)
        put(static_cast<unsigned char>(c));
    putWord(VersionBlockFormat);
    putWord(1);
    putWord(language);
    putWord(codePage);
    putWord(1);
    const auto name = TranslationName(language, codePage);
    putText(std::string_view(name.data(), name.size()));
    putWord(entries.size());
    for (const VersionString &entry : entries) {
        putText(entry.key);
        putText(entry.value);
    }
    return at;
}

// The block as bytes, for tests and tools.
QByteArray BuildVersionBlock(std::uint16_t language, std::uint16_t codePage,
                             std::span<const VersionString> entries);

// The parsed form of a block.
struct VersionTranslation
{
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};

struct VersionTable
{
    QByteArray name;
    QList<QPair<QByteArray, QByteArray>> entries;
};

struct VersionBlockContents
{
    QList<VersionTranslation> translations;
    QList<VersionTable> tables;
};

// Parses a block; nothing for a block that is cut short or has another magic
// or format. Bytes after the last table (section padding) are ignored.
std::optional<VersionBlockContents> ParseVersionBlock(const QByteArray &block);

// Looks a path up in a block, as the version query of the original platform
// does: "\VarFileInfo\Translation" gives the translations (4 bytes each),
// "\StringFileInfo\<table>\<key>" gives the entry's value bytes. The leading
// backslash is optional, '/' works as well, and names match in any letter case.
std::optional<QByteArray> QueryVersionValue(const QByteArray &block, const QString &path);

} // namespace kx

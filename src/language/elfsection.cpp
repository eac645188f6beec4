#include "elfsection.h"

#include <QFile>
#include <QtEndian>

namespace kx {

namespace {

constexpr qint64 ElfHeaderSize = 64;
constexpr qint64 SectionHeaderSize = 64;
constexpr std::uint32_t SectionNoBits = 8;      // SHT_NOBITS: no contents in the file
constexpr std::uint16_t ExtendedIndex = 0xFFFF; // SHN_XINDEX
// A version block is a few hundred bytes; anything far larger is a damaged file.
constexpr std::uint64_t MaxSectionSize = 1 << 20;
constexpr std::uint64_t MaxSectionCount = 1 << 16;
constexpr std::uint64_t MaxNameTableSize = 1 << 22;

template <typename T> T field(const QByteArray &bytes, qsizetype offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

struct SectionHeader
{
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

class ElfFile
{
public:
    explicit ElfFile(const QString &path) : m_file(path) {}

    bool open() { return m_file.open(QIODevice::ReadOnly); }

    std::optional<QByteArray> read(std::uint64_t offset, std::uint64_t size)
    {
        const auto length = static_cast<std::uint64_t>(m_file.size());
        if (offset > length || size > length - offset)
            return std::nullopt;
        if (!m_file.seek(qint64(offset)))
            return std::nullopt;
        QByteArray bytes = m_file.read(qint64(size));
        if (std::uint64_t(bytes.size()) != size)
            return std::nullopt;
        return bytes;
    }

    std::optional<SectionHeader> section(std::uint64_t tableOffset, std::uint64_t entrySize,
                                         std::uint64_t index)
    {
        const auto raw = read(tableOffset + index * entrySize, SectionHeaderSize);
        if (!raw)
            return std::nullopt;
        SectionHeader h;
        h.name = field<std::uint32_t>(*raw, 0);
        h.type = field<std::uint32_t>(*raw, 4);
        h.offset = field<std::uint64_t>(*raw, 0x18);
        h.size = field<std::uint64_t>(*raw, 0x20);
        h.link = field<std::uint32_t>(*raw, 0x28);
        return h;
    }

private:
    QFile m_file;
};

} // namespace

std::optional<QByteArray> ReadElfSection(const QString &path, const QByteArray &sectionName)
{
    ElfFile elf(path);
    if (!elf.open())
        return std::nullopt;
    const auto header = elf.read(0, ElfHeaderSize);
    if (!header || !header->startsWith("\x7F"
                                       "ELF"))
        return std::nullopt;
    if (header->at(4) != 2 || header->at(5) != 1) // ELFCLASS64, ELFDATA2LSB
        return std::nullopt;

    const auto tableOffset = field<std::uint64_t>(*header, 0x28);
    const std::uint64_t entrySize = field<std::uint16_t>(*header, 0x3A);
    std::uint64_t count = field<std::uint16_t>(*header, 0x3C);
    std::uint64_t namesIndex = field<std::uint16_t>(*header, 0x3E);
    if (tableOffset == 0 || entrySize < SectionHeaderSize)
        return std::nullopt;

    // Files with very many sections keep the real counts in section 0.
    if (count == 0 || namesIndex == ExtendedIndex) {
        const auto first = elf.section(tableOffset, entrySize, 0);
        if (!first)
            return std::nullopt;
        if (count == 0)
            count = first->size;
        if (namesIndex == ExtendedIndex)
            namesIndex = first->link;
    }
    if (count > MaxSectionCount || namesIndex >= count)
        return std::nullopt;

    const auto namesHeader = elf.section(tableOffset, entrySize, namesIndex);
    if (!namesHeader || namesHeader->size > MaxNameTableSize)
        return std::nullopt;
    const auto names = elf.read(namesHeader->offset, namesHeader->size);
    if (!names)
        return std::nullopt;

    for (std::uint64_t i = 1; i < count; ++i) {
        const auto h = elf.section(tableOffset, entrySize, i);
        if (!h)
            return std::nullopt;
        if (h->name >= std::uint64_t(names->size()))
            continue;
        const qsizetype end = names->indexOf('\0', qsizetype(h->name));
        const QByteArray name = names->mid(qsizetype(h->name), end < 0 ? -1 : end - qsizetype(h->name));
        if (name != sectionName)
            continue;
        if (h->type == SectionNoBits || h->size > MaxSectionSize)
            return std::nullopt;
        return elf.read(h->offset, h->size);
    }
    return std::nullopt;
}

} // namespace kx

#pragma once

#include <QByteArray>
#include <QtEndian>
#include <cstdint>

// A minimal ELF file holding one section with the given contents, for
// feeding the section reader files that no compiler would make.
struct ElfImage
{
    QByteArray sectionName = ".kxversion";
    QByteArray contents;
    char elfClass = 2;  // 64-bit
    char byteOrder = 1; // little-endian

    QByteArray bytes() const
    {
        const QByteArray names = QByteArray(1, '\0') + ".shstrtab" + '\0' + sectionName + '\0';
        const qsizetype contentsAt = 64;
        const qsizetype namesAt = contentsAt + contents.size();
        qsizetype headersAt = namesAt + names.size();
        headersAt += (8 - headersAt % 8) % 8;

        QByteArray file(headersAt + 3 * 64, '\0');
        auto put16 = [&](qsizetype at, std::uint16_t v) { qToLittleEndian(v, file.data() + at); };
        auto put32 = [&](qsizetype at, std::uint32_t v) { qToLittleEndian(v, file.data() + at); };
        auto put64 = [&](qsizetype at, std::uint64_t v) { qToLittleEndian(v, file.data() + at); };
        file.replace(0, 4,
                     "\x7F"
                     "ELF");
        file[4] = elfClass;
        file[5] = byteOrder;
        file[6] = 1;
        put16(0x10, 2);    // executable
        put16(0x12, 0x3E); // x86-64
        put32(0x14, 1);
        put64(0x28, std::uint64_t(headersAt));
        put16(0x34, 64);
        put16(0x3A, 64);
        put16(0x3C, 3);
        put16(0x3E, 1); // the names are section 1
        file.replace(contentsAt, contents.size(), contents);
        file.replace(namesAt, names.size(), names);

        auto section = [&](int index, std::uint32_t name, std::uint32_t type, qsizetype at, qsizetype size) {
            const qsizetype h = headersAt + index * 64;
            put32(h, name);
            put32(h + 4, type);
            put64(h + 0x18, std::uint64_t(at));
            put64(h + 0x20, std::uint64_t(size));
        };
        section(1, 1, 3, namesAt, names.size());        // .shstrtab
        section(2, 11, 1, contentsAt, contents.size()); // the named section
        return file;
    }
};

#include "common/tempfolder.h"
#include "elfimage.h"
#include "qstringprinter.h"

#include "language/fileversion.h"
#include "language/versionblock.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

constexpr kx::VersionString Sample[] = {
    {"ProductName", "Kandrilox"},
    {"Comments", " \t\r\n padded value \x01 "},
    {"Truncated", std::string_view("before\0after", 12)},
    {"Blank", "   "},
};

// A reader over an ELF file that the test writes.
TFileVersion ReaderOf(const TempFolder &dir, const QByteArray &fileBytes)
{
    return TFileVersion(dir.write("program", fileBytes));
}

QByteArray ElfWith(const QByteArray &block)
{
    ElfImage image;
    image.contents = block;
    return image.bytes();
}

} // namespace

TEST(FileVersion, ReadsTheBlockBuiltIntoThisExecutable)
{
    const TFileVersion version;
    EXPECT_EQ(version.GetTranslation(), "040904E4");
    EXPECT_EQ(version.GetValue("ProductName"), "Kandrilox");
    EXPECT_EQ(version.GetValue("productname"), "Kandrilox"); // entry names ignore letter case
    EXPECT_EQ(version.GetValue("FileVersion"), KANDRILOX_PROJECT_VERSION);
    EXPECT_EQ(version.GetValue("ProductVersion"), KANDRILOX_PROJECT_VERSION);
    EXPECT_EQ(version.GetValue("OriginalFilename"), "test_language_fileversion");
    for (const char *name : {"CompanyName", "FileDescription", "InternalName", "LegalCopyright"})
        EXPECT_FALSE(version.GetValue(name).isEmpty()) << name;
    EXPECT_EQ(version.GetValue("NoSuchEntry"), "");
}

TEST(FileVersion, TheKandriloxExecutableIsNamedKandrilox)
{
    const QString exe = qEnvironmentVariable("KANDRILOX_BIN_DIR") + "/kandrilox";
    if (!QFileInfo::exists(exe))
        GTEST_SKIP() << "kandrilox is not built in " << exe.toStdString();
    const TFileVersion version(exe);
    EXPECT_EQ(version.GetTranslation(), "040904E4");
    EXPECT_EQ(version.GetValue("ProductName"), "Kandrilox");
    EXPECT_EQ(version.GetValue("OriginalFilename"), "kandrilox");
}

TEST(FileVersion, TrimsBlanksAndControlCharactersAndStopsAtZero)
{
    TempFolder dir;
    const TFileVersion version = ReaderOf(dir, ElfWith(kx::BuildVersionBlock(0x0804, 0x03A8, Sample)));
    EXPECT_EQ(version.GetTranslation(), "080403A8");
    EXPECT_EQ(version.GetValue("Comments"), "padded value");
    EXPECT_EQ(version.GetValue("Truncated"), "before");
    EXPECT_EQ(version.GetValue("Blank"), "");
    EXPECT_EQ(version.GetValue("ProductName"), "Kandrilox");
}

TEST(FileVersion, FilesWithoutAUsableBlockGiveEmptyTexts)
{
    const QByteArray good = kx::BuildVersionBlock(0x0409, 0x04E4, Sample);
    QByteArray noTranslation("KXVB\x01\x00\x00\x00\x00\x00", 10);
    QByteArray badMagic = good;
    badMagic[0] = 'X';
    ElfImage otherSection;
    otherSection.sectionName = ".data.other";
    otherSection.contents = good;
    ElfImage elf32;
    elf32.contents = good;
    elf32.elfClass = 1;
    ElfImage bigEndian;
    bigEndian.contents = good;
    bigEndian.byteOrder = 2;

    const struct
    {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"not an ELF file", "#!/bin/sh\necho hello\n"},
        {"empty file", ""},
        {"no version section", otherSection.bytes()},
        {"32-bit ELF", elf32.bytes()},
        {"big-endian ELF", bigEndian.bytes()},
        {"block without translation", ElfWith(noTranslation)},
        {"block with another magic", ElfWith(badMagic)},
        {"block cut short", ElfWith(good.left(good.size() - 3))},
        {"file cut inside the section headers", ElfWith(good).chopped(70)},
    };
    for (const auto &c : cases) {
        TempFolder dir;
        const TFileVersion version = ReaderOf(dir, c.bytes);
        EXPECT_EQ(version.GetTranslation(), "") << c.what;
        EXPECT_EQ(version.GetValue("ProductName"), "") << c.what;
    }
    EXPECT_EQ(TFileVersion("/no/such/file").GetValue("ProductName"), "");
}

TEST(VersionBlock, QueriesFollowTheVersionPathForms)
{
    const QByteArray block = kx::BuildVersionBlock(0x0409, 0x04E4, Sample);
    EXPECT_EQ(kx::QueryVersionValue(block, "\\VarFileInfo\\Translation"), QByteArray("\x09\x04\xE4\x04", 4));
    EXPECT_EQ(kx::QueryVersionValue(block, "StringFileInfo\\040904E4\\ProductName"), "Kandrilox");
    EXPECT_EQ(kx::QueryVersionValue(block, "\\StringFileInfo\\040904e4\\ProductName"), "Kandrilox");
    EXPECT_EQ(kx::QueryVersionValue(block, "StringFileInfo\\040904E5\\ProductName"), std::nullopt);
    EXPECT_EQ(kx::QueryVersionValue(block, "StringFileInfo\\ProductName"), std::nullopt);
}

#include "cardimage.h"
#include "cardslot.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace hotellock;

CardImage SampleCard()
{
    const std::uint8_t serial[4] = {0x12, 0x34, 0x56, 0x78};
    CardImage card = CardImage::Blank(serial);
    for (int i = 0; i < 17; ++i)
        card.roomDoors[i] = static_cast<std::int16_t>(i * 3 - 5);
    card.romExtra[4] = -2;
    card.cardDataA[0] = 1;
    card.cardWord = -32768;
    card.cardDataB[8] = 32767;
    card.cardDataC[2] = 9;
    card.cardMode[1] = 2;
    card.enOverride = 1;
    card.cardDataD[4] = -9;
    const std::int16_t start[6] = {2024, 5, 20, 14, 0, 0};
    const std::int16_t end[6] = {2024, 5, 22, 12, 0, 0};
    std::copy(start, start + 6, card.lockStart);
    std::copy(end, end + 6, card.lockEnd);
    card.hasCommonData = true;
    card.commonDataSector = 3;
    return card;
}

TEST(CardImage, RoundTripsEveryField)
{
    const std::string bytes = SerializeCard(SampleCard());
    ASSERT_EQ(bytes.size(), FileSize);
    EXPECT_EQ(bytes.substr(0, 4), "KXCD");
    const LoadResult parsed = ParseCard(bytes);
    ASSERT_EQ(parsed.status, LoadStatus::Present) << parsed.error;
    EXPECT_EQ(SerializeCard(parsed.card), bytes);
    EXPECT_FALSE(parsed.card.IsBlank());
    EXPECT_TRUE(CardImage::Blank(parsed.card.serial).IsBlank());
}

TEST(CardImage, EveryCorruptedByteIsDetected)
{
    const std::string good = SerializeCard(SampleCard());
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x40);
        const LoadResult parsed = ParseCard(bad);
        EXPECT_NE(parsed.status, LoadStatus::Present) << "byte " << i;
        EXPECT_FALSE(parsed.error.empty());
    }
    EXPECT_EQ(ParseCard(good.substr(0, 10)).status, LoadStatus::Damaged);
    EXPECT_EQ(ParseCard(std::string()).status, LoadStatus::Damaged);
}

TEST(CardImage, AnotherFormatVersionIsReportedAsSuch)
{
    std::string bytes = SerializeCard(SampleCard());
    bytes[4] = 3;
    EXPECT_EQ(ParseCard(bytes).status, LoadStatus::UnknownVersion);
}

CardImage RoomCard(std::int16_t room)
{
    CardImage card = SampleCard();
    card.roomDoors[0] = room;
    return card;
}

// The newer valid copy of a two-copy file is the card; sequence numbers wrap.
TEST(CardImage, TwoCopyFileGivesTheNewerValidCopy)
{
    const struct
    {
        std::uint16_t first, second;
        bool breakFirst, breakSecond;
        int copy; // -1: damaged
    } cases[] = {
        {1, 0, false, false, 0},     {7, 8, false, false, 1}, {65535, 0, false, false, 1},
        {0, 65535, false, false, 0}, {8, 7, true, false, 1},  {7, 8, false, true, 0},
        {7, 8, true, true, -1},
    };
    for (const auto &c : cases) {
        std::string first = SerializeCopy(RoomCard(1), c.first);
        std::string second = SerializeCopy(RoomCard(2), c.second);
        if (c.breakFirst)
            first[40] = static_cast<char>(first[40] ^ 1);
        if (c.breakSecond)
            second[CopySize - 1] = static_cast<char>(second[CopySize - 1] ^ 1);
        const LoadResult parsed = ParseCard(first + second);
        const std::string label = std::to_string(c.first) + "/" + std::to_string(c.second);
        if (c.copy < 0) {
            EXPECT_EQ(parsed.status, LoadStatus::Damaged) << label;
            continue;
        }
        ASSERT_EQ(parsed.status, LoadStatus::Present) << label << ": " << parsed.error;
        EXPECT_EQ(parsed.copy, c.copy) << label;
        EXPECT_EQ(parsed.card.roomDoors[0], c.copy + 1) << label;
    }
    EXPECT_EQ(ParseCard(SerializeCopy(RoomCard(1), 0)).status, LoadStatus::Damaged); // one copy only
}

TEST(CardImage, ChecksumIsStandardCrc32)
{
    const std::string text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()), 0xCBF43926u);
}

TEST(CardImage, LockTimesAreZeroOrRealDatesAndTimes)
{
    const struct
    {
        std::int16_t time[6];
        bool valid;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, true},       {{2024, 2, 29, 23, 59, 0}, true}, {{2023, 2, 29, 10, 0, 0}, false},
        {{2024, 4, 31, 10, 0, 0}, false}, {{2024, 5, 20, 24, 0, 0}, false}, {{2024, 5, 20, 10, 60, 0}, false},
        {{0, 5, 20, 10, 0, 0}, false},    {{2024, 0, 20, 10, 0, 0}, false}, {{1900, 2, 29, 0, 0, 0}, false},
        {{2000, 2, 29, 0, 0, 0}, true},   {{-1, 1, 1, 0, 0, 0}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsValidLockTime(c.time), c.valid)
            << c.time[0] << "-" << c.time[1] << "-" << c.time[2] << " " << c.time[3] << ":" << c.time[4];
}

class CardFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/cardimage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void WriteFile(const std::string &name, const std::string &text)
    {
        std::ofstream(dir + "/" + name) << text;
    }

    std::string dir;
};

TEST_F(CardFiles, SaveLoadAndRemove)
{
    const std::string path = dir + "/card.bin";
    EXPECT_EQ(LoadCardFile(path).status, LoadStatus::NoCard);
    std::string error;
    ASSERT_TRUE(SaveCardFile(path, SampleCard(), error)) << error;
    const LoadResult loaded = LoadCardFile(path);
    ASSERT_EQ(loaded.status, LoadStatus::Present);
    EXPECT_EQ(SerializeCard(loaded.card), SerializeCard(SampleCard()));
    ASSERT_TRUE(RemoveCardFile(path, error));
    EXPECT_EQ(LoadCardFile(path).status, LoadStatus::NoCard);
    EXPECT_TRUE(RemoveCardFile(path, error)); // removing from an empty slot is no error
}

std::string FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each write goes over the older copy only, so a write cut short (here: the
// copy it wrote is spoilt afterwards) leaves the card as the write before it left it.
TEST_F(CardFiles, UpdateWritesTheOlderCopyAndACutWriteKeepsThePreviousCard)
{
    const std::string path = dir + "/card.bin";
    std::string error;
    ASSERT_TRUE(SaveCardFile(path, RoomCard(101), error)) << error;
    ASSERT_EQ(FileBytes(path).size(), TwoCopyFileSize);
    for (std::int16_t room = 102; room <= 105; ++room) {
        const LoadResult before = LoadCardFile(path);
        ASSERT_EQ(before.status, LoadStatus::Present) << before.error;
        const std::string old = FileBytes(path);
        ASSERT_TRUE(UpdateCardFile(path, before, RoomCard(room), error)) << error;
        const std::string now = FileBytes(path);
        const std::size_t kept = before.copy == 0 ? 0 : CopySize;
        EXPECT_EQ(now.substr(kept, CopySize), old.substr(kept, CopySize)) << "room " << room;
        const LoadResult after = LoadCardFile(path);
        ASSERT_EQ(after.status, LoadStatus::Present) << after.error;
        EXPECT_EQ(after.card.roomDoors[0], room);
        EXPECT_NE(after.copy, before.copy);

        std::string cut = now;
        cut[CopySize - kept + 20] = static_cast<char>(cut[CopySize - kept + 20] ^ 0x55);
        EXPECT_EQ(ParseCard(cut).card.roomDoors[0], room - 1) << "room " << room;
    }
}

TEST_F(CardFiles, VersionOneFileIsReadAndReplacedAtItsFirstWrite)
{
    const std::string path = dir + "/card.bin";
    std::ofstream(path, std::ios::binary) << SerializeCard(RoomCard(101));
    const LoadResult loaded = LoadCardFile(path);
    ASSERT_EQ(loaded.status, LoadStatus::Present) << loaded.error;
    EXPECT_EQ(loaded.card.roomDoors[0], 101);
    EXPECT_EQ(loaded.copy, -1);
    std::string error;
    ASSERT_TRUE(UpdateCardFile(path, loaded, RoomCard(102), error)) << error;
    EXPECT_EQ(FileBytes(path).size(), TwoCopyFileSize);
    EXPECT_EQ(LoadCardFile(path).card.roomDoors[0], 102);
}

TEST_F(CardFiles, OpeningTheSlotRemovesTemporariesOfWritersThatAreGone)
{
    // A child that has ended and been reaped stands for a writer killed mid-write.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string stale = "card.bin.tmp-" + std::to_string(gone) + "-a1b2c3";
    const std::string ours = "card.bin.tmp-" + std::to_string(getpid()) + "-a1b2c3";
    const std::vector<std::string> kept{ours, "card.bin.tmp-notapid-a1b2c3", "other.bin.tmp-1-a1b2c3",
                                        "card.bin"};
    WriteFile(stale, "x");
    for (const std::string &name : kept)
        WriteFile(name, "x");

    RemoveStaleTemporaries(dir + "/card.bin");
    EXPECT_FALSE(std::filesystem::exists(dir + "/" + stale));
    for (const std::string &name : kept)
        EXPECT_TRUE(std::filesystem::exists(dir + "/" + name)) << name;

    // A save leaves nothing beside the card file.
    std::string error;
    ASSERT_TRUE(SaveCardFile(dir + "/card.bin", SampleCard(), error)) << error;
    int files = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(dir))
        ++files;
    EXPECT_EQ(files, int(kept.size()));
}

TEST_F(CardFiles, FailedSaveReportsThePath)
{
    std::string error;
    EXPECT_FALSE(SaveCardFile(dir + "/missing-folder/card.bin", SampleCard(), error));
    EXPECT_NE(error.find("missing-folder"), std::string::npos) << error;
}

TEST_F(CardFiles, CardFileIsFoundThroughTheSettingsFile)
{
    const std::string ini = dir + "/Kandrilox.ini";
    EXPECT_EQ(CardFilePath(ini), dir + "/encoder-card.bin"); // no settings file

    WriteFile("Kandrilox.ini",
              "[Config]\nCardFile=elsewhere.bin\n[ ENCODER ]\n; comment\n  cardFILE = slot.bin \n");
    EXPECT_EQ(CardFilePath(ini), dir + "/slot.bin");

    WriteFile("Kandrilox.ini", "[Encoder]\nCardFile=\"/var/tmp/slot card.bin\"\n");
    EXPECT_EQ(CardFilePath(ini), "/var/tmp/slot card.bin");

    WriteFile("Kandrilox.ini", "[Encoder]\nCardFile=\n");
    EXPECT_EQ(CardFilePath(ini), dir + "/encoder-card.bin");

    EXPECT_EQ(CardFilePath("Kandrilox.ini"), "./encoder-card.bin");
    EXPECT_EQ(CardFilePath("/Kandrilox.ini"), "/encoder-card.bin");
}

} // namespace

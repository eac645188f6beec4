#include "encoding/lockmake.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return kx::EncodeDate(y, mo, d) + kx::EncodeTime(h, mi, s, 0);
}

TLockTime Lock(Word y, Word mo, Word d, Word h, Word mi, Word s = 0)
{
    return TLockTime{{y, mo, d, h, mi, s}};
}

std::array<Word, 6> WordsOf(const TLockTime &t)
{
    return {t.w[0], t.w[1], t.w[2], t.w[3], t.w[4], t.w[5]};
}

struct LockTimeCase
{
    const char *name;
    TDateTime value;
    std::array<Word, 6> words;
    TDateTime back; // what the lock time converts back to
};

class LockTimeConversion : public testing::TestWithParam<LockTimeCase>
{
};

TEST_P(LockTimeConversion, DropsSecondsAndConvertsBack)
{
    const LockTimeCase &c = GetParam();
    TLockTime lock;
    lock.w[5] = 99; // must be overwritten with 0
    DateTimeToLockTime(c.value, lock);
    EXPECT_EQ(WordsOf(lock), c.words);
    EXPECT_DOUBLE_EQ(LockTimeToDateTime(lock), c.back);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockTimeConversion,
    testing::Values(
        LockTimeCase{"SecondsDropped",
                     At(2024, 5, 20, 14, 30, 45),
                     {2024, 5, 20, 14, 30, 0},
                     At(2024, 5, 20, 14, 30, 0)},
        LockTimeCase{"NotRounded",
                     At(2024, 5, 20, 14, 30, 59) + 0.999 / 86400.0,
                     {2024, 5, 20, 14, 30, 0},
                     At(2024, 5, 20, 14, 30, 0)},
        LockTimeCase{"Midnight", At(2024, 5, 21, 0, 0, 0), {2024, 5, 21, 0, 0, 0}, At(2024, 5, 21, 0, 0, 0)},
        LockTimeCase{"ZeroDateTime", 0.0, {1899, 12, 30, 0, 0, 0}, 0.0},
        LockTimeCase{"LastMinuteOfYear",
                     At(9999, 12, 31, 23, 59, 59),
                     {9999, 12, 31, 23, 59, 0},
                     At(9999, 12, 31, 23, 59, 0)},
        // Before 1899-12-30 the day count is negative; the time must still come back.
        LockTimeCase{"BeforeDayZero",
                     kx::EncodeDate(1899, 12, 29) - kx::EncodeTime(6, 15, 0, 0),
                     {1899, 12, 29, 6, 15, 0},
                     kx::EncodeDate(1899, 12, 29) - kx::EncodeTime(6, 15, 0, 0)}),
    [](const testing::TestParamInfo<LockTimeCase> &info) { return std::string(info.param.name); });

TEST(LockTimeToDateTime, IgnoresTheSecondsWord)
{
    EXPECT_DOUBLE_EQ(LockTimeToDateTime(Lock(2024, 5, 20, 14, 30, 45)), At(2024, 5, 20, 14, 30, 0));
}

TEST(LockTimeToDateTime, RaisesOnDatesAndTimesThatDoNotExist)
{
    const char *dateError = "Invalid argument to date encode";
    const char *timeError = "Invalid argument to time encode";
    const struct
    {
        TLockTime lock;
        const char *error;
    } cases[] = {
        {Lock(0, 0, 0, 0, 0), dateError},      // blank card
        {Lock(2024, 2, 30, 10, 0), dateError}, // no such day
        {Lock(2023, 2, 29, 10, 0), dateError}, // not a leap year
        {Lock(2024, 13, 1, 10, 0), dateError},
        {Lock(2024, 0, 1, 10, 0), dateError},
        {Lock(2024, 5, 20, 24, 0), timeError},
        {Lock(2024, 5, 20, 23, 60), timeError},
        {Lock(2024, 5, 20, -1, 0), timeError},
        {Lock(-1, 5, 20, 10, 0), dateError}, // 65535 as an unsigned year
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(WordsOf(c.lock)));
        try {
            LockTimeToDateTime(c.lock);
            ADD_FAILURE() << "no error raised";
        } catch (const kx::ConvertError &e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    }
}

TEST(LockTimeToDateTime, AcceptsLeapDay)
{
    EXPECT_DOUBLE_EQ(LockTimeToDateTime(Lock(2024, 2, 29, 23, 59)), At(2024, 2, 29, 23, 59, 0));
}

TEST(MakeRomText, WritesWordsThreeToZeroInUpperCaseHex)
{
    const struct
    {
        std::array<Word, 9> rom;
        const char *text;
    } cases[] = {
        {{0x12, 0x34, 0x56, 0x78, 7, 7, 7, 7, 7}, "78563412"}, // words 4..8 are not used
        {{5, 0, 0, 0}, "00000005"},
        {{0xab, 0xcd, 0xef, 0x0a}, "0AEFCDAB"},
        {{0, 0x1AB, 0, 0}, "00001AB00"},
        {{-1, 0, 0, 0}, "000000FFFFFFFF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MakeRomText(c.rom.data()), QLatin1String(c.text));
}

TEST(MakeCommonDoorsText, WritesWordsEightToElevenAscending)
{
    std::array<Word, 17> doors{};
    doors[0] = 101;
    doors[8] = 0x01;
    doors[9] = 0x02;
    doors[10] = 0x0A;
    doors[11] = 0xFF;
    doors[12] = 0x33; // beyond the common-door words
    EXPECT_EQ(MakeCommonDoorsText(doors.data()), QStringLiteral("01020AFF"));
    doors.fill(0);
    EXPECT_EQ(MakeCommonDoorsText(doors.data()), QStringLiteral("00000000"));
}

TEST(ZeroWords, ClearsWordsZeroToHighIndexAndNothingElse)
{
    std::array<Word, 20> words;
    words.fill(-7);
    ZeroWords(words.data() + 1, 16);
    EXPECT_EQ(words[0], -7);
    for (int i = 1; i <= 17; ++i)
        EXPECT_EQ(words[i], 0) << i;
    EXPECT_EQ(words[18], -7);
    EXPECT_EQ(words[19], -7);

    ZeroWords(words.data(), -1); // no words at all
    EXPECT_EQ(words[0], -7);
}

TEST(TLockMake, ZeroWordsOverRoomDoorsStopsBeforeCardDataB)
{
    TLock_Make card;
    std::memset(&card, 0x5A, sizeof card);
    ZeroWords(card.RoomDoors, 16);
    for (Word w : card.RoomDoors)
        EXPECT_EQ(w, 0);
    EXPECT_EQ(card.CardDataB[0], 0x5A5A);
    EXPECT_EQ(card.CardWord, 0x5A5A);
}

} // namespace

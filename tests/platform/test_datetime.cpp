#include "platform/datetime.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(DateTime, EncodesDaysSince18991230)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2024, 5, 20), 45432.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST(DateTime, DecodesWhatItEncodes)
{
    struct Case { int y, mo, d, h, mi, s; } cases[] = {
        {2024, 5, 20, 14, 30, 45}, {2000, 2, 29, 0, 0, 0}, {1899, 12, 30, 0, 0, 0},
        {9999, 12, 31, 23, 59, 59}, {1, 1, 1, 0, 0, 0},   {2100, 3, 1, 12, 0, 1},
    };
    for (const Case &c : cases) {
        const TDateTime value = EncodeDate(c.y, c.mo, c.d) + EncodeTime(c.h, c.mi, c.s, 0);
        const DateParts d = DecodeDate(value);
        const TimeParts t = DecodeTime(value);
        EXPECT_EQ((std::tuple{d.year, d.month, d.day, t.hour, t.minute, t.second}),
                  (std::tuple{c.y, c.mo, c.d, c.h, c.mi, c.s}))
            << c.y << "-" << c.mo << "-" << c.d;
    }
}

TEST(DateTime, RaisesExactTextsOutOfRange)
{
    const auto dateError = [](int y, int m, int d) {
        try {
            EncodeDate(y, m, d);
        } catch (const ConvertError &e) {
            return e.text();
        }
        return QString();
    };
    for (auto [y, m, d] : {std::tuple{2024, 2, 30}, {2023, 2, 29}, {0, 1, 1}, {2024, 13, 1}, {2024, 4, 31}, {2024, 1, 0}})
        EXPECT_EQ(dateError(y, m, d), "Invalid argument to date encode") << y << m << d;
    EXPECT_EQ(dateError(2024, 2, 29), QString());

    for (auto [h, n, s] : {std::tuple{24, 0, 0}, {0, 60, 0}, {0, 0, 60}, {-1, 0, 0}}) {
        try {
            EncodeTime(h, n, s, 0);
            ADD_FAILURE() << "no error for " << h << ":" << n << ":" << s;
        } catch (const ConvertError &e) {
            EXPECT_EQ(e.text(), "Invalid argument to time encode");
        }
    }
}

TEST(DateTime, TextForms)
{
    const TDateTime noon = EncodeDate(2024, 5, 22) + EncodeTime(11, 58, 3, 0);
    EXPECT_EQ(FormatDateTime(noon), "2024-05-22 11:58:03");
    EXPECT_EQ(DateTimeToStr(noon), "2024-05-22 11:58:03");
    // At midnight exactly the time is left out.
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 5, 22)), "2024-05-22");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 5, 22) + EncodeTime(0, 0, 1, 0)), "2024-05-22 00:00:01");
}

TEST(DateTime, QtConversionKeepsLocalWallClock)
{
    const TDateTime value = EncodeDate(2024, 5, 20) + EncodeTime(14, 0, 30, 0);
    const QDateTime q = ToQDateTime(value);
    EXPECT_EQ(q.toString("yyyy-MM-dd HH:mm:ss"), "2024-05-20 14:00:30");
    EXPECT_DOUBLE_EQ(FromQDateTime(q), value);
}

TEST(DateTime, StrToIntAcceptsNumbersAndRaisesOnOthers)
{
    EXPECT_EQ(StrToInt("2024"), 2024);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("$10"), 16);
    for (const char *bad : {"201A", "", "1 2", "x", "99999999999"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ConvertError &e) {
            EXPECT_EQ(e.text(), QString("'%1' is not a valid integer value").arg(bad));
        }
    }
}

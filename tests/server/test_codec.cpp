#include "frames.h"

#include "platform/errors.h"
#include "server/codec.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

using namespace testframes;

namespace {

// A decode as the dispatcher runs it: the bytes in a cleared 1025-byte
// receive buffer, command and fields at their initial values.
struct Decoded
{
    int status = -1;
    int command = 0;
    TCardInterface request;
};

// n: the bytes received; FrameLength stands for the frame's own length.
constexpr int FrameLength = std::numeric_limits<int>::min();

Decoded Decode(const QByteArray &bytes, int n = FrameLength, TCardInterface initial = {})
{
    std::array<std::uint8_t, kx::ReceiveBufferSize> buffer{};
    const int size = std::min<int>(bytes.size(), buffer.size());
    std::memcpy(buffer.data(), bytes.constData(), static_cast<std::size_t>(size));
    Decoded d;
    d.request = initial;
    d.status = DecodeRequest(buffer.data(), n == FrameLength ? size : n, d.command, d.request);
    return d;
}

QByteArray CardReply(const TCardInterface &card)
{
    std::array<std::uint8_t, kx::ReplyBufferSize> reply{};
    const int n = BuildCardReply(card, reply.data());
    return QByteArray(reinterpret_cast<const char *>(reply.data()), n);
}

struct ScreeningCase
{
    const char *name;
    QByteArray frame;
    int n;
    int status;
    int command;
};

class FrameScreening : public ::testing::TestWithParam<ScreeningCase>
{
};

TEST_P(FrameScreening, AcceptsOnlyStxCommandEtxFrames)
{
    const ScreeningCase &c = GetParam();
    const Decoded d = Decode(c.frame, c.n);
    EXPECT_EQ(d.status, c.status);
    EXPECT_EQ(d.command, c.command);
}

QByteArray FullBufferFrame()
{
    QByteArray frame = Frame('G', QByteArray(kx::ReceiveBufferSize - 7, 'x'));
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Codec, FrameScreening,
    ::testing::Values(
        ScreeningCase{"G_without_fields", Hex("02 00 00 00 00 47 03"), FrameLength, kx::DecodeAccepted, 'G'},
        ScreeningCase{"checkin", CheckInExample, FrameLength, kx::DecodeAccepted, 'I'},
        ScreeningCase{"checkout", Frame('B', "|R101"), FrameLength, kx::DecodeAccepted, 'B'},
        ScreeningCase{"read", Frame('E'), FrameLength, kx::DecodeAccepted, 'E'},
        ScreeningCase{"duplicate_key", Frame('C', "|R101"), FrameLength, kx::DecodeAccepted, 'C'},
        ScreeningCase{"one_shot_key", Frame('S', "|R101"), FrameLength, kx::DecodeAccepted, 'S'},
        ScreeningCase{"lower_case_s", Frame('s', "|R101"), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"lower_case_letter", Hex("02 00 00 00 00 69 03"), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"unknown_letter", Frame('X'), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"no_stx", Hex("01 00 00 00 00 47 03"), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"cut_short", CheckInExample.left(20), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"six_bytes_ending_in_etx", Hex("02 00 00 00 00 03"), FrameLength, kx::DecodeRejected,
                      0},
        ScreeningCase{"stx_etx_only", Hex("02 03"), FrameLength, kx::DecodeRejected, 0},
        ScreeningCase{"nothing_received", Hex("02 00 00 00 00 47 03"), 0, kx::DecodeRejected, 0},
        ScreeningCase{"receive_failed", Hex("02 00 00 00 00 47 03"), -1, kx::DecodeRejected, 0},
        ScreeningCase{"full_buffer", FullBufferFrame(), FrameLength, kx::DecodeAccepted, 'G'},
        // A count beyond the buffer is held to the buffer: the ETX at 1024 is the last byte.
        ScreeningCase{"count_past_buffer", FullBufferFrame(), 5000, kx::DecodeAccepted, 'G'}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Codec, DecodesTheCheckInExample)
{
    const Decoded d = Decode(CheckInExample);
    ASSERT_EQ(d.status, kx::DecodeAccepted);
    EXPECT_EQ(d.command, 'I');
    EXPECT_EQ(d.request.Room, QByteArray("101"));
    EXPECT_EQ(d.request.GuestName, QByteArray("Li"));
    EXPECT_DOUBLE_EQ(d.request.GuestInTime, At(2024, 5, 20, 14, 0));
    EXPECT_DOUBLE_EQ(d.request.GuestLeaveTime, At(2024, 5, 22, 12, 0));
}

TEST(Codec, RejectedFrameWritesNothing)
{
    TCardInterface initial{"old", 1.5, 2.5, "name"};
    QByteArray frame = CheckInExample;
    frame[5] = 'i';
    const Decoded d = Decode(frame, FrameLength, initial);
    EXPECT_EQ(d.command, 0);
    EXPECT_EQ(d.request.Room, QByteArray("old"));
    EXPECT_EQ(d.request.GuestName, QByteArray("name"));
    EXPECT_EQ(d.request.GuestInTime, 1.5);
}

struct TextCase
{
    const char *name;
    QByteArray fields;
    QByteArray room;
    QByteArray guestName;
};

class TextFields : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(TextFields, DecodeRoomAndName)
{
    const TextCase &c = GetParam();
    const Decoded d = Decode(Frame('I', c.fields), FrameLength, TCardInterface{"unset", 0, 0, "unset"});
    ASSERT_EQ(d.status, kx::DecodeAccepted);
    EXPECT_EQ(d.request.Room, c.room);
    EXPECT_EQ(d.request.GuestName, c.guestName);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, TextFields,
    ::testing::Values(TextCase{"last_field_stops_before_etx", "|N Zoe |R12", "12", " Zoe "},
                      TextCase{"tag_followed_by_separator_is_empty", "|R|NLi", "", "Li"},
                      TextCase{"missing_fields_stay_unset", "|NLi", "unset", "Li"},
                      TextCase{"separator_cuts_name_and_starts_a_tag", "|NAnn|Rose", "ose", "Ann"},
                      TextCase{"repeated_tag_joins_values", "|R1|R02", "102", "unset"},
                      TextCase{"unknown_tags_are_skipped", "|Xyz|R7", "7", "unset"},
                      TextCase{"bytes_pass_unchanged", QByteArray("|N\xC0\xE9\x00z", 6), "unset",
                               QByteArray("\xC0\xE9\x00z", 4)},
                      TextCase{"lone_separator_before_etx", "|R5|", "5", "unset"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Codec, SeparatorInHeaderStartsAField)
{
    const Decoded d = Decode(Hex("02 7C 52 39 00 47 03"));
    ASSERT_EQ(d.status, kx::DecodeAccepted);
    EXPECT_EQ(d.request.Room, QByteArray("9\x00G", 3));
}

TEST(Codec, DateFieldsTakeSixBytesWhereverTheFrameEnds)
{
    // Only three bytes before the ETX: the ETX is the hour, the cleared buffer the rest.
    Decoded d = Decode(Frame('I', Hex("7C 44 24 05 20")));
    EXPECT_DOUBLE_EQ(d.request.GuestInTime, At(2024, 5, 20, 3, 0));

    // A later occurrence overwrites the earlier one.
    d = Decode(Frame('I', Hex("7C 4F 24 05 20 14 00 00 7C 4F 25 01 02 03 04 05")));
    EXPECT_DOUBLE_EQ(d.request.GuestLeaveTime, At(2025, 1, 2, 3, 4, 5));
    EXPECT_EQ(d.request.GuestInTime, 0);
}

TEST(Codec, DateFieldAtTheEndOfTheBufferReadsZerosBeyondIt)
{
    // "|D" at 1022-1023, ETX at 1024: year 03, then zeros past the buffer,
    // so month 0 is out of range.
    QByteArray frame = Frame('G', QByteArray(kx::ReceiveBufferSize - 9, 'x') + "|D");
    ASSERT_EQ(frame.size(), kx::ReceiveBufferSize);
    try {
        Decode(frame);
        FAIL() << "no error raised";
    } catch (const kx::ConvertError &e) {
        EXPECT_EQ(e.text(), QStringLiteral("Invalid argument to date encode"));
    }
}

struct BadDateCase
{
    const char *name;
    QByteArray bytes; // the six bytes after "|D"
    const char *error;
};

class BadDates : public ::testing::TestWithParam<BadDateCase>
{
};

TEST_P(BadDates, RaiseTheConversionErrorAfterEarlierFieldsAreWritten)
{
    const BadDateCase &c = GetParam();
    TCardInterface request;
    int command = 0;
    std::array<std::uint8_t, kx::ReceiveBufferSize> buffer{};
    const QByteArray frame = Frame('I', "|R101|D" + c.bytes + "|NLi");
    std::memcpy(buffer.data(), frame.constData(), static_cast<std::size_t>(frame.size()));
    try {
        DecodeRequest(buffer.data(), static_cast<int>(frame.size()), command, request);
        FAIL() << "no error raised";
    } catch (const kx::ConvertError &e) {
        EXPECT_EQ(e.text().toStdString(), c.error);
    }
    EXPECT_EQ(request.Room, QByteArray("101"));
    EXPECT_TRUE(request.GuestName.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Codec, BadDates,
    ::testing::Values(
        BadDateCase{"year_nibble", Hex("1A 05 20 14 00 00"), "'201A' is not a valid integer value"},
        BadDateCase{"month_nibble", Hex("24 0B 20 14 00 00"), "'0B' is not a valid integer value"},
        BadDateCase{"second_nibble", Hex("24 05 20 14 00 F0"), "'F0' is not a valid integer value"},
        BadDateCase{"month_13", Hex("24 13 20 14 00 00"), "Invalid argument to date encode"},
        BadDateCase{"day_0", Hex("24 05 00 14 00 00"), "Invalid argument to date encode"},
        BadDateCase{"april_31", Hex("24 04 31 14 00 00"), "Invalid argument to date encode"},
        BadDateCase{"feb_29_2023", Hex("23 02 29 14 00 00"), "Invalid argument to date encode"},
        BadDateCase{"hour_24", Hex("24 05 20 24 00 00"), "Invalid argument to time encode"},
        BadDateCase{"minute_60", Hex("24 05 20 14 60 00"), "Invalid argument to time encode"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Codec, ResultReplyCarriesTheCodesLowByte)
{
    const std::pair<int, const char *> cases[] = {{0, "02 00 00 00 00 00 03"},
                                                  {17, "02 00 00 00 00 11 03"},
                                                  {18, "02 00 00 00 00 12 03"},
                                                  {255, "02 00 00 00 00 FF 03"},
                                                  {0x1FF, "02 00 00 00 00 FF 03"}};
    for (const auto &[code, expected] : cases) {
        std::array<std::uint8_t, kx::ReplyBufferSize> reply;
        reply.fill(0xEE);
        ASSERT_EQ(BuildResultReply(code, reply.data()), 7);
        EXPECT_EQ(ToHex(QByteArray(reinterpret_cast<const char *>(reply.data()), 7)), expected) << code;
        EXPECT_EQ(reply[7], 0xEE) << "wrote past the reply";
    }
}

TEST(Codec, CardReplyOfTheExampleCard)
{
    const TCardInterface card{"101", At(2024, 5, 20, 14, 0), At(2024, 5, 22, 12, 0), "Li"};
    const QByteArray reply = CardReply(card);
    EXPECT_EQ(ToHex(reply),
              ToHex(Hex("02 00 00 00 00 00 7C 52 31 30 31 7C 4E 4C 69 7C 44 24 05 20 14 00 00 7C "
                        "4F 24 05 22 12 00 00 03")));
    // The same bytes as the check-in request, but for the result position.
    QByteArray request = CheckInExample;
    request[5] = 0;
    EXPECT_EQ(reply, request);
}

TEST(Codec, CardReplyOfABlankCardIs29Bytes)
{
    const QByteArray reply = CardReply(TCardInterface{" ", 0, 0, " "});
    EXPECT_EQ(reply.size(), 29);
    // The unset date-time 1899-12-30 00:00:00 travels as 99 12 30 00 00 00.
    EXPECT_EQ(ToHex(reply.mid(14, 6)), "99 12 30 00 00 00");
    // A date-time outside any calendar goes out as the unset one.
    EXPECT_EQ(CardReply(TCardInterface{" ", std::nan(""), 1e300, " "}), reply);
    // So does one just past 9999 or before year 1, where the calendar ends.
    EXPECT_EQ(CardReply(TCardInterface{" ", 3e6, -7e5, " "}), reply);
}

TEST(Codec, CardReplyDropsTheCentury)
{
    const QByteArray reply =
        CardReply(TCardInterface{"1", At(2105, 3, 4, 5, 6, 7), At(2000, 1, 1, 0, 0), "a"});
    EXPECT_EQ(ToHex(reply.mid(14, 6)), "05 03 04 05 06 07");
    EXPECT_EQ(ToHex(reply.mid(22, 6)), "00 01 01 00 00 00");

    // Decoded again the year is 2005.
    QByteArray frame = Frame('E', "|D" + reply.mid(14, 6));
    EXPECT_DOUBLE_EQ(Decode(frame).request.GuestInTime, At(2005, 3, 4, 5, 6, 7));
}

TEST(Codec, CardReplyIsCutToTheReplyBuffer)
{
    struct Case
    {
        qsizetype room, name, keptRoom, keptName;
    };
    const Case cases[] = {{10, 997 - 10, 10, 987}, // just fits
                          {10, 2000, 10, 987},     // the name gives way
                          {2000, 5, 997, 0}};      // then the room
    for (const Case &c : cases) {
        std::array<std::uint8_t, kx::ReplyBufferSize> reply;
        reply.fill(0xEE);
        const TCardInterface card{QByteArray(c.room, '1'), 0, 0, QByteArray(c.name, 'n')};
        const int n = BuildCardReply(card, reply.data());
        const QByteArray bytes(reinterpret_cast<const char *>(reply.data()), n);
        EXPECT_EQ(n, 27 + c.keptRoom + c.keptName);
        EXPECT_LE(n, kx::MaxCardReplySize);
        EXPECT_EQ(reply[kx::ReplyBufferSize - 1], 0xEE) << "wrote past 1024 bytes";
        EXPECT_EQ(bytes.back(), '\x03');
        EXPECT_EQ(bytes.mid(8, c.keptRoom), QByteArray(c.keptRoom, '1'));
        EXPECT_EQ(bytes.mid(10 + c.keptRoom, c.keptName), QByteArray(c.keptName, 'n'));
        EXPECT_EQ(bytes.mid(10 + c.keptRoom + c.keptName, 2), QByteArray("|D"));
    }
}

} // namespace

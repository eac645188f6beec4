#include "frames.h"

#include "platform/datetime.h"

#include <gtest/gtest.h>

using namespace frontdesk;

namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s)
{
    return kx::EncodeDate(y, mo, d) + kx::EncodeTime(h, mi, s, 0);
}

TEST(FrontDeskFrames, BuildsRequestFramesAsTheFrontDeskSendsThem)
{
    TCardInterface request;
    request.Room = "101";
    request.GuestName = "Li";
    TDateTime start = 0, end = 0;
    QString error;
    ASSERT_TRUE(ParseFrameTime("2024-05-20 14:00:00", start, error));
    ASSERT_TRUE(ParseFrameTime("2024-05-22 12:00:00", end, error));
    request.GuestInTime = start;
    request.GuestLeaveTime = end;
    EXPECT_EQ(
        CheckInFrame(request).toHex(' '),
        QByteArray::fromHex("0200000000497c523130317c4e4c697c442405201400007c4f24052212000003").toHex(' '));
    EXPECT_EQ(CheckOutFrame("101").toHex(' '), QByteArray::fromHex("0200000000427c52313031 03").toHex(' '));
    // The key requests, as docs/frames.md gives them.
    EXPECT_EQ(DuplicateKeyFrame("101", std::nullopt, std::nullopt).toHex(' '),
              QByteArray::fromHex("0200000000437c52313031 03").toHex(' '));
    EXPECT_EQ(DuplicateKeyFrame("101", QByteArray("Wang"), At(2024, 5, 21, 10, 0, 0)).toHex(' '),
              QByteArray::fromHex("0200000000437c523130317c4e57616e677c4f24052110000003").toHex(' '));
    EXPECT_EQ(
        OneShotKeyFrame("101", At(2024, 5, 20, 15, 0, 0), At(2024, 5, 20, 16, 0, 0), std::nullopt).toHex(' '),
        QByteArray::fromHex("0200000000537c523130317c442405201500007c4f24052016000003").toHex(' '));
    EXPECT_EQ(CommandFrame('E').toHex(' '), QByteArray::fromHex("02000000004503").toHex(' '));
}

TEST(FrontDeskFrames, RefusesTimesAFrameCannotCarry)
{
    for (const char *text : {"2024-05-20", "2024-05-20 14:00", "1999-12-31 23:59:59", "2100-01-01 00:00:00",
                             "2024-02-30 10:00:00", "2024-05-20 24:00:00", "2024-05-20T14:00:00"}) {
        SCOPED_TRACE(text);
        TDateTime value = 7;
        QString error;
        EXPECT_FALSE(ParseFrameTime(text, value, error));
        EXPECT_TRUE(error.contains(text));
        EXPECT_EQ(value, 7);
    }
}

TEST(FrontDeskFrames, TellsWholeRepliesFromPartsOfThem)
{
    const QByteArray card =
        QByteArray::fromHex("0200000000007c523130317c4e4c697c442405201400007c4f24052212000003");
    EXPECT_EQ(ClassifyReply(QByteArray::fromHex("02000000001103")), ReplyState::Result);
    EXPECT_EQ(ClassifyReply(card), ReplyState::Card);
    // Every cut of a card reply is incomplete, also where a cut ends in a
    // date byte 0x03 (2024-03-03 03:03).
    const QByteArray march =
        QByteArray::fromHex("0200000000007c52337c4e417c442403030303007c4f24030303030003");
    for (const QByteArray &reply : {card, march}) {
        ASSERT_EQ(ClassifyReply(reply), ReplyState::Card);
        for (qsizetype n = 1; n < reply.size(); ++n)
            EXPECT_EQ(ClassifyReply(reply.left(n)), ReplyState::Incomplete) << n;
    }
    EXPECT_EQ(ClassifyReply(QByteArray::fromHex("03000000000003")), ReplyState::Unknown);
    // Longer than any card reply, though it ends like one: never parsed as a card.
    const QByteArray oversize = card.left(10) + QByteArray(1100, 'x') + card.right(22);
    EXPECT_EQ(ClassifyReply(oversize), ReplyState::Unknown);

    TCardInterface parsed;
    ASSERT_TRUE(ParseCardReply(card, parsed));
    EXPECT_EQ(parsed.Room, "101");
    EXPECT_EQ(parsed.GuestName, "Li");
    EXPECT_EQ(parsed.GuestInTime, At(2024, 5, 20, 14, 0, 0));
    EXPECT_EQ(parsed.GuestLeaveTime, At(2024, 5, 22, 12, 0, 0));
    EXPECT_EQ(DescribeReply(QByteArray::fromHex("02000000001203")), "result 18 rlInvalidroomnumber");
    EXPECT_EQ(DescribeReply(QByteArray::fromHex("02000000001303"), kx::ResultScope::KeyRequests),
              "result 19 rlroomnotoccupied");
}

} // namespace

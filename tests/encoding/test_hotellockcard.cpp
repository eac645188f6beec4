#include "cardtoolrun.h"
#include "common/tempfolder.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

namespace {

const QStringList ShowJson{QStringLiteral("show"), QStringLiteral("--json")};

TEST(HotelLockCard, EmptySlotIsReportedWithNonZeroExit)
{
    TempFolder folder;
    const CardToolRun text = RunCardTool({QStringLiteral("show")}, folder.path());
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(text.out.contains(QLatin1String("No card on the encoder"))) << qPrintable(text.out);

    const CardToolRun json = RunCardTool(ShowJson, folder.path());
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_EQ(json.json().value(QStringLiteral("present")), QJsonValue(false));
}

TEST(HotelLockCard, PlaceShowAndRemoveInTheCurrentFolderByDefault)
{
    TempFolder folder;
    ASSERT_EQ(RunCardTool({QStringLiteral("place")}, folder.path()).exitCode, 0);
    EXPECT_TRUE(QFile::exists(folder.file(QStringLiteral("encoder-card.bin"))));

    const CardToolRun shown = RunCardTool(ShowJson, folder.path());
    ASSERT_EQ(shown.exitCode, 0) << qPrintable(shown.err);
    const QJsonObject card = shown.json();
    EXPECT_EQ(card.value(QStringLiteral("present")), QJsonValue(true));
    static const QRegularExpression hex8(QStringLiteral("^[0-9A-F]{8}$"));
    EXPECT_TRUE(hex8.match(card.value(QStringLiteral("serial")).toString()).hasMatch());
    EXPECT_EQ(card.value(QStringLiteral("room")), QJsonValue(0));
    EXPECT_TRUE(card.value(QStringLiteral("start")).isNull());
    EXPECT_TRUE(card.value(QStringLiteral("end")).isNull());
    EXPECT_TRUE(card.value(QStringLiteral("commonDataSector")).isNull());

    EXPECT_EQ(RunCardTool({QStringLiteral("remove")}, folder.path()).exitCode, 0);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("encoder-card.bin"))));
    EXPECT_EQ(RunCardTool(ShowJson, folder.path()).exitCode, 1);
}

TEST(HotelLockCard, PlaceReplacesTheCardInTheSlotWithABlankOne)
{
    TempFolder folder;
    const QString ini =
        folder.write(QStringLiteral("station/Kandrilox.ini"), "[Encoder]\nCardFile=card.bin\n");
    const QStringList withIni{QStringLiteral("--ini"), ini};
    ASSERT_EQ(RunCardTool(withIni + QStringList{"place", "--serial", "aabbccdd"}, folder.path()).exitCode, 0);
    ASSERT_EQ(RunCardTool(withIni + QStringList{"place", "--serial", "00000001"}, folder.path()).exitCode, 0);
    EXPECT_TRUE(QFile::exists(folder.file(QStringLiteral("station/card.bin"))));
    const CardToolRun shown = RunCardTool(withIni + QStringList{"show"}, folder.path());
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_TRUE(shown.out.contains(QLatin1String("Card 00000001 (blank)"))) << qPrintable(shown.out);
    EXPECT_EQ(RunCardTool(withIni + ShowJson, folder.path()).json().value(QStringLiteral("serial")),
              QJsonValue(QStringLiteral("00000001")));
}

TEST(HotelLockCard, BadUsageFailsWithoutTouchingTheSlot)
{
    TempFolder folder;
    const QStringList cases[] = {
        {},
        {QStringLiteral("lay")},
        {QStringLiteral("--ini")},
        {QStringLiteral("place"), QStringLiteral("--serial")},
        {QStringLiteral("place"), QStringLiteral("--serial"), QStringLiteral("1234567")},
        {QStringLiteral("place"), QStringLiteral("--serial"), QStringLiteral("12345678 ")},
        {QStringLiteral("place"), QStringLiteral("--serial"), QStringLiteral("0x345678")},
        {QStringLiteral("place"), QStringLiteral("--serial"), QStringLiteral("1234567G")},
        {QStringLiteral("place"), QStringLiteral("--serial"),
         QStringLiteral("１２３４５６７８")}, // full-width
        {QStringLiteral("show"), QStringLiteral("--xml")},
        {QStringLiteral("remove"), QStringLiteral("now")},
    };
    for (const QStringList &args : cases) {
        const CardToolRun run = RunCardTool(args, folder.path());
        EXPECT_EQ(run.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(run.err.contains(QLatin1String("usage:"))) << qPrintable(run.err);
        EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("encoder-card.bin"))));
    }
}

} // namespace

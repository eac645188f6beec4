#include "common/tempfolder.h"
#include "platform/programfolder.h"
#include "platform/singleinstance.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(ProgramFolder, ResolvesEveryComponentWithoutRegardToCase)
{
    TempFolder dir;
    dir.write("Db/EncodeMsg.ini", "x");
    const ProgramFolder folder(dir.path());
    EXPECT_EQ(folder.Resolve("DB/encodemsg.INI"), dir.path() + "/Db/EncodeMsg.ini");
    EXPECT_EQ(folder.Resolve("db\\EncodeMsg.ini"), dir.path() + "/Db/EncodeMsg.ini");
    // A missing file keeps its spelling, inside the existing folder's.
    EXPECT_EQ(folder.Resolve("DB/Language.mdb"), dir.path() + "/Db/Language.mdb");
    EXPECT_EQ(folder.Resolve("pic/HLS.ICO"), dir.path() + "/pic/HLS.ICO");
    EXPECT_EQ(folder.SettingsPath(), dir.path() + "/Kandrilox.ini");
    dir.write("KANDRILOX.INI", "");
    EXPECT_EQ(folder.SettingsPath(), dir.path() + "/KANDRILOX.INI");
}

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstEnds)
{
    TempFolder dir;
    auto first = std::make_unique<SingleInstance>("Hotel lock system interface client", dir.path());
    ASSERT_TRUE(first->Acquire());
    SingleInstance second("Hotel lock system interface client", dir.path());
    EXPECT_FALSE(second.Acquire());
    first.reset();
    EXPECT_TRUE(second.Acquire());
}

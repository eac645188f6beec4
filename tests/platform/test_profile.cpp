#include "common/tempfolder.h"
#include "platform/errors.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(ProfileFile, MatchesSectionsAndKeysInAnyCase)
{
    TempFolder dir;
    const QString path = dir.write("a.ini", "[systeminfo]\r\nserverip = 10.0.0.5 \r\n[Other]\r\nServerIp=x\r\n");
    const ProfileFile ini(path);
    EXPECT_EQ(ini.ReadString("SystemInfo", "ServerIp", "d"), "10.0.0.5");
    EXPECT_EQ(ini.ReadString("SYSTEMINFO", "SERVERIP", "d"), "10.0.0.5");
    EXPECT_EQ(ini.ReadString("SystemInfo", "Missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("NoSection", "ServerIp", "d"), "d");
    EXPECT_EQ(ProfileFile(dir.file("none.ini")).ReadString("SystemInfo", "ServerIp", "d"), "d");
}

TEST(ProfileFile, ReadsIntegersInDecimalAndHexOrGivesTheDefault)
{
    const struct { const char *text; int expected; } cases[] = {
        {"16", 16},  {"-3", -3},    {"0x10", 16},   {"0X1f", 31}, {"$10", 16}, {"$FFFFFFFF", -1},
        {"ten", 1},  {"0x", 1},     {"", 1},        {"12abc", 1}, {"1.5", 1},  {"99999999999", 1},
    };
    TempFolder dir;
    for (const auto &c : cases) {
        const ProfileFile ini(dir.write("i.ini", QByteArray("[S]\nDayCount=") + c.text + "\n"));
        EXPECT_EQ(ini.ReadInteger("S", "DayCount", 1), c.expected) << c.text;
    }
}

TEST(ProfileFile, CutsLongValuesAt2047Characters)
{
    TempFolder dir;
    const ProfileFile ini(dir.write("l.ini", "[S]\nK=" + QByteArray(3000, 'a') + "\n"));
    EXPECT_EQ(ini.ReadString("S", "K", "").size(), 2047);
}

TEST(ProfileFile, ReadsTimesOrGivesTheDefault)
{
    TempFolder dir;
    const ProfileFile ini(dir.write("t.ini", "[S]\nA=7:30\nB=23:59:59\nC=noon\nD=25:00\nE=\n"));
    const TDateTime def = EncodeTime(13, 0, 0, 0);
    EXPECT_DOUBLE_EQ(ini.ReadTime("S", "A", def), EncodeTime(7, 30, 0, 0));
    EXPECT_DOUBLE_EQ(ini.ReadTime("S", "B", def), EncodeTime(23, 59, 59, 0));
    for (const char *key : {"C", "D", "E", "Missing"})
        EXPECT_DOUBLE_EQ(ini.ReadTime("S", key, def), def) << key;
}

TEST(ProfileFile, WriteChangesOneKeyAndKeepsTheRest)
{
    TempFolder dir;
    const QByteArray before = "; hotel settings\r\n[SystemInfo]\r\nHotelName=Sea View\r\nServerIp=10.0.0.5\r\n\r\n"
                              "[Config]\r\nLockType=3\r\n";
    const QString path = dir.write("k.ini", before);
    ProfileFile ini(path);
    ini.WriteString("systeminfo", "SERVERIP", "127.0.0.1");
    ini.WriteInteger("SystemInfo", "LocalServer", 1);
    ini.WriteString("Encoder", "Library", "libhotellock.so");
    EXPECT_EQ(dir.read("k.ini").toStdString(), "; hotel settings\r\n[SystemInfo]\r\nHotelName=Sea View\r\nServerIp=127.0.0.1\r\n"
                                 "LocalServer=1\r\n\r\n[Config]\r\nLockType=3\r\n[Encoder]\r\nLibrary=libhotellock.so\r\n");
    EXPECT_EQ(ProfileFile(path).ReadInteger("SystemInfo", "LocalServer", 0), 1);
}

TEST(ProfileFile, WriteCreatesAMissingFile)
{
    TempFolder dir;
    ProfileFile ini(dir.file("new.ini"));
    ini.WriteString("SystemInfo", "ServerIp", "");
    EXPECT_EQ(dir.read("new.ini").toStdString(), "[SystemInfo]\nServerIp=\n");
}

TEST(ProfileFile, FailedWriteRaisesUnableToWrite)
{
    TempFolder dir;
    const QString path = dir.file("no-such-folder/k.ini");
    ProfileFile ini(path);
    try {
        ini.WriteString("S", "K", "v");
        FAIL() << "write into a missing folder succeeded";
    } catch (const IniWriteError &e) {
        EXPECT_EQ(e.text(), "Unable to write to " + path);
    }
}

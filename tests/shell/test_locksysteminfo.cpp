#include "common/tempfolder.h"
#include "shell/locksysteminfo.h"

#include <gtest/gtest.h>

TEST(LoadLockSystemInfo, NoFileGivesTheDefaults)
{
    TempFolder dir;
    TLockSystemInfo info;
    info.ServerIp = "left over";
    LoadLockSystemInfo(info, dir.file("Kandrilox.ini"));
    EXPECT_EQ(info.DayCount, 1);
    EXPECT_DOUBLE_EQ(info.LeaveTime, kx::EncodeTime(13, 0, 0, 0));
    EXPECT_EQ(info.LanguageID, 1033);
    EXPECT_EQ(info.Recycle, 24);
    EXPECT_EQ(info.ServerIp, "");
    EXPECT_EQ(info.ServerPort, 2008);
    EXPECT_EQ(info.LocalServer, 1);
    EXPECT_EQ(info.HotelName, "");
    EXPECT_EQ(info.ConnType, 0);
    EXPECT_EQ(info.LockType, 0);
}

TEST(LoadLockSystemInfo, ReadsEachKeyFromItsSection)
{
    TempFolder dir;
    const QString path = dir.write("Kandrilox.ini", "[systeminfo]\n"
                                                    "hotelname=Sea View\n"
                                                    "DayCount=$10\n"
                                                    "LeaveTime=7:30\n"
                                                    "LanguageID=2052\n"
                                                    "serverip=10.0.0.5\n"
                                                    "RmtPort=3000\n"
                                                    "LocalServer=0\n"
                                                    "Gateway=10.0.0.1\n"
                                                    "LockType=9\n"
                                                    "[Config]\n"
                                                    "LockType=3\n"
                                                    "[Client Config]\n"
                                                    "ConnType=300\n"
                                                    "Recycle=0x1FF\n");
    TLockSystemInfo info;
    LoadLockSystemInfo(info, path);
    EXPECT_EQ(info.HotelName, "Sea View");
    EXPECT_EQ(info.DayCount, 16);
    EXPECT_DOUBLE_EQ(info.LeaveTime, kx::EncodeTime(7, 30, 0, 0));
    EXPECT_EQ(info.LanguageID, 2052);
    EXPECT_EQ(info.ServerIp, "10.0.0.5");
    EXPECT_EQ(info.ServerPort, 2008); // the record's port never comes from RmtPort
    EXPECT_EQ(info.LocalServer, 0);
    EXPECT_EQ(info.Gateway, "10.0.0.1");
    EXPECT_EQ(info.LockType, 3);  // from [Config], not [SystemInfo]
    EXPECT_EQ(info.ConnType, 44); // low 8 bits of 300
    EXPECT_EQ(info.Recycle, 0xFF);
}

#include "locksysteminfo.h"

#include "platform/profile.h"

TLockSystemInfo LockSystemInfo;

void LoadLockSystemInfo(TLockSystemInfo &info, const QString &settingsPath)
{
    const kx::ProfileFile ini(settingsPath);
    const QString sys = QStringLiteral("SystemInfo");
    const QString config = QStringLiteral("Config");
    const QString client = QStringLiteral("Client Config");
    auto integer = [&ini](const QString &section, const char *key, int def) {
        return ini.ReadInteger(section, QLatin1String(key), def);
    };
    auto text = [&ini, &sys](const char *key) { return ini.ReadString(sys, QLatin1String(key), QString()); };

    info.HotelName = text("HotelName");
    info.DayCount = integer(sys, "DayCount", 1);
    info.LeaveTime = ini.ReadTime(sys, QStringLiteral("LeaveTime"), kx::EncodeTime(13, 0, 0, 0));
    info.TimeTolerance = integer(sys, "TimeTolerance", 0);
    info.LanguageID = integer(sys, "LanguageID", 1033);
    info.ConnType = static_cast<std::uint8_t>(integer(client, "ConnType", 0) & 0xFF);
    info.Recycle = static_cast<std::uint8_t>(integer(client, "Recycle", 24) & 0xFF);
    info.LockType = integer(config, "LockType", 0);
    info.DataExtension = integer(sys, "DataExtension", 0);
    info.RoomExtension = integer(sys, "RoomExtension", 0);
    info.MoreGuestCards = integer(sys, "MoreGuestCards", 0);
    info.EncodeDirectly = integer(sys, "EncodeDirectly", 0);
    info.Lift = integer(sys, "Lift", 0);
    info.DeadboltOverride = integer(sys, "DeadboltOverride", 0);
    info.DoorAlarmSound = integer(sys, "DoorAlarmSound", 0);
    info.MotorInterval = integer(sys, "MotorInterval", 0);
    info.enNormalOPen = integer(sys, "enNormalOPen", 0);
    info.ServerIp = text("ServerIp");
    info.ServerPort = kx::FixedServerPort;
    info.LocalServer = integer(sys, "LocalServer", 1);
    info.DoorDelayTime = integer(sys, "DoorDelayTime", 0);
    info.DataSaveMode = integer(sys, "DataSaveMode", 0);
    info.HostilityBrushCard = integer(sys, "HostilityBrushCard", 0);
    info.OldIpAdress = text("OldIpAdress");
    info.Subnetmask = text("Subnetmask");
    info.Gateway = text("Gateway");
}

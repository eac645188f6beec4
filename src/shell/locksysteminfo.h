#pragma once

#include "platform/datetime.h"

#include <QString>
#include <cstdint>

// The system settings record, filled once at start-up from "Kandrilox.ini".
struct TLockSystemInfo
{
    QString HotelName;
    std::int32_t DayCount = 0;
    TDateTime LeaveTime = 0;
    std::int32_t TimeTolerance = 0;
    std::int32_t LanguageID = 0;
    std::uint8_t ConnType = 0;
    std::uint8_t Recycle = 0;
    std::int32_t LockType = 0;
    std::int32_t DataExtension = 0;
    std::int32_t RoomExtension = 0;
    std::int32_t MoreGuestCards = 0;
    std::int32_t EncodeDirectly = 0;
    std::int32_t Lift = 0;
    std::int32_t DeadboltOverride = 0;
    std::int32_t DoorAlarmSound = 0;
    std::int32_t MotorInterval = 0;
    std::int32_t enNormalOPen = 0;
    QString ServerIp;
    std::int32_t ServerPort = 0;
    std::int32_t LocalServer = 0;
    std::int32_t DoorDelayTime = 0;
    std::int32_t DataSaveMode = 0;
    std::int32_t HostilityBrushCard = 0;
    QString OldIpAdress;
    QString Subnetmask;
    QString Gateway;
};

// The one global record. Only the program's start-up writes it whole.
extern TLockSystemInfo LockSystemInfo;

// Fills info from the settings file at settingsPath; never fails.
void LoadLockSystemInfo(TLockSystemInfo &info, const QString &settingsPath);

namespace kx {
constexpr int FixedServerPort = 2008;
}

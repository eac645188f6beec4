#pragma once

#include "platform/datetime.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Frames written as hexadecimal byte lists ("02 00 00 00 00 47 03") and
// text pieces, for the codec and dispatcher tests.
namespace testframes {

inline QByteArray Hex(const char *bytes)
{
    return QByteArray::fromHex(QByteArray(bytes).replace(' ', ""));
}

inline std::string ToHex(const QByteArray &bytes)
{
    return bytes.toHex(' ').toUpper().toStdString();
}

// STX, four header bytes, the command letter, the fields, ETX.
inline QByteArray Frame(char command, const QByteArray &fields = QByteArray())
{
    return QByteArray("\x02\x00\x00\x00\x00", 5) + command + fields + '\x03';
}

inline TDateTime At(int year, int month, int day, int hour, int minute, int second = 0)
{
    return kx::EncodeDate(year, month, day) + kx::EncodeTime(hour, minute, second, 0);
}

// The check-in example: room 101, guest Li, 2024-05-20 14:00 to 2024-05-22 12:00.
inline const QByteArray CheckInExample =
    Hex("02 00 00 00 00 49 7C 52 31 30 31 7C 4E 4C 69 7C 44 24 05 20 14 00 00 "
        "7C 4F 24 05 22 12 00 00 03");

} // namespace testframes

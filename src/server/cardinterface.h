#pragma once

#include "platform/datetime.h"

#include <QByteArray>

// One request's or one card's data. Texts are bytes as they came off the
// wire (no code-page conversion); date-times are local.
struct TCardInterface
{
    QByteArray Room;
    TDateTime GuestInTime = 0;
    TDateTime GuestLeaveTime = 0;
    QByteArray GuestName;
};

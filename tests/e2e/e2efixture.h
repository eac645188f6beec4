#pragma once

#include "locksystem.h"

#include "frames.h"
#include "platform/datetime.h"

#include <gtest/gtest.h>

// One running system per test, with rooms 101 to 103 and a blank card on
// the encoder whose serial reads 78563412.
class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prepare();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(system.Start({QStringLiteral("101-103")})) << system.error().toStdString();
        ASSERT_EQ(
            system.Card({QStringLiteral("place"), QStringLiteral("--serial"), QStringLiteral("78563412")}),
            0);
    }

    // Runs before the system starts.
    virtual void Prepare() {}

    static TDateTime At(int y, int mo, int d, int h, int mi, int s)
    {
        return kx::EncodeDate(y, mo, d) + kx::EncodeTime(h, mi, s, 0);
    }

    // The stay every check-in here asks for: 2024-05-20 14:00:30 to 2024-05-22 12:00.
    static TCardInterface Stay(const QByteArray &room, const QByteArray &name = "Li")
    {
        TCardInterface request;
        request.Room = room;
        request.GuestName = name;
        request.GuestInTime = At(2024, 5, 20, 14, 0, 30);
        request.GuestLeaveTime = At(2024, 5, 22, 12, 0, 0);
        return request;
    }

    QByteArray CheckIn(const QByteArray &room, const QByteArray &name = "Li")
    {
        return system.Request(frontdesk::CheckInFrame(Stay(room, name)));
    }
    QByteArray CheckOut(const QByteArray &room) { return system.Request(frontdesk::CheckOutFrame(room)); }
    QByteArray Read() { return system.Request(frontdesk::CommandFrame('E')); }

    static QByteArray ResultReply(int code)
    {
        return QByteArray::fromHex("0200000000") + char(code) + '\x03';
    }

    int Count(const QString &table, const QString &where = QStringLiteral("1=1"))
    {
        return system.Rows(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table, where)).size();
    }

    LockSystem system;
};

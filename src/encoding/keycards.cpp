#include "cardservice.h"
#include "roomtext.h"

#include "platform/datetime.h"
#include "platform/errors.h"
#include "server/resulttext.h"
#include "store/dmrmt.h"

#include <QScopedValueRollback>

namespace kx {

namespace {

// A GuestInRecord date-time as the records store gives it.
TDateTime StayTime(const TClientDataSet &cds, const QString &column)
{
    const QString text = cds.FieldAsString(column);
    const QDateTime value = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!value.isValid())
        throw StoreError(QStringLiteral("The open stay has no valid %1: '%2'").arg(column, text));
    return FromQDateTime(value);
}

} // namespace

int CardService::FindOpenStay(const QByteArray &number, TCardInterface &stay)
{
    if (!RoomExists(number))
        return RoomNotFound;
    TClientDataSet &cds = m_store.cds_public;
    cds.Close();
    cds.SetCommandText(QStringLiteral("select top 1 * from GuestInRecord Where (enOverride=0) And(Room =%1)")
                           .arg(AnsiText(number)));
    cds.Open();
    if (cds.IsEmpty())
        return NoOpenStayCode;
    stay.Room = number;
    stay.GuestName = AnsiBytes(cds.FieldAsString(QStringLiteral("GuestName")));
    stay.GuestInTime = StayTime(cds, QStringLiteral("GuestInTime"));
    stay.GuestLeaveTime = StayTime(cds, QStringLiteral("GuestLeaveTime"));
    return 0;
}

int CardService::DuplicateKey(const TCardInterface &request)
{
    QByteArray number;
    if (!NormalizeRoomText(request.Room, number))
        return RoomNotFound;
    TCardInterface stay;
    if (const int r = FindOpenStay(number, stay); r != 0)
        return r;

    // A second card for the stay: the stay's period, or up to O, which may
    // not lie outside it; the holder given, or the stay's guest.
    TCardInterface card = stay;
    card.Room = request.Room;
    if (!request.GuestName.isEmpty())
        card.GuestName = request.GuestName;
    if (request.GuestLeaveTime != 0) {
        if (request.GuestLeaveTime > stay.GuestLeaveTime || request.GuestLeaveTime <= stay.GuestInTime)
            return InvalidKeyPeriodCode;
        card.GuestLeaveTime = request.GuestLeaveTime;
    }
    const QScopedValueRollback<int> key(m_keyCardType, GuestCardType); // for the journal
    if (const int r = CheckInCard(card); r != 0)
        return r;
    AppendCardRecord(card, GuestCardType);
    return 0;
}

int CardService::OneShotKey(const TCardInterface &request)
{
    // Any room of the hotel, occupied or not: the key opens no stay and
    // closes none, so it asks only whether the room exists (the occupancy
    // query would claim a free room for a check-in that never comes).
    QByteArray number;
    if (!NormalizeRoomText(request.Room, number) || !RoomExists(number))
        return RoomNotFound;
    if (request.GuestInTime == 0 || request.GuestLeaveTime <= request.GuestInTime)
        return InvalidKeyPeriodCode;
    const QScopedValueRollback<int> key(m_keyCardType, OneShotCardType); // for the journal
    if (const int r = CheckInCard(request); r != 0)
        return r;
    AppendCardRecord(request, OneShotCardType);
    return 0;
}

} // namespace kx

// Room claims: the occupancy query of a check-in claims a free room for the
// asking connection, so that a second connection asking at the same moment
// sees it occupied. The claim ends when the connection's guest record is
// stored, when the connection closes, or when it runs out. Below the claims, a
// unique index on the open stays of a room keeps every path, a station that
// skips the room check included, from storing a second open stay.

#include "sqlbackend.h"

#include "platform/errors.h"

#include <QSqlQuery>

namespace lockserver {

ClaimOutcome SqlBackend::ClaimRoom(qint64 room, const QString &owner, const QString &station, qint64 now,
                                   qint64 expires)
{
    ClaimOutcome outcome = ClaimOutcome::Occupied;
    // One writing transaction: the claim is a write, so a database that cannot
    // store anything (full disk, read-only file) fails here, before any card
    // is made.
    Transaction([&] {
        // A station checks in one room at a time: a claim its earlier
        // connection left (a lockserver that was killed) is its own.
        Run(QStringLiteral(
                "DELETE FROM RoomClaim WHERE Owner = ? OR (Station <> '' AND Station = COALESCE(?, '')) "
                "OR Expires <= ?"),
            {owner, station, now});
        if (Run(QStringLiteral("SELECT Room FROM GuestInRecord WHERE enOverride = 0 AND Room = ? LIMIT 1"),
                {room})
                .next())
            return true;
        if (!Run(QStringLiteral("SELECT room FROM roominfo WHERE room = ?"), {room}).next()) {
            outcome = ClaimOutcome::NoSuchRoom;
            return true;
        }
        const int inserted = Run(QStringLiteral("INSERT INTO RoomClaim (Room, Owner, Station, Expires) "
                                                "VALUES (?, ?, COALESCE(?, ''), ?) ON CONFLICT DO NOTHING"),
                                 {room, owner, station, expires})
                                 .numRowsAffected();
        outcome = inserted == 1 ? ClaimOutcome::Claimed : ClaimOutcome::Occupied;
        return true;
    });
    return outcome;
}

void SqlBackend::ReleaseClaims(const QString &owner)
{
    Run(QStringLiteral("DELETE FROM RoomClaim WHERE Owner = ?"), {owner});
}

int SqlBackend::OpenClaims(qint64 now)
{
    QSqlQuery q = Run(QStringLiteral("SELECT COUNT(*) FROM RoomClaim WHERE Expires > ?"), {now});
    return q.next() ? q.value(0).toInt() : 0;
}

void SqlBackend::CheckClaimsOfOthers(const FieldList &guestRow, const AppendContext &context)
{
    QJsonValue room;
    qint64 enOverride = 0;
    for (const auto &[name, value] : guestRow) {
        if (name.compare(QStringLiteral("Room"), Qt::CaseInsensitive) == 0)
            room = value;
        else if (name.compare(QStringLiteral("enOverride"), Qt::CaseInsensitive) == 0 && !value.isNull())
            enOverride = ToBound(GuestInRecordTable(), name, value).toLongLong();
    }
    if (enOverride != 0 || room.isNull() || room.isUndefined())
        return; // no open stay
    const QVariant number = ToBound(GuestInRecordTable(), QStringLiteral("Room"), room);
    if (Run(QStringLiteral("SELECT Owner FROM RoomClaim WHERE Room = ? AND Owner <> ? AND "
                           "(Station = '' OR Station <> COALESCE(?, '')) AND Expires > ? LIMIT 1"),
            {number, context.owner, context.station, context.now})
            .next())
        throw kx::Error(
            QStringLiteral("Room %1 is being checked in by another connection").arg(number.toLongLong()));
}

void SqlBackend::EnsureOneOpenStayPerRoom()
{
    m_roomsWithSeveralOpenStays.clear();
    QSqlQuery q = Run(QStringLiteral("SELECT Room FROM GuestInRecord WHERE enOverride = 0 GROUP BY Room "
                                     "HAVING COUNT(*) > 1 ORDER BY Room"));
    while (q.next())
        m_roomsWithSeveralOpenStays << q.value(0).toLongLong();
    if (!m_roomsWithSeveralOpenStays.isEmpty())
        return;
    Run(QStringLiteral(
        "CREATE UNIQUE INDEX IF NOT EXISTS GuestInRecord_one_open_stay ON GuestInRecord (Room) "
        "WHERE enOverride = 0"));
}

} // namespace lockserver

#pragma once

#include "schema.h"

#include <QString>
#include <optional>

namespace lockserver {

// The statements the card operations send, each recognised by its shape.
enum class StatementId {
    RoomExists,       // select top 1 room from roominfo Where (Room =N)
    RoomOccupied,     // select top 1 room from GuestInRecord Where (enOverride=0) And(Room =N)
    FirstCardRecord,  // select top 1 * from MakeCardRecord
    FirstGuestRecord, // select top 1 * from GuestInRecord
    CloseStays,       // Update GuestInRecord Set enOverride=1,LeaveTime='T' Where (Room =N)and(enOverride=0)
    RevokeCards,      // update MakeCardRecord set cardstatus=1,explain= 'Revoke time:T' Where (Room
                      // =N)and(cardstatus=0)
    ValidCardsOfRom,  // Select * From MakeCardRecord Where (cardstatus=0) And (Rom='HEX')
    OpenStay,         // select top 1 * from GuestInRecord Where (enOverride=0) And(Room =N)
};

// A recognised statement with its validated values.
struct Statement
{
    StatementId id;
    qint64 room = 0;
    QString text; // the date-time text or the Rom text, when the statement has one
};

// True for statements that return rows (open), false for those that change rows (execute).
bool ReturnsRows(StatementId id);
// The table a row-returning statement reads.
const TableDef &TableRead(StatementId id);

// The longest statement text recognised; the card operations' statements
// are far shorter.
constexpr qsizetype MaxStatementLength = 4096;

// Recognises sql in any letter case and with any spacing between its words,
// in time linear in its length. Gives nothing for a statement of another
// shape; raises kx::Error for a text over MaxStatementLength, a second
// statement in the text or a value that fails its check.
std::optional<Statement> Recognize(const QString &sql);

} // namespace lockserver

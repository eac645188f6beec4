#pragma once

#include "platform/programfolder.h"

#include <QString>

namespace kx {

// Code of a failure that has no key of its own.
constexpr int UnknownResultCode = 16;

// Codes that only the key requests (duplicate and one-shot key) give: a room
// with no open stay, and a key period that is no period or lies outside the
// stay. For the other requests they stay codes without a key of their own.
constexpr int NoOpenStayCode = 19;
constexpr int InvalidKeyPeriodCode = 20;

// Which requests' codes a lookup is for.
enum class ResultScope { StayRequests, KeyRequests };

// The profile key that names the text of a result code; codes without a key
// of their own (16, negative, above 18) give "rlUnKnown".
QString ResultKey(qint16 code, ResultScope scope = ResultScope::StayRequests);

// The text for a result code from "Db/EncodeMsg.ini" in the program folder,
// always section "1033". The file is read afresh on every call; a missing
// file, section or key gives the empty text.
QString GetResultText(const ProgramFolder &folder, qint16 code,
                      ResultScope scope = ResultScope::StayRequests);

} // namespace kx

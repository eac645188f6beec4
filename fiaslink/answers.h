#pragma once

#include <QByteArray>
#include <QString>

namespace kx {
class ProgramFolder;
}

namespace fias {

// Answer statuses (AS) of KA and KZ.
namespace status {
inline const QByteArray Ok = "OK";
inline const QByteArray Busy = "BY";
inline const QByteArray Retry = "RY";
inline const QByteArray NotFound = "NG";
inline const QByteArray Unprocessable = "UR";
} // namespace status

// The longest clear text (CT) a PMS shows.
constexpr int MaxClearText = 40;

// Whether the request letter is a duplicate or one-shot key, whose result
// codes 19 and 20 have meanings of their own.
bool IsKeyRequest(char command);

// The answer status for a station's result code, as docs/fias.md tabulates
// it; command is the request letter that was sent.
QByteArray AnswerStatus(int code, char command);

// A text cut to at most MaxClearText characters, at a word where it can be.
QByteArray ClearText(const QString &text);

// The station's result text for a code, from the result-text file in the
// program folder, as a clear text.
QByteArray ResultClearText(const kx::ProgramFolder &folder, int code, char command);

// fiaslink's own answers, for what never reached a station's result code.
namespace texts {
inline const QString NoStation = QStringLiteral("No station for this key coder");
inline const QString Unreachable = QStringLiteral("The key station cannot be reached");
inline const QString NoAnswer = QStringLiteral("The key station did not answer in time");
inline const QString Garbled = QStringLiteral("Unrecognised answer from the key station");
inline const QString Busy = QStringLiteral("The key coder is busy");
inline const QString KeyType = QStringLiteral("Key type not supported");
inline const QString KeyChange = QStringLiteral("Key changes need an online lock system");
inline const QString NoDeparture = QStringLiteral("Departure date missing or not valid");
inline const QString PastDeparture = QStringLiteral("The departure lies in the past");
inline const QString BlankCard = QStringLiteral("The card holds no key");
} // namespace texts

} // namespace fias

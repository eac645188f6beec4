#include "answers.h"

#include "server/codec.h"
#include "server/resulttext.h"

namespace fias {

namespace {

// Result codes whose answer status is not UR.
constexpr int Success = 0;
constexpr int NoCardOnEncoder = 1;     // rlCardPlace
constexpr int EncoderPortInUse = 11;   // rlPortUseingError
constexpr int RoomNumberNotFound = 18; // rlInvalidroomnumber

} // namespace

bool IsKeyRequest(char command)
{
    return command == kx::DuplicateKeyCommand || command == kx::OneShotKeyCommand;
}

QByteArray AnswerStatus(int code, char command)
{
    // A duplicate key for a room without a stay: the PMS's guest is not known here.
    if (IsKeyRequest(command) && code == kx::NoOpenStayCode)
        return status::NotFound;
    switch (code) {
    case Success: return status::Ok;
    case NoCardOnEncoder: return status::Retry;
    case EncoderPortInUse: return status::Busy;
    case RoomNumberNotFound: return status::NotFound;
    default: return status::Unprocessable;
    }
}

QByteArray ClearText(const QString &text)
{
    QString t = text.simplified();
    if (t.size() > MaxClearText) {
        const qsizetype space = t.lastIndexOf(QLatin1Char(' '), MaxClearText);
        t = t.left(space > MaxClearText / 2 ? space : MaxClearText);
        while (!t.isEmpty() && (t.back() == u':' || t.back() == u',' || t.back() == u';' || t.back() == u' '))
            t.chop(1);
    }
    // Result texts are in the system's 8-bit code page, byte for byte.
    return t.toLatin1();
}

QByteArray ResultClearText(const kx::ProgramFolder &folder, int code, char command)
{
    const kx::ResultScope scope =
        IsKeyRequest(command) ? kx::ResultScope::KeyRequests : kx::ResultScope::StayRequests;
    return ClearText(kx::GetResultText(folder, static_cast<qint16>(code), scope));
}

} // namespace fias

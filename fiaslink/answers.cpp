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

QByteArray AnswerStatus(int code, char command)
{
    Q_UNUSED(command);
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
    Q_UNUSED(command);
    return ClearText(kx::GetResultText(folder, static_cast<qint16>(code)));
}

} // namespace fias

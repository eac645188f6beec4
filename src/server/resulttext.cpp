#include "resulttext.h"

#include "platform/profile.h"

#include <array>

namespace kx {

namespace {

const QString UnknownKey = QStringLiteral("rlUnKnown");

// Index = result code.
const std::array<QString, 19> ResultKeys = {
    QStringLiteral("rlOK"),
    QStringLiteral("rlCardPlace"),
    QStringLiteral("rlMakeCardMachineConn"),
    QStringLiteral("rlCardUseForSys"),
    QStringLiteral("rlCardTypeError"),
    QStringLiteral("rlReadWriteError"),
    QStringLiteral("rlComProtOpenError"),
    QStringLiteral("rlDataCardReadOver"),
    QStringLiteral("rlParameterInvalid"),
    QStringLiteral("rlNonSupportDoing"),
    QStringLiteral("rlOtherError"),
    QStringLiteral("rlPortUseingError"),
    QStringLiteral("rlCorrespondenceError"),
    QStringLiteral("rlCardNotEmpty"),
    QStringLiteral("rlPassError"),
    QStringLiteral("rlOperationFailure"),
    UnknownKey,
    QStringLiteral("rlroomisoccupied"),
    QStringLiteral("rlInvalidroomnumber"),
};

// Result texts are always English (United States), whatever language the
// settings choose for the windows.
const QString ResultSection = QStringLiteral("1033");
const QString ResultFile = QStringLiteral("Db/EncodeMsg.ini");

} // namespace

QString ResultKey(qint16 code, ResultScope scope)
{
    if (scope == ResultScope::KeyRequests && code == NoOpenStayCode)
        return QStringLiteral("rlroomnotoccupied");
    if (scope == ResultScope::KeyRequests && code == InvalidKeyPeriodCode)
        return QStringLiteral("rlInvalidkeyperiod");
    if (code < 0 || code >= static_cast<int>(ResultKeys.size()))
        return UnknownKey;
    return ResultKeys[static_cast<std::size_t>(code)];
}

QString GetResultText(const ProgramFolder &folder, qint16 code, ResultScope scope)
{
    const ProfileFile file(folder.Resolve(ResultFile));
    return file.ReadString(ResultSection, ResultKey(code, scope), QString());
}

} // namespace kx

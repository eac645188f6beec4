#include "frames.h"

#include "platform/datetime.h"
#include "platform/errors.h"
#include "server/codec.h"
#include "server/resulttext.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdint>

namespace frontdesk {

namespace {

constexpr char FieldSeparator = '|';
// A card reply ends with "|D", six date bytes, "|O", six date bytes and ETX.
constexpr int CardReplyTail = 17;
constexpr int MinCardReplySize = 27;

QByteArray FrameHead(char command)
{
    QByteArray frame(6, '\0');
    frame[0] = char(kx::STX);
    frame[5] = command;
    return frame;
}

void AddText(QByteArray &frame, char tag, const QByteArray &value)
{
    frame += FieldSeparator;
    frame += tag;
    frame += value;
}

void AddTime(QByteArray &frame, char tag, TDateTime value)
{
    std::uint8_t bcd[6];
    PutBcdDateTime(bcd, value);
    frame += FieldSeparator;
    frame += tag;
    frame += QByteArray(reinterpret_cast<const char *>(bcd), sizeof bcd);
}

} // namespace

bool ParseFrameTime(const QString &text, TDateTime &value, QString &error)
{
    static const QRegularExpression shape(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch()) {
        error = QStringLiteral("'%1' is not a time of the form yyyy-mm-dd hh:nn:ss").arg(text);
        return false;
    }
    const int year = m.captured(1).toInt();
    if (year < 2000 || year > 2099) {
        error = QStringLiteral("'%1': a frame carries only the years 2000 to 2099").arg(text);
        return false;
    }
    try {
        const TDateTime date = kx::EncodeDate(year, m.captured(2).toInt(), m.captured(3).toInt());
        value = date + kx::EncodeTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), 0);
    } catch (const kx::ConvertError &e) {
        error = QStringLiteral("'%1': %2").arg(text, e.text());
        return false;
    }
    return true;
}

QByteArray CheckInFrame(const TCardInterface &request)
{
    // A check-in frame has the card reply's fields in the same order (R, N,
    // D, O); only byte 5 differs, the command letter in place of result 0.
    QByteArray frame(kx::ReplyBufferSize, '\0');
    auto *bytes = reinterpret_cast<std::uint8_t *>(frame.data());
    frame.truncate(BuildCardReply(request, bytes));
    frame[5] = kx::CheckInCommand;
    return frame;
}

QByteArray CheckOutFrame(const QByteArray &room)
{
    QByteArray frame = FrameHead(kx::CheckOutCommand);
    AddText(frame, 'R', room);
    return frame + char(kx::ETX);
}

QByteArray DuplicateKeyFrame(const QByteArray &room, const std::optional<QByteArray> &holder,
                             std::optional<TDateTime> end)
{
    QByteArray frame = FrameHead(kx::DuplicateKeyCommand);
    AddText(frame, 'R', room);
    if (holder)
        AddText(frame, 'N', *holder);
    if (end)
        AddTime(frame, 'O', *end);
    return frame + char(kx::ETX);
}

QByteArray OneShotKeyFrame(const QByteArray &room, TDateTime start, TDateTime end,
                           const std::optional<QByteArray> &holder)
{
    QByteArray frame = FrameHead(kx::OneShotKeyCommand);
    AddText(frame, 'R', room);
    if (holder)
        AddText(frame, 'N', *holder);
    AddTime(frame, 'D', start);
    AddTime(frame, 'O', end);
    return frame + char(kx::ETX);
}

QByteArray CommandFrame(char command)
{
    return FrameHead(command) + char(kx::ETX);
}

ReplyState ClassifyReply(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return ReplyState::Incomplete;
    if (std::uint8_t(bytes[0]) != kx::STX)
        return ReplyState::Unknown;
    if (bytes.size() < kx::ResultReplySize)
        return ReplyState::Incomplete;
    if (std::uint8_t(bytes[6]) == kx::ETX)
        return ReplyState::Result;
    if (bytes[5] != '\0' || bytes[6] != FieldSeparator)
        return ReplyState::Unknown;
    const qsizetype n = bytes.size();
    if (n > kx::MaxCardReplySize)
        return ReplyState::Unknown;
    if (n >= MinCardReplySize && std::uint8_t(bytes[n - 1]) == kx::ETX && bytes[n - 9] == FieldSeparator &&
        bytes[n - 8] == 'O' && bytes[n - CardReplyTail] == FieldSeparator && bytes[n - 16] == 'D')
        return ReplyState::Card;
    return ReplyState::Incomplete;
}

int ResultCode(const QByteArray &reply)
{
    return std::uint8_t(reply.at(5));
}

bool ParseCardReply(const QByteArray &reply, TCardInterface &card)
{
    if (ClassifyReply(reply) != ReplyState::Card)
        return false;
    // The card reply is laid out as a request frame whose command byte is 0:
    // with a command letter in its place the request decoder reads its fields.
    std::uint8_t buffer[kx::ReceiveBufferSize] = {};
    std::copy(reply.cbegin(), reply.cend(), buffer);
    buffer[5] = 'E';
    int command = 0;
    TCardInterface decoded;
    try {
        if (DecodeRequest(buffer, int(reply.size()), command, decoded) != kx::DecodeAccepted)
            return false;
    } catch (const kx::Error &) {
        return false; // a date byte that is no BCD date
    }
    card = decoded;
    return true;
}

QByteArray DescribeReply(const QByteArray &reply, kx::ResultScope scope)
{
    TCardInterface card;
    switch (ClassifyReply(reply)) {
    case ReplyState::Result: {
        const int code = ResultCode(reply);
        return QStringLiteral("result %1 %2").arg(code).arg(kx::ResultKey(qint16(code), scope)).toLatin1();
    }
    case ReplyState::Card:
        if (ParseCardReply(reply, card))
            return "room " + card.Room + "\nholder " + card.GuestName + "\nstart " +
                   kx::FormatDateTime(card.GuestInTime).toLatin1() + "\nend " +
                   kx::FormatDateTime(card.GuestLeaveTime).toLatin1();
        break;
    case ReplyState::Incomplete:
    case ReplyState::Unknown: break;
    }
    return "unrecognised reply: " + reply.toHex(' ');
}

} // namespace frontdesk

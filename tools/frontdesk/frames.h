#pragma once

#include "server/cardinterface.h"
#include "server/resulttext.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The front desk's side of the frames: request frames to send, and the two
// kinds of reply to recognise and print.
namespace frontdesk {

// "yyyy-mm-dd hh:nn:ss" to a date-time. A frame carries the year as two BCD
// digits, so only 2000-2099 can be sent; anything else gives false with a
// reason in error.
bool ParseFrameTime(const QString &text, TDateTime &value, QString &error);

QByteArray CheckInFrame(const TCardInterface &request);
QByteArray CheckOutFrame(const QByteArray &room);
QByteArray CommandFrame(char command); // no fields: read ('E') and 'G'
// Duplicate key ('C'): N and O only when given.
QByteArray DuplicateKeyFrame(const QByteArray &room, const std::optional<QByteArray> &holder,
                             std::optional<TDateTime> end);
// One-shot key ('S'): N only when given.
QByteArray OneShotKeyFrame(const QByteArray &room, TDateTime start, TDateTime end,
                           const std::optional<QByteArray> &holder);

enum class ReplyState {
    Incomplete, // more bytes may still come
    Result,     // a 7-byte result reply
    Card,       // a card reply
    Unknown     // bytes that fit neither reply
};
ReplyState ClassifyReply(const QByteArray &bytes);

// The result code of a result reply (its byte 5).
int ResultCode(const QByteArray &reply);
// Room, holder and period of a complete card reply; false when it is none.
bool ParseCardReply(const QByteArray &reply, TCardInterface &card);

// The reply in words: "result 17 rlroomisoccupied", or the card's room,
// holder, start and end on four lines. Room and holder are the reply's own
// bytes; scope names the request the reply answers (the key requests' codes
// 19 and 20 have keys of their own).
QByteArray DescribeReply(const QByteArray &reply, kx::ResultScope scope = kx::ResultScope::StayRequests);

} // namespace frontdesk

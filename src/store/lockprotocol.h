#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Framing of the lockserver protocol, shared by the client (TSocketConnection)
// and the lockserver: each message is a 4-byte big-endian length followed by
// that many bytes of one UTF-8 JSON object.
namespace kx::lockprotocol {

// 2: a request may carry "ifPreviousOk":true, which the server skips when the
// request before it on the connection was refused (docs/lockserver-protocol.md).
constexpr int ProtocolVersion = 2;
// The first version whose server takes such requests, so that a client may
// send one together with the request it depends on.
constexpr int PipeliningVersion = 2;
// The key of a request that runs only when the one before it succeeded.
inline const QString IfPreviousOkKey = QStringLiteral("ifPreviousOk");
// The CardType of the guest card a check-in records. The server holds such a
// card record for a claimed room until the guest record of the same check-in.
constexpr int GuestCardType = 4;
constexpr qsizetype HeaderSize = 4;
// The largest message body either side accepts.
constexpr quint32 MaxMessageSize = 1024 * 1024;

// The length header followed by the compact JSON text.
QByteArray EncodeMessage(const QJsonObject &message);

enum class FrameStatus {
    Incomplete, // wait for more bytes
    Complete,   // message filled in, its bytes taken from the buffer
    Oversize,   // the announced length exceeds MaxMessageSize
    Malformed   // the body is no JSON object; its bytes were taken from the buffer
};

// Takes one message from the front of buffer when it is all there. On
// Oversize and Malformed, error says what was wrong.
FrameStatus TakeMessage(QByteArray &buffer, QJsonObject &message, QString &error);

// "Message of N bytes exceeds the limit of 1048576 bytes"
QString OversizeText(quint64 size);

// Answers: {"ok":true, ...} or {"ok":false,"error":text}.
QJsonObject ErrorReply(const QString &text);
// The answer to a request skipped because the one before it was refused.
QJsonObject SkippedReply();

} // namespace kx::lockprotocol

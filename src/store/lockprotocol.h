#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Framing of the lockserver protocol, shared by the client (TSocketConnection)
// and the lockserver: each message is a 4-byte big-endian length followed by
// that many bytes of one UTF-8 JSON object.
namespace kx::lockprotocol {

constexpr int ProtocolVersion = 1;
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

} // namespace kx::lockprotocol

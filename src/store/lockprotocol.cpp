#include "lockprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QtEndian>

namespace kx::lockprotocol {

QByteArray EncodeMessage(const QJsonObject &message)
{
    const QByteArray body = QJsonDocument(message).toJson(QJsonDocument::Compact);
    QByteArray frame(HeaderSize, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), frame.data());
    frame.append(body);
    return frame;
}

FrameStatus TakeMessage(QByteArray &buffer, QJsonObject &message, QString &error)
{
    if (buffer.size() < HeaderSize)
        return FrameStatus::Incomplete;
    const quint32 size = qFromBigEndian<quint32>(buffer.constData());
    if (size > MaxMessageSize) {
        error = OversizeText(size);
        return FrameStatus::Oversize;
    }
    if (buffer.size() - HeaderSize < qsizetype(size))
        return FrameStatus::Incomplete;

    const QByteArray body = buffer.mid(HeaderSize, size);
    buffer.remove(0, HeaderSize + size);
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("Message is not valid JSON: %1 at offset %2")
                    .arg(parseError.errorString())
                    .arg(parseError.offset);
        return FrameStatus::Malformed;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("Message is not a JSON object");
        return FrameStatus::Malformed;
    }
    message = doc.object();
    return FrameStatus::Complete;
}

QString OversizeText(quint64 size)
{
    return QStringLiteral("Message of %1 bytes exceeds the limit of %2 bytes").arg(size).arg(MaxMessageSize);
}

QJsonObject ErrorReply(const QString &text)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

QJsonObject SkippedReply()
{
    QJsonObject reply =
        ErrorReply(QStringLiteral("Not run: the request before it on this connection was refused"));
    reply.insert(QStringLiteral("skipped"), true);
    return reply;
}

} // namespace kx::lockprotocol

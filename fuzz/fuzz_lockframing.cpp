// libFuzzer target for the lockserver message framing: any bytes, fed in any
// pieces, must give whole messages, a refusal or a wait for more, and every
// message taken must come back unchanged through its own encoding.
#include "store/lockprotocol.h"

#include <QJsonDocument>

#include <cstdlib>

namespace proto = kx::lockprotocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses the size of the pieces the bytes arrive in.
    if (size < 1)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    ++data;
    --size;

    QByteArray buffer;
    for (std::size_t at = 0; at < size; at += piece) {
        buffer.append(reinterpret_cast<const char *>(data + at), qsizetype(std::min(piece, size - at)));
        for (;;) {
            const qsizetype before = buffer.size();
            QJsonObject message;
            QString error;
            const proto::FrameStatus status = proto::TakeMessage(buffer, message, error);
            if (status == proto::FrameStatus::Incomplete) {
                if (buffer.size() != before)
                    std::abort(); // waiting must not take bytes
                break;
            }
            if (status == proto::FrameStatus::Oversize) {
                if (error.isEmpty() || buffer.size() != before)
                    std::abort();
                return 0; // the connection ends here
            }
            if (buffer.size() >= before)
                std::abort(); // a message or a malformed body is taken off the buffer
            if (status == proto::FrameStatus::Malformed) {
                if (error.isEmpty())
                    std::abort();
                continue;
            }
            QByteArray again = proto::EncodeMessage(message);
            QJsonObject decoded;
            if (proto::TakeMessage(again, decoded, error) != proto::FrameStatus::Complete ||
                decoded != message || !again.isEmpty())
                std::abort();
        }
    }
    return 0;
}

// libFuzzer target for the request decoder: any bytes, any count, must give
// a verdict or a conversion error, and never touch memory outside the
// 1025-byte receive buffer.
#include "platform/errors.h"
#include "server/codec.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first two bytes choose the count handed to the decoder, so that
    // counts past the data, zero and negative ones are tried as well; the
    // rest is the received bytes.
    if (size < 2)
        return 0;
    const int n = static_cast<std::int16_t>(data[0] | data[1] << 8);
    data += 2;
    size -= 2;

    // An exactly sized heap buffer, so that AddressSanitizer sees any read
    // past its end. Bytes not received stay zero, like the cleared buffer.
    auto buffer = std::make_unique<std::uint8_t[]>(kx::ReceiveBufferSize);
    std::memset(buffer.get(), 0, kx::ReceiveBufferSize);
    std::memcpy(buffer.get(), data, std::min<std::size_t>(size, kx::ReceiveBufferSize));

    int command = 0;
    TCardInterface request;
    try {
        const int status = DecodeRequest(buffer.get(), n, command, request);
        if (status == kx::DecodeRejected && command != 0)
            std::abort(); // a rejected frame must leave the command alone
        if (status == kx::DecodeAccepted && command != 'B' && command != 'E' && command != 'G' &&
            command != 'I' && command != 'C' && command != 'S')
            std::abort();
    } catch (const kx::ConvertError &) {
        // Bad date/time fields are reported by raising; nothing else may escape.
    }

    // Whatever was decoded must go back out within the reply buffer.
    auto reply = std::make_unique<std::uint8_t[]>(kx::ReplyBufferSize);
    const int length = BuildCardReply(request, reply.get());
    if (length < 27 || length > kx::MaxCardReplySize)
        std::abort();
    return 0;
}

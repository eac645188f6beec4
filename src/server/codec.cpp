#include "codec.h"

#include "platform/datetime.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr std::uint8_t FieldSeparator = '|';
constexpr int CommandPosition = 5;

bool IsCommandLetter(std::uint8_t c)
{
    switch (c) {
    case kx::CheckInCommand:
    case kx::CheckOutCommand:
    case kx::ReadCardCommand:
    case kx::GCommand:
    case kx::DuplicateKeyCommand:
    case kx::OneShotKeyCommand: return true;
    default: return false;
    }
}

// The received frame: bytes 0..n-1 of the receive buffer. Anything past the
// received bytes reads as 0, as it would from the cleared buffer, so no
// position can reach outside the buffer whatever the frame holds.
class Frame
{
public:
    Frame(const std::uint8_t *bytes, int n) : m_bytes(bytes), m_size(n) {}

    int size() const { return m_size; }
    const std::uint8_t *data() const { return m_bytes; }
    std::uint8_t at(int p) const { return p >= 0 && p < m_size ? m_bytes[p] : 0; }

    // The first separator at or after p and before end, or end when there is none
    // (also for p past end).
    int NextSeparator(int p, int end) const
    {
        // Fields are short: look at a few bytes before handing a long run to memchr.
        const int near = std::min(end, p + 8);
        for (; p < near; ++p) {
            if (m_bytes[p] == FieldSeparator)
                return p;
        }
        if (p >= end)
            return end;
        const void *found = std::memchr(m_bytes + p, FieldSeparator, static_cast<std::size_t>(end - p));
        return found ? static_cast<int>(static_cast<const std::uint8_t *>(found) - m_bytes) : end;
    }

private:
    const std::uint8_t *m_bytes;
    int m_size;
};

// Sets text to count bytes from bytes, or appends them. The text keeps its
// capacity, so a record that is decoded into again needs no new memory.
void PutText(QByteArray &text, const std::uint8_t *bytes, int count, bool append)
{
    const qsizetype at = append ? text.size() : 0;
    text.resize(at + count);
    if (count > 0)
        std::memcpy(text.data() + at, bytes, static_cast<std::size_t>(count));
}

// One packed-BCD byte as a number. A byte with a nibble above 9 goes
// through the decimal conversion of its hexadecimal text (after prefix:
// "20" for a year), which raises the platform's conversion error naming it.
int BcdValue(std::uint8_t b, QLatin1StringView prefix = {})
{
    const int tens = b >> 4;
    const int units = b & 0x0F;
    if (tens <= 9 && units <= 9)
        return tens * 10 + units;
    const QString text = prefix + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return kx::StrToInt(text) % 100;
}

// Six packed-BCD bytes yy mm dd hh nn ss into a date-time; out-of-range
// parts raise the date or time encode error.
TDateTime DecodeBcdDateTime(const Frame &frame, int p)
{
    // The six bytes as one word, byte i in bits 8i..8i+7.
    std::uint64_t word = 0;
    if (std::endian::native == std::endian::little && p >= 0 && p + 8 <= frame.size()) {
        std::memcpy(&word, frame.data() + p, sizeof word);
        word &= 0xFFFFFFFFFFFFULL;
    } else {
        for (int i = 0; i < 6; ++i)
            word |= std::uint64_t(frame.at(p + i)) << (8 * i);
    }
    const auto byte = [word](int i) { return static_cast<std::uint8_t>(word >> (8 * i)); };
    // All twelve nibbles at once: a nibble is a decimal digit when adding 6
    // carries nothing out of it.
    constexpr std::uint64_t Nibbles = 0x0F0F0F0F0F0F0F0FULL;
    constexpr std::uint64_t Sixes = 0x0606060606060606ULL;
    const std::uint64_t high = (word >> 4) & Nibbles;
    const std::uint64_t low = word & Nibbles;
    if ((((high + Sixes) | (low + Sixes)) & ~Nibbles) == 0) {
        // Each byte becomes tens * 10 + units, at most 99: no byte overflows.
        const std::uint64_t values = (high << 3) + (high << 1) + low;
        const auto part = [values](int i) { return static_cast<int>((values >> (8 * i)) & 0xFF); };
        return kx::EncodeDate(2000 + part(0), part(1), part(2)) +
               kx::EncodeTime(part(3), part(4), part(5), 0);
    }
    // Byte by byte, so that the first bad byte is the one named.
    int parts[6];
    parts[0] = BcdValue(byte(0), QLatin1StringView("20"));
    for (int i = 1; i < 6; ++i)
        parts[i] = BcdValue(byte(i));
    return kx::EncodeDate(2000 + parts[0], parts[1], parts[2]) +
           kx::EncodeTime(parts[3], parts[4], parts[5], 0);
}

// Two decimal digits written as one hexadecimal byte: 24 -> 0x24.
constexpr std::array<std::uint8_t, 100> BcdBytes = [] {
    std::array<std::uint8_t, 100> bytes{};
    for (int v = 0; v < 100; ++v)
        bytes[v] = static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
    return bytes;
}();

// Only the last two digits travel; the parts of a decoded date-time are never negative.
std::uint8_t ToBcd(int value)
{
    return BcdBytes[static_cast<unsigned>(value) % 100];
}

std::uint8_t *PutBytes(std::uint8_t *out, const QByteArray &bytes, qsizetype count)
{
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(count));
    return out + count;
}

} // namespace

std::uint8_t *PutBcdDateTime(std::uint8_t *out, TDateTime value)
{
    kx::DateParts date;
    kx::TimeParts time;
    kx::DecodeDateTime(value, date, time);
    // A value with no calendar date (not a number, past 9999, before year 1)
    // travels as the unset date-time.
    if (date.year == 0)
        return PutBcdDateTime(out, 0);
    *out++ = ToBcd(date.year);
    *out++ = ToBcd(date.month);
    *out++ = ToBcd(date.day);
    *out++ = ToBcd(time.hour);
    *out++ = ToBcd(time.minute);
    *out++ = ToBcd(time.second);
    return out;
}

int DecodeRequest(const std::uint8_t *buffer, int n, int &command, TCardInterface &request)
{
    if (buffer == nullptr || n <= 0)
        return kx::DecodeRejected;
    const Frame frame(buffer, std::min(n, kx::ReceiveBufferSize));
    const int last = frame.size() - 1;

    if (frame.at(0) != kx::STX || frame.at(last) != kx::ETX)
        return kx::DecodeRejected;
    const std::uint8_t letter = frame.at(CommandPosition);
    if (!IsCommandLetter(letter))
        return kx::DecodeRejected;
    command = letter;

    // Fields start right after a separator: jump from one to the next. The
    // separator at q starts a field at q + 1 unless another separator follows.
    // A text runs up to the next separator, and a date that decodes holds only
    // decimal digits, never a separator: the search goes on after them.
    // A tag that occurs twice gives both values joined, so each text collects
    // over the whole scan.
    bool haveRoom = false;
    bool haveName = false;
    for (int q = frame.NextSeparator(0, last); q < last;) {
        const int p = q + 1;
        const std::uint8_t tag = frame.at(p);
        switch (tag) {
        case 'R':
        case 'N': {
            // The value runs up to the next separator or the ETX position.
            const int end = frame.NextSeparator(p + 1, last);
            const int count = std::max(0, end - (p + 1));
            bool &seen = tag == 'R' ? haveRoom : haveName;
            PutText(tag == 'R' ? request.Room : request.GuestName, frame.data() + p + 1, count, seen);
            seen = true;
            q = end;
            continue;
        }
        case 'D':
        case 'O':
            (tag == 'D' ? request.GuestInTime : request.GuestLeaveTime) = DecodeBcdDateTime(frame, p + 1);
            q = frame.NextSeparator(p + 7, last);
            continue;
        default: q = frame.NextSeparator(q + 1, last); continue;
        }
    }
    return kx::DecodeAccepted;
}

int BuildResultReply(int code, std::uint8_t *reply)
{
    const std::uint8_t bytes[kx::ResultReplySize] = {
        kx::STX, 0, 0, 0, 0, static_cast<std::uint8_t>(code & 0xFF), kx::ETX};
    std::memcpy(reply, bytes, sizeof bytes);
    return kx::ResultReplySize;
}

int BuildCardReply(const TCardInterface &card, std::uint8_t *reply)
{
    constexpr qsizetype FixedBytes = 27;
    constexpr qsizetype MaxTextBytes = kx::MaxCardReplySize - FixedBytes;

    // Keep within the reply buffer: the name gives way first, then the room.
    const qsizetype roomBytes = std::min(card.Room.size(), MaxTextBytes);
    const qsizetype nameBytes = std::min(card.GuestName.size(), MaxTextBytes - roomBytes);

    std::uint8_t *out = reply;
    *out++ = kx::STX;
    for (int i = 0; i < 5; ++i)
        *out++ = 0;
    *out++ = FieldSeparator;
    *out++ = 'R';
    out = PutBytes(out, card.Room, roomBytes);
    *out++ = FieldSeparator;
    *out++ = 'N';
    out = PutBytes(out, card.GuestName, nameBytes);
    *out++ = FieldSeparator;
    *out++ = 'D';
    out = PutBcdDateTime(out, card.GuestInTime);
    *out++ = FieldSeparator;
    *out++ = 'O';
    out = PutBcdDateTime(out, card.GuestLeaveTime);
    *out++ = kx::ETX;
    return static_cast<int>(out - reply);
}

#include "codec.h"

#include "platform/datetime.h"

#include <algorithm>
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
    std::uint8_t at(int p) const { return p >= 0 && p < m_size ? m_bytes[p] : 0; }

    // The run of bytes from p up to, not including, the next separator or
    // the last received byte (the ETX position).
    QByteArray TextFrom(int p) const
    {
        const int end = m_size - 1;
        int q = p;
        while (q < end && m_bytes[q] != FieldSeparator)
            ++q;
        return q > p ? QByteArray(reinterpret_cast<const char *>(m_bytes + p), q - p) : QByteArray();
    }

private:
    const std::uint8_t *m_bytes;
    int m_size;
};

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
    const int year = 2000 + BcdValue(frame.at(p), QLatin1StringView("20"));
    const int month = BcdValue(frame.at(p + 1));
    const int day = BcdValue(frame.at(p + 2));
    const int hour = BcdValue(frame.at(p + 3));
    const int minute = BcdValue(frame.at(p + 4));
    const int second = BcdValue(frame.at(p + 5));
    return kx::EncodeDate(year, month, day) + kx::EncodeTime(hour, minute, second, 0);
}

// Two decimal digits written as one hexadecimal byte: 24 -> 0x24.
std::uint8_t ToBcd(int value)
{
    value = ((value % 100) + 100) % 100; // only the last two digits travel
    return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10));
}

std::uint8_t *PutBytes(std::uint8_t *out, const QByteArray &bytes, qsizetype count)
{
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(count));
    return out + count;
}

} // namespace

std::uint8_t *PutBcdDateTime(std::uint8_t *out, TDateTime value)
{
    const kx::DateParts date = kx::DecodeDate(value);
    // A value with no calendar date (not a number, past 9999, before year 1)
    // travels as the unset date-time.
    if (date.year == 0)
        return PutBcdDateTime(out, 0);
    const kx::TimeParts time = kx::DecodeTime(value);
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

    // A tag that occurs twice gives both values joined, so each text
    // collects over the whole scan.
    QByteArray room;
    QByteArray name;
    for (int p = 1; p <= last; ++p) {
        if (frame.at(p) == FieldSeparator || frame.at(p - 1) != FieldSeparator)
            continue;
        switch (frame.at(p)) {
        case 'R':
            room += frame.TextFrom(p + 1);
            request.Room = room;
            break;
        case 'N':
            name += frame.TextFrom(p + 1);
            request.GuestName = name;
            break;
        case 'D': request.GuestInTime = DecodeBcdDateTime(frame, p + 1); break;
        case 'O': request.GuestLeaveTime = DecodeBcdDateTime(frame, p + 1); break;
        default: break;
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

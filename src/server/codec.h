#pragma once

#include "cardinterface.h"

#include <cstdint>

namespace kx {

constexpr int ReceiveBufferSize = 1025;
constexpr int ReplyBufferSize = 1025;
constexpr int MaxCardReplySize = 1024;
constexpr int ResultReplySize = 7;

constexpr std::uint8_t STX = 0x02;
constexpr std::uint8_t ETX = 0x03;

enum DecodeStatus { DecodeAccepted = 0, DecodeRejected = 3 };

// The command letters of the request frames (upper case only).
enum Command : char {
    CheckInCommand = 'I',
    CheckOutCommand = 'B',
    ReadCardCommand = 'E',
    GCommand = 'G',
    DuplicateKeyCommand = 'C',
    OneShotKeyCommand = 'S',
};

} // namespace kx

// buffer holds ReceiveBufferSize bytes, cleared to zero before the read; n is
// the number of bytes received. command and request keep their values when
// the frame is rejected. Raises kx::ConvertError on a bad date/time field.
int DecodeRequest(const std::uint8_t *buffer, int n, int &command, TCardInterface &request);

// Writes a date-time as six packed-BCD bytes yy mm dd hh nn ss and gives the
// position after them; a value with no calendar date goes as the unset one.
std::uint8_t *PutBcdDateTime(std::uint8_t *out, TDateTime value);

// Writes the 7-byte result reply (code's low eight bits) and returns 7.
int BuildResultReply(int code, std::uint8_t *reply);

// Writes the card reply and returns its length, 27 + room + name, never more
// than 1024 (GuestName is cut to fit).
int BuildCardReply(const TCardInterface &card, std::uint8_t *reply);

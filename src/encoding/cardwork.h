#pragma once

#include "encoderbinding.h"
#include "lockmake.h"

namespace kx {

// The card work area that check-in and check-out share: the card last read
// from or written to the encoder. All zero when made; between requests it
// keeps the data of the last card handled.
class CardWork
{
public:
    explicit CardWork(EncoderBinding &encoder) : m_encoder(encoder) {}

    TLock_Make CardWorkArea{};

    // ReadCard into CardWorkArea; gives the library's result unchanged. After
    // a failed read the area holds whatever the library left in it.
    Word ReadWorkCard();
    // MakeGuestCard from CardWorkArea; gives the library's result unchanged.
    Word WriteWorkCard();

private:
    EncoderBinding &m_encoder;
};

} // namespace kx

#include "cardwork.h"

namespace kx {

Word CardWork::ReadWorkCard()
{
    return m_encoder.ReadCard(CardWorkArea);
}

Word CardWork::WriteWorkCard()
{
    return m_encoder.MakeGuestCard(CardWorkArea);
}

} // namespace kx

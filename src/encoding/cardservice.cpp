#include "cardservice.h"

namespace kx {

CardService::CardService(EncoderBinding &binding, Tdmrmt &store, const ProgramFolder &folder,
                         const Clock &clock)
    : m_binding(binding), m_store(store), m_folder(folder), m_clock(clock), m_work(binding)
{
}

} // namespace kx

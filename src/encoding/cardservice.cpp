#include "cardservice.h"

namespace kx {

CardService::CardService(EncoderBinding &binding, Tdmrmt &store, const ProgramFolder &folder,
                         const Clock &clock, CardJournal *journal, Report report)
    : m_binding(binding), m_store(store), m_folder(folder), m_clock(clock), m_work(binding),
      m_journal(journal), m_report(std::move(report))
{
}

void CardService::Answered()
{
    if (m_journal)
        m_journal->Finish();
}

} // namespace kx

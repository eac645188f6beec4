#include "framer.h"

#include "record.h"

namespace fias {

Framer::Output Framer::Feed(const QByteArray &bytes)
{
    Output out;
    qsizetype skipped = 0;
    auto reportSkipped = [&] {
        if (skipped > 0)
            out.dropped << QByteArray::number(skipped) + " bytes outside a record skipped";
        skipped = 0;
    };
    for (const char c : bytes) {
        if (c == STX) {
            reportSkipped();
            if (m_inRecord)
                out.dropped << (m_tooLong ? QByteArray("record too long skipped")
                                          : QByteArray("record without ETX skipped"));
            m_inRecord = true;
            m_tooLong = false;
            m_record.clear();
        } else if (!m_inRecord) {
            ++skipped;
        } else if (c == ETX) {
            if (m_tooLong)
                out.dropped << "record longer than " + QByteArray::number(MaxRecordLength) + " bytes skipped";
            else
                out.records << m_record;
            m_inRecord = false;
            m_tooLong = false;
            m_record.clear();
        } else if (!m_tooLong) {
            if (m_record.size() < MaxRecordLength) {
                m_record += c;
            } else {
                m_tooLong = true;
                m_record.clear();
            }
        }
    }
    reportSkipped();
    return out;
}

void Framer::Reset()
{
    m_inRecord = false;
    m_tooLong = false;
    m_record.clear();
}

} // namespace fias

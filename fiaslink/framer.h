#pragma once

#include <QByteArray>
#include <QList>

namespace fias {

// Cuts a byte stream into records at STX/ETX. Several records may come in
// one read and one record may be split over reads; bytes outside a record
// are skipped. A record longer than MaxRecordLength is dropped whole.
class Framer
{
public:
    static constexpr qsizetype MaxRecordLength = 4096;

    struct Output
    {
        QList<QByteArray> records; // record texts without STX/ETX
        QList<QByteArray> dropped; // why bytes were dropped, for the log
    };

    Output Feed(const QByteArray &bytes);
    // Forgets a record in progress (a new connection starts afresh).
    void Reset();

private:
    bool m_inRecord = false;
    bool m_tooLong = false;
    QByteArray m_record;
};

} // namespace fias

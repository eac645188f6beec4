// libFuzzer target for the FIAS link's framing and record codec: any bytes,
// cut into reads anywhere, must give records or reasons for dropping bytes,
// never a crash; every record taken must come back out as the text it was.
#include "framer.h"
#include "linklog.h"
#include "record.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses where the stream is split into two reads.
    if (size < 1)
        return 0;
    const std::size_t cut = data[0] % size;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    fias::Framer framer;
    fias::Framer::Output first = framer.Feed(stream.left(static_cast<qsizetype>(cut)));
    const fias::Framer::Output second = framer.Feed(stream.mid(static_cast<qsizetype>(cut)));
    first.records += second.records;
    for (const QByteArray &text : first.records) {
        if (text.size() > fias::Framer::MaxRecordLength || text.contains(fias::STX) ||
            text.contains(fias::ETX))
            std::abort();
        QByteArray error;
        const std::optional<fias::Record> record = fias::Record::Parse(text, error);
        if (!record) {
            if (error.isEmpty())
                std::abort(); // a refusal always says why
            continue;
        }
        // The text written back parses to the same record.
        QByteArray again;
        const std::optional<fias::Record> reparsed = fias::Record::Parse(record->Text(), again);
        if (!reparsed || reparsed->Text() != record->Text())
            std::abort();
        (void)fias::MaskedText(*record);
    }
    return 0;
}

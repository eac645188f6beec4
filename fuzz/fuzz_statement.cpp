// libFuzzer target for the statement recogniser: any text must be
// recognised, refused or raise a clear error, in time linear in its length,
// and a recognised one must carry only values that passed their checks.
#include "appserver/statements.h"
#include "platform/errors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const std::optional<lockserver::Statement> statement = lockserver::Recognize(sql);
        if (!statement)
            return 0;
        if (statement->room < 0 || statement->room > std::numeric_limits<qint32>::max())
            std::abort();
        for (const QChar c : statement->text) {
            // Date-times and card serials: digits, letters, '-', ':' and one space.
            if (!(c.isLetterOrNumber() || c == u'-' || c == u':' || c == u' ') || c.unicode() > 127)
                std::abort();
        }
    } catch (const kx::Error &e) {
        if (e.text().isEmpty())
            std::abort();
    }
    return 0;
}

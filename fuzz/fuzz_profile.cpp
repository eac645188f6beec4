// libFuzzer target for the profile (.ini) file reader: any file must read as
// sections and keys or give the defaults, and a write must keep every other
// line and be read back.
#include "platform/errors.h"
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QString Path()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("fuzz.ini"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = Path();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    kx::ProfileFile profile(path);
    for (const char *section : {"SystemInfo", "Store", "Interface", ""}) {
        const QString s = QString::fromLatin1(section);
        const QString text = profile.ReadString(s, QStringLiteral("ServerIp"), QStringLiteral("none"));
        if (text.size() > kx::ProfileFile::MaxValueLength)
            std::abort();
        profile.ReadInteger(s, QStringLiteral("RmtPort"), 2008);
        profile.ReadTime(s, QStringLiteral("CheckOutTime"), 0.5);
    }
    try {
        profile.WriteString(QStringLiteral("Store"), QStringLiteral("KeyFile"),
                            QStringLiteral("station.key"));
    } catch (const kx::Error &) {
        return 0;
    }
    const kx::ProfileFile written(path);
    if (written.ReadString(QStringLiteral("Store"), QStringLiteral("KeyFile"), QString()) !=
        QStringLiteral("station.key"))
        std::abort();
    return 0;
}

#include "programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace kx {

ProgramFolder::ProgramFolder(const QString &dir) : m_dir(QDir(dir).absolutePath()) {}

ProgramFolder ProgramFolder::OfExecutable()
{
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    return ProgramFolder(QFileInfo(exe.symLinkTarget()).absolutePath());
}

QString ProgramFolder::Resolve(const QString &relative) const
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]+"));
    const QStringList parts = relative.split(separators, Qt::SkipEmptyParts);
    QString path = m_dir;
    bool exists = true; // once a component is missing, the rest cannot exist either
    for (const QString &part : parts) {
        QString name = part;
        if (exists && !QFileInfo::exists(path + QLatin1Char('/') + part)) {
            const QStringList entries =
                QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            name.clear();
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    name = entry;
                    break;
                }
            }
            if (name.isEmpty()) {
                name = part;
                exists = false;
            }
        }
        path += QLatin1Char('/') + name;
    }
    return path;
}

} // namespace kx

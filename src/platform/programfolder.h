#pragma once

#include <QString>

namespace kx {

// The folder that holds the program's files (the executable's folder, or the
// one given with --home). Every path below it is resolved component by
// component without regard to letter case, so "Db" and "DB" are one folder.
class ProgramFolder
{
public:
    explicit ProgramFolder(const QString &dir);

    // The folder of the running executable.
    static ProgramFolder OfExecutable();

    QString dir() const { return m_dir; }

    // relative uses '/' or '\' between components. Returns the existing entry
    // when one matches in any letter case; components that do not exist keep
    // the spelling given. The result is an absolute path.
    QString Resolve(const QString &relative) const;

    // "Kandrilox.ini" beside the program, resolved afresh on every call.
    QString SettingsPath() const { return Resolve(QStringLiteral("Kandrilox.ini")); }

private:
    QString m_dir;
};

} // namespace kx

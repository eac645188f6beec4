#pragma once

#include <QByteArray>
#include <QString>

// Reads the version block that an executable carries (see versionblock.h) and
// gives the entries of its string table. The block is read once, when the
// reader is made; every lookup works on that copy. Never raises.
class TFileVersion
{
public:
    explicit TFileVersion(const QString &exePath = QStringLiteral("/proc/self/exe"));

    // The first translation as "%.4x%.4x" in upper case, language first
    // ("040904E4"); empty when there is no block or no translation.
    QString GetTranslation() const;

    // The value of the named entry of the first translation's string table,
    // without leading and trailing blanks and control characters; empty when
    // there is no block or no such entry.
    QString GetValue(const QString &name) const;

    // The copy of the executable's whole version block; empty when it has none.
    const QByteArray &VersionInfo() const { return m_versionInfo; }

private:
    QByteArray m_versionInfo;
};

#include "fileversion.h"

#include "elfsection.h"
#include "versionblock.h"

#include <QtEndian>

TFileVersion::TFileVersion(const QString &exePath)
{
    const QByteArray section(kx::VersionSectionName.data(), qsizetype(kx::VersionSectionName.size()));
    if (const auto block = kx::ReadElfSection(exePath, section))
        m_versionInfo = *block;
}

QString TFileVersion::GetTranslation() const
{
    if (m_versionInfo.isEmpty())
        return {};
    const auto words = kx::QueryVersionValue(m_versionInfo, QStringLiteral("\\VarFileInfo\\Translation"));
    if (!words || words->size() < 4)
        return {};
    // Two little-endian words, language first, named as the block's writer named the string table.
    const auto name = kx::TranslationName(qFromLittleEndian<std::uint16_t>(words->constData()),
                                          qFromLittleEndian<std::uint16_t>(words->constData() + 2));
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

QString TFileVersion::GetValue(const QString &name) const
{
    if (m_versionInfo.isEmpty())
        return {};
    const QString translation = GetTranslation();
    if (translation.isEmpty())
        return {};
    const auto value =
        kx::QueryVersionValue(m_versionInfo, QStringLiteral("StringFileInfo\\%1\\%2").arg(translation, name));
    if (!value)
        return {};

    // The value is a zero-terminated text; everything up to and including the
    // space counts as blank at either end.
    QByteArray text = *value;
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return QString::fromUtf8(text.mid(first, last - first));
}

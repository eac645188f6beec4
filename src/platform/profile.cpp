#include "profile.h"

#include "errors.h"

#include <QFile>
#include <QSaveFile>

namespace kx {
namespace {

// "[Name]" (blanks around allowed) gives Name; anything else gives a null string.
QString SectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return {};
    return t.mid(1, close - 1).trimmed();
}

bool SplitKeyLine(const QString &line, QString &key, QString &value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    key = line.left(eq).trimmed();
    if (key.isEmpty() || key.startsWith(QLatin1Char(';')))
        return false;
    value = line.mid(eq + 1).trimmed();
    // A value wrapped in one pair of matching quotes is read without them.
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return true;
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

ProfileFile::ProfileFile(const QString &path) : m_path(path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return; // a missing or unreadable file reads as empty
    const QString text = QString::fromUtf8(file.readAll());
    m_crlf = text.contains(QStringLiteral("\r\n"));
    m_lines = text.split(QLatin1Char('\n'));
    for (QString &line : m_lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (!m_lines.isEmpty() && m_lines.back().isEmpty())
        m_lines.removeLast();
}

bool ProfileFile::Find(const QString &section, const QString &key, QString &value) const
{
    bool inSection = false;
    for (const QString &line : m_lines) {
        const QString name = SectionName(line);
        if (!name.isNull()) {
            inSection = SameName(name, section);
            continue;
        }
        QString k, v;
        if (inSection && SplitKeyLine(line, k, v) && SameName(k, key)) {
            value = v;
            return true;
        }
    }
    return false;
}

QString ProfileFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    QString value;
    if (!Find(section, key, value))
        value = def;
    return value.left(MaxValueLength);
}

bool ProfileFile::ParseInteger(const QString &text, int &value)
{
    return TryStrToInt(text.trimmed(), value);
}

int ProfileFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    int value = 0;
    return ParseInteger(ReadString(section, key, QString()), value) ? value : def;
}

TDateTime ProfileFile::ReadTime(const QString &section, const QString &key, TDateTime def) const
{
    const QStringList parts = ReadString(section, key, QString()).trimmed().split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return def;
    int fields[3] = {0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        fields[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || parts[i].trimmed().isEmpty())
            return def;
    }
    try {
        return EncodeTime(fields[0], fields[1], fields[2], 0);
    } catch (const ConvertError &) {
        return def;
    }
}

void ProfileFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    QStringList lines = m_lines;
    const QString entry = key + QLatin1Char('=') + value;
    qsizetype sectionStart = -1;  // index of the section's header line
    qsizetype lastInSection = -1; // last non-blank line of the section
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        const QString name = SectionName(lines[i]);
        if (!name.isNull()) {
            if (sectionStart >= 0)
                break; // the next section begins: the key is not there
            if (SameName(name, section))
                sectionStart = lastInSection = i;
            continue;
        }
        if (sectionStart < 0)
            continue;
        QString k, v;
        if (SplitKeyLine(lines[i], k, v) && SameName(k, key)) {
            lines[i] = k + QLatin1Char('=') + value; // the file's own spelling of the key stays
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            lastInSection = i;
        }
    }
    if (!written) {
        if (sectionStart >= 0) {
            lines.insert(lastInSection + 1, entry);
        } else {
            lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
        }
    }

    // Keep the file's own line ends: CR LF when it already uses them.
    const QString eol = m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");

    QSaveFile file(m_path);
    file.setDirectWriteFallback(false);
    const QByteArray data = (lines.join(eol) + eol).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw IniWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
    m_lines = lines;
}

void ProfileFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

} // namespace kx

#pragma once

#include "datetime.h"

#include <QString>
#include <QStringList>

namespace kx {

// A Windows-style profile (.ini) file: "[Section]" lines followed by
// "Key=Value" lines. Section and key names match without regard to case,
// values are cut at 2047 characters, a missing file/section/key gives the
// caller's default. The file is read once when the object is made; every
// write goes straight to disk, changes one key and keeps every other line.
class ProfileFile
{
public:
    static constexpr int MaxValueLength = 2047;

    explicit ProfileFile(const QString &path);

    QString path() const { return m_path; }

    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // Decimal (optionally signed), "0x…"/"0X…" or "$…" hexadecimal; anything else gives def.
    int ReadInteger(const QString &section, const QString &key, int def) const;
    // A time of day "h:mm" or "h:mm:ss"; empty or unreadable gives def.
    TDateTime ReadTime(const QString &section, const QString &key, TDateTime def) const;

    // Raise IniWriteError "Unable to write to <path>" when the file cannot be written.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);

    // Parses an integer the way ReadInteger does; false when it is no number.
    static bool ParseInteger(const QString &text, int &value);

private:
    bool Find(const QString &section, const QString &key, QString &value) const;

    QString m_path;
    QStringList m_lines; // the file as read, line by line, without line ends
    bool m_crlf = false; // the file ends its lines with CR LF
};

} // namespace kx

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kx {

// The contents of the named section of a 64-bit little-endian ELF file, found
// through the section headers. Nothing when the file cannot be read, is no
// such ELF file, is damaged, or has no such section with contents in the file.
std::optional<QByteArray> ReadElfSection(const QString &path, const QByteArray &sectionName);

} // namespace kx

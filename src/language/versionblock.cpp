#include "versionblock.h"

#include <QRegularExpression>

namespace kx {

namespace {

// Reads the block front to back; every read checks the bounds and a failed
// read makes the reader fail for good.
class BlockReader
{
public:
    explicit BlockReader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }

    std::uint16_t word()
    {
        if (!need(2))
            return 0;
        const auto lo = static_cast<unsigned char>(m_bytes[m_at]);
        const auto hi = static_cast<unsigned char>(m_bytes[m_at + 1]);
        m_at += 2;
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }

    QByteArray bytes(qsizetype count)
    {
        if (!need(count))
            return {};
        const QByteArray part = m_bytes.mid(m_at, count);
        m_at += count;
        return part;
    }

    QByteArray text() { return bytes(word()); }

private:
    bool need(qsizetype count)
    {
        if (m_ok && m_bytes.size() - m_at < count)
            m_ok = false;
        return m_ok;
    }

    const QByteArray &m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

} // namespace

QByteArray BuildVersionBlock(std::uint16_t language, std::uint16_t codePage,
                             std::span<const VersionString> entries)
{
    QByteArray block(qsizetype(WriteVersionBlock(nullptr, language, codePage, entries)), '\0');
    WriteVersionBlock(reinterpret_cast<unsigned char *>(block.data()), language, codePage, entries);
    return block;
}

std::optional<VersionBlockContents> ParseVersionBlock(const QByteArray &block)
{
    BlockReader in(block);
    if (in.bytes(4) != QByteArray(VersionBlockMagic.data(), qsizetype(VersionBlockMagic.size())))
        return std::nullopt;
    if (in.word() != VersionBlockFormat)
        return std::nullopt;

    VersionBlockContents contents;
    const int translations = in.word();
    for (int i = 0; i < translations && in.ok(); ++i) {
        VersionTranslation t;
        t.language = in.word();
        t.codePage = in.word();
        contents.translations.append(t);
    }
    const int tables = in.word();
    for (int i = 0; i < tables && in.ok(); ++i) {
        VersionTable table;
        table.name = in.text();
        const int entries = in.word();
        for (int e = 0; e < entries && in.ok(); ++e) {
            QByteArray key = in.text();
            QByteArray value = in.text();
            table.entries.append({std::move(key), std::move(value)});
        }
        contents.tables.append(std::move(table));
    }
    if (!in.ok())
        return std::nullopt;
    return contents;
}

std::optional<QByteArray> QueryVersionValue(const QByteArray &block, const QString &path)
{
    const auto contents = ParseVersionBlock(block);
    if (!contents)
        return std::nullopt;

    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList parts = path.split(separators, Qt::SkipEmptyParts);
    auto same = [](const QString &a, const QByteArray &b) {
        return a.compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
    };

    if (parts.size() == 2 && same(parts[0], "VarFileInfo") && same(parts[1], "Translation")) {
        if (contents->translations.isEmpty())
            return std::nullopt;
        QByteArray words;
        for (const VersionTranslation &t : contents->translations) {
            for (std::uint16_t w : {t.language, t.codePage}) {
                words.append(char(w & 0xFF));
                words.append(char(w >> 8));
            }
        }
        return words;
    }

    if (parts.size() == 3 && same(parts[0], "StringFileInfo")) {
        for (const VersionTable &table : contents->tables) {
            if (!same(parts[1], table.name))
                continue;
            for (const auto &[key, value] : table.entries) {
                if (same(parts[2], key))
                    return value;
            }
        }
    }
    return std::nullopt;
}

} // namespace kx

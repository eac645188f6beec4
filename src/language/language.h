#pragma once

#include "componentclass.h"
#include "fileversion.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace kx {
class LanguageDatabase;
class ProgramFolder;
} // namespace kx

// The language component: keeps a window's texts and dialog texts per
// language in the language database "DB/Language.mdb" of the program folder,
// applies them to the window that owns it and exports the window's texts.
// Owned by its window (the QObject parent); the window's object name is the
// FormName of every row it reads or writes. Any QObject can own it; windows
// are needed only for exporting.
class TLanguage : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int LanguageID READ LanguageID WRITE SetLanguageID)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)

public:
    // Creates the "DB" folder (one level) and the database with its two
    // tables when missing, else opens the file as it is. Raises
    // kx::DatabaseError with the engine's text when that fails.
    TLanguage(QObject *owner, const kx::ProgramFolder &folder);
    ~TLanguage() override;

    std::int32_t LanguageID() const { return m_languageId; }
    // Only stores the value; nothing is reloaded.
    void SetLanguageID(std::int32_t id) { m_languageId = id; }

    const TFileVersion &AppVersion() const { return m_appVersion; }

    // The dialog texts, by index.
    const QStringList &Variable() const { return m_variable; }
    QStringList &Variable() { return m_variable; }

    // Always false; writing true applies the texts again each time.
    bool Active() const { return false; }
    void SetActive(bool active);

    // The dialog text at index, or the empty text past the end.
    QString GetDialogText(std::uint8_t index) const;

    // Loads the owner's dialog texts and applies its component texts for
    // LanguageID. Database errors propagate; what was applied stays applied.
    void ApplyLanguage();

    // Replaces the owner window's rows for LanguageID with its current texts,
    // all or nothing. Does nothing when the owner is not a window.
    void ExportLanguage();

    // Applies one component text (split into lines) to one component.
    static void ApplyComponentTexts(QObject &component, const QStringList &lines);
    // Applies a collection block to the items of a collection.
    static void ApplyCollectionTexts(const kx::PropertyObject &collection, const QStringList &lines);
    // The component text of a component; a window's own row (windowRow) gives
    // object headers without their blocks.
    static QStringList ExportComponentTexts(QObject &component, bool windowRow);
    // Adds the collection block of one collection.
    static void ExportCollectionTexts(const kx::PropertyObject &collection, QStringList &lines);

    // The file this component has open.
    QString DatabasePath() const;

private:
    QStringList RowFilter() const;

    std::int32_t m_languageId = 0;
    TFileVersion m_appVersion;
    QStringList m_variable;
    std::unique_ptr<kx::LanguageDatabase> m_connection;
};

namespace kx {
// Lines of a text split on CR LF, a lone CR or a lone LF; a line break at the
// very end adds no empty line, and an empty text has no lines.
QStringList SplitLines(const QString &text);
} // namespace kx

#include "language.h"

#include "languagedatabase.h"
#include "languagestatements.h"
#include "platform/programfolder.h"

#include <QDir>
#include <QSqlRecord>

TLanguage::TLanguage(QObject *owner, const kx::ProgramFolder &folder) : QObject(owner)
{
    const QString dbFolder = folder.Resolve(QStringLiteral("DB"));
    if (!QDir(dbFolder).exists())
        QDir().mkdir(dbFolder); // one level; a failure shows when the file is made
    m_connection = std::make_unique<kx::LanguageDatabase>(folder.Resolve(QStringLiteral("DB/Language.mdb")));
}

TLanguage::~TLanguage() = default;

QString TLanguage::DatabasePath() const
{
    return m_connection->FilePath();
}

void TLanguage::SetActive(bool active)
{
    if (active)
        ApplyLanguage();
}

QString TLanguage::GetDialogText(std::uint8_t index) const
{
    return index < m_variable.size() ? m_variable.at(index) : QString();
}

QStringList TLanguage::RowFilter() const
{
    const QString formName = parent() ? parent()->objectName() : QString();
    return kx::RowFilter(m_appVersion.GetValue(QStringLiteral("ProductName")), formName, m_languageId);
}

void TLanguage::ApplyLanguage()
{
    QObject *owner = parent();
    if (!owner)
        return;
    const QStringList filter = RowFilter();

    const auto dialogs =
        m_connection->Select(kx::FilteredStatement(QStringLiteral("Select * From Dialog_Table"), filter));
    for (const QSqlRecord &row : dialogs)
        m_variable = kx::SplitLines(row.value(QStringLiteral("MessageStr")).toString());

    const auto rows =
        m_connection->Select(kx::FilteredStatement(QStringLiteral("Select * From Component_Table"), filter));
    const auto &classes = kx::ComponentClasses::Instance();
    const QList<QObject *> components = classes.Components(*owner);
    for (const QSqlRecord &row : rows) {
        const QString name = row.value(QStringLiteral("ComponentName")).toString();
        const QStringList lines = kx::SplitLines(row.value(QStringLiteral("ComponentProperty")).toString());
        const auto match = std::find_if(components.begin(), components.end(), [&](const QObject *c) {
            return c->objectName().compare(name, Qt::CaseInsensitive) == 0;
        });
        if (match != components.end())
            ApplyComponentTexts(**match, lines);
        else if (name == owner->objectName())
            ApplyComponentTexts(*owner, lines);
    }
}

void TLanguage::ExportLanguage()
{
    QObject *owner = parent();
    const auto &classes = kx::ComponentClasses::Instance();
    if (!owner || !classes.IsWindow(*owner))
        return;
    const QStringList filter = RowFilter();
    const QString appName = m_appVersion.GetValue(QStringLiteral("ProductName"));

    auto append = [&](QObject &component, bool windowRow) {
        m_connection->Append(QStringLiteral("Component_Table"),
                             {
                                 {QStringLiteral("AppName"), appName},
                                 {QStringLiteral("FormName"), owner->objectName()},
                                 {QStringLiteral("LanguageID"), m_languageId},
                                 {QStringLiteral("ComponentName"), component.objectName()},
                                 {QStringLiteral("ComponentClass"), classes.ClassName(component)},
                                 {QStringLiteral("ComponentProperty"),
                                  kx::StatementText(ExportComponentTexts(component, windowRow))},
                             });
    };

    // The old rows go only together with the new rows arriving: a failure
    // part-way leaves the window's rows as they were.
    m_connection->Begin();
    try {
        const auto existing = m_connection->Select(
            kx::FilteredStatement(QStringLiteral("Select * From Component_Table"), filter));
        if (!existing.isEmpty())
            m_connection->Execute(
                kx::FilteredStatement(QStringLiteral("Delete From Component_Table"), filter));
        for (QObject *component : classes.Components(*owner))
            append(*component, false);
        append(*owner, true);
        m_connection->Commit();
    } catch (...) {
        m_connection->Rollback();
        throw;
    }
}

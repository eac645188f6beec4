#include "languagestatements.h"

namespace kx {

namespace {

QString Quoted(QString value)
{
    return QLatin1Char('\'') + value.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

} // namespace

QString StatementText(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    return text;
}

QString CreateComponentTableStatement()
{
    return StatementText({
        QStringLiteral("Create Table Component_Table"),
        QStringLiteral("(ID int identity PRIMARY KEY,"),
        QStringLiteral("AppName varchar(50) not null,"),
        QStringLiteral("FormName varchar(50) not null,"),
        QStringLiteral("ComponentName varchar(50) not null,"),
        QStringLiteral("LanguageID int not null,"),
        QStringLiteral("ComponentClass varchar(50) null,"),
        QStringLiteral("ComponentProperty Text null)"),
    });
}

QString CreateDialogTableStatement()
{
    return StatementText({
        QStringLiteral("Create Table Dialog_Table"),
        QStringLiteral("(ID int identity PRIMARY KEY,"),
        QStringLiteral("AppName varchar(50) Not null,"),
        QStringLiteral("FormName varchar(50) Not null,"),
        QStringLiteral("DialogID int Not null,"),
        QStringLiteral("LanguageID int Not null,"),
        QStringLiteral("Title varchar(255) Not null,"),
        QStringLiteral("MessageStr varchar(255) Not null)"),
    });
}

QStringList RowFilter(const QString &appName, const QString &formName, std::int32_t languageId)
{
    return {
        QStringLiteral("where"), QStringLiteral("AppName=") + Quoted(appName),
        QStringLiteral("and"),   QStringLiteral("FormName=") + Quoted(formName),
        QStringLiteral("and"),   QStringLiteral("LanguageID=") + QString::number(languageId),
    };
}

QString FilteredStatement(const QString &firstLine, const QStringList &rowFilter)
{
    return StatementText(QStringList{firstLine} + rowFilter);
}

} // namespace kx

#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace kx {

// The statement texts that the language component sends. A statement is built
// as a list of lines and sent as one text in which every line, the last one
// included, is followed by CR LF.
QString StatementText(const QStringList &lines);

// The two statements that create the tables of a new language database.
QString CreateComponentTableStatement();
QString CreateDialogTableStatement();

// The six lines that select one product's, one window's and one language's rows.
// A quote inside a value is doubled, so that a name with a quote selects its
// own rows and nothing else.
QStringList RowFilter(const QString &appName, const QString &formName, std::int32_t languageId);

// firstLine ("Select * From Dialog_Table", "Delete From Component_Table")
// followed by the row filter.
QString FilteredStatement(const QString &firstLine, const QStringList &rowFilter);

} // namespace kx

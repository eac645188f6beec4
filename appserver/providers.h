#pragma once

#include "statements.h"

#include <QList>
#include <QString>

namespace lockserver {

// What one provider of the server object lets a client do: the statements it
// opens, the statements it executes, and whether it stores appended rows in
// the table its last open query read.
struct ProviderDef
{
    QString name;
    QList<StatementId> opens;
    QList<StatementId> executes;
    bool storesAppendedRows = false;
};

// The provider of that exact name; raises kx::Error for an unknown one.
const ProviderDef &FindProvider(const QString &name);

enum class Operation { Open, Execute };

// Recognises sql and checks that the provider runs it for this operation;
// raises kx::Error with the reason otherwise.
Statement CheckStatement(const ProviderDef &provider, Operation operation, const QString &sql);

} // namespace lockserver

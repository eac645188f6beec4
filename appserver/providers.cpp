#include "providers.h"

#include "platform/errors.h"

namespace lockserver {

const ProviderDef &FindProvider(const QString &name)
{
    using enum StatementId;
    static const QList<ProviderDef> providers{
        // Bound by the client but never used: it runs nothing.
        {QStringLiteral("dsp_readcard"), {}, {}},
        {QStringLiteral("dsp_writemakerecord"), {FirstCardRecord}, {}, true},
        {QStringLiteral("dsp_writecheckinrecord"), {FirstGuestRecord}, {}, true},
        {QStringLiteral("dsp_writecheckoutrecord"), {}, {CloseStays, RevokeCards}},
        {QStringLiteral("dsp_public"), {RoomExists, RoomOccupied, ValidCardsOfRom, OpenStay}, {}},
    };
    for (const ProviderDef &p : providers) {
        if (p.name == name)
            return p;
    }
    throw kx::Error(
        QStringLiteral("Provider '%1' does not exist on LockInterfaceServer.TLockInterfaceServer").arg(name));
}

Statement CheckStatement(const ProviderDef &provider, Operation operation, const QString &sql)
{
    const QList<StatementId> &allowed = operation == Operation::Open ? provider.opens : provider.executes;
    if (provider.opens.isEmpty() && provider.executes.isEmpty())
        throw kx::Error(QStringLiteral("Provider %1 runs no statements").arg(provider.name));
    if (allowed.isEmpty()) {
        throw kx::Error(operation == Operation::Open
                            ? QStringLiteral("Provider %1 opens no queries").arg(provider.name)
                            : QStringLiteral("Provider %1 executes no statements").arg(provider.name));
    }
    const std::optional<Statement> statement = Recognize(sql);
    if (statement && ReturnsRows(statement->id) != (operation == Operation::Open)) {
        throw kx::Error(
            operation == Operation::Open
                ? QStringLiteral("Statement refused by provider %1: open needs a statement that "
                                 "returns rows")
                      .arg(provider.name)
                : QStringLiteral("Statement refused by provider %1: execute takes no statement that "
                                 "returns rows")
                      .arg(provider.name));
    }
    if (!statement || !allowed.contains(statement->id)) {
        throw kx::Error(QStringLiteral("Statement refused by provider %1: %2")
                            .arg(provider.name, sql.simplified().left(200)));
    }
    return *statement;
}

} // namespace lockserver

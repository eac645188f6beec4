#include "commands.h"

#include "platform/errors.h"
#include "schema.h"
#include "sqlbackend.h"

#include <QRegularExpression>

namespace lockserver {
namespace {

// A card carries its room in a signed 16-bit word, so rooms above 32767 could
// never be checked in.
constexpr qint64 HighestRoom = 32767;

void PrintTable(const QueryResult &result, const QString &kind, QTextStream &out)
{
    for (const QJsonArray &row : result.rows) {
        QStringList parts{kind};
        for (int i = 0; i < result.columns.size(); ++i) {
            const QJsonValue v = row[i];
            QString text = v.isNull()     ? QStringLiteral("-")
                           : v.isDouble() ? QString::number(v.toInteger())
                                          : QStringLiteral("\"%1\"").arg(v.toString());
            parts << result.columns[i].name + u'=' + text;
        }
        out << parts.join(u' ') << '\n';
    }
}

} // namespace

QList<qint64> ParseRooms(const QStringList &arguments)
{
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,10})(?:-([0-9]{1,10}))?$"));
    if (arguments.isEmpty())
        throw kx::Error(QStringLiteral("rooms add needs at least one ROOM or FIRST-LAST"));
    QList<qint64> rooms;
    for (const QString &arg : arguments) {
        const QRegularExpressionMatch m = shape.match(arg);
        if (!m.hasMatch())
            throw kx::Error(QStringLiteral("'%1' is neither a room number nor a range FIRST-LAST").arg(arg));
        const qint64 first = m.captured(1).toLongLong();
        const qint64 last = m.captured(2).isEmpty() ? first : m.captured(2).toLongLong();
        if (first < 1 || last > HighestRoom)
            throw kx::Error(QStringLiteral("'%1': rooms are numbered 1 to %2").arg(arg).arg(HighestRoom));
        if (first > last)
            throw kx::Error(QStringLiteral("'%1': the first room of a range comes before the last").arg(arg));
        for (qint64 room = first; room <= last; ++room)
            rooms << room;
    }
    return rooms;
}

int RunCommand(const QStringList &command, SqlBackend &backend, QTextStream &out)
{
    const QString verb = command.value(0);
    if (verb == u"rooms" && command.value(1) == u"add") {
        const QList<qint64> rooms = ParseRooms(command.mid(2));
        const int added = backend.AddRooms(rooms);
        out << "added " << added << (added == 1 ? " room" : " rooms") << ", " << rooms.size() - added
            << " already there\n";
        return 0;
    }
    if (verb == u"rooms" && command.value(1) == u"list" && command.size() == 2) {
        for (qint64 room : backend.Rooms())
            out << room << '\n';
        return 0;
    }
    if (verb == u"records" && command.size() == 1) {
        PrintTable(backend.ReadAll(GuestInRecordTable()), QStringLiteral("stay"), out);
        PrintTable(backend.ReadAll(MakeCardRecordTable()), QStringLiteral("card"), out);
        return 0;
    }
    throw kx::Error(
        QStringLiteral("Unknown command '%1': use rooms add ROOM|FIRST-LAST..., rooms list or records")
            .arg(command.join(u' ')));
}

} // namespace lockserver

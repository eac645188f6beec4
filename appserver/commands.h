#pragma once

#include <QStringList>
#include <QTextStream>

namespace lockserver {

class SqlBackend;

// Parses room arguments "ROOM" or "FIRST-LAST"; raises kx::Error on a bad one.
QList<qint64> ParseRooms(const QStringList &arguments);

// Runs "rooms add …", "rooms list" or "records" against the open backend and
// gives the exit code; raises kx::Error for an unknown command or bad arguments.
int RunCommand(const QStringList &command, SqlBackend &backend, QTextStream &out);

} // namespace lockserver

#pragma once

#include <QByteArray>
#include <QString>
#include <QTextStream>

namespace frontdesk {

class Client;

struct LoadSettings
{
    int cycles = 200;        // check-in/check-out pairs
    int reads = 200;         // card reads
    QByteArray room = "101"; // the room checked in and out; must be free
    QString name = QStringLiteral("Bench");
};

// Drives check-in/check-out cycles, then card reads of a checked-in card,
// over one connection,
// one request at a time (the server serves them one after another anyway),
// and prints requests per second with p50 and p99 latency per operation.
// A card must lie on the encoder. Gives 0, or 1 after the first failed request.
int RunLoad(Client &client, const LoadSettings &settings, QTextStream &out, QTextStream &err);

} // namespace frontdesk

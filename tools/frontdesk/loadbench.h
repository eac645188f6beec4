#pragma once

#include <QByteArray>
#include <QString>
#include <QTextStream>

namespace frontdesk {

struct LoadSettings
{
    int cycles = 200;        // check-in/check-out pairs per desk
    int reads = 200;         // card reads of a checked-in card, per desk
    int blankReads = 0;      // card reads of the blank card, before anything else
    int echoes = 0;          // round trips of a read frame to an echo server: nothing else runs
    int desks = 1;           // front desks at once, each on its own connection
    QByteArray room = "101"; // desk k checks in room + k; the rooms must be free
    QString name = QStringLiteral("Bench");
};

// Each desk, on its own connection and one request at a time: check-in/
// check-out cycles, then card reads of a card it checked in. Before the desks
// start, blankReads reads of the blank card on the encoder. Prints requests
// per second (one desk's, from the mean latency) with p50 and p99 per
// operation, and with several desks a "total" line with the rate of all desks
// together over the wall-clock time. Gives 0, or 1 after a failed request.
int RunLoad(const QString &host, quint16 port, int timeoutMs, const LoadSettings &settings, QTextStream &out,
            QTextStream &err);

} // namespace frontdesk

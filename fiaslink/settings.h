#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

namespace fias {

// fiaslink's settings: built-in defaults, changed by section "FIAS" of the
// file given with --config (a profile file like Kandrilox.ini).
struct LinkSettings
{
    // Departure time of a stay whose KR has no DT.
    QTime departureTime = QTime(12, 0);
    // How long a key request may take, queue included, before the PMS gets
    // its answer; under the PMS's own 30 s.
    int answerTimeoutMs = 20000;
    // Idle time after which the link is checked with an LS.
    int aliveCheckMs = 5 * 60 * 1000;
    // How long the interface has to answer the link exchange or an alive
    // check before the connection is dropped and made again.
    int linkAnswerMs = 30000;
    // Reconnection delays: the first, doubled per failure up to the last.
    int reconnectMinMs = 1000;
    int reconnectMaxMs = 30000;
    // How long the interface's LS is awaited after connecting.
    int linkStartWaitMs = 3000;
    // A one-shot key's validity: this many minutes from now when above 0;
    // otherwise until the KR's departure, or OneShotFallbackMinutes without one.
    int oneShotMinutes = 0;
    static constexpr int OneShotFallbackMinutes = 60;
};

// Reads the settings file over the defaults. Gives false with a reason in
// error when the file cannot be read or a value is out of range.
bool LoadLinkSettings(const QString &path, LinkSettings &settings, QString &error);

// The version sent in LD's V# (at most 10 characters).
QByteArray LinkVersion();

} // namespace fias

#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kx {

// kandrilox [--headless] [--home DIR] [--port N] [--metrics [ADDR:]PORT]
struct Options
{
    bool headless = false;
    QString home;        // empty: the executable's folder
    quint16 port = 7800; // 0: a free port chosen by the system
    QString metrics;     // headless only; empty: no metrics endpoint
};

// Gives the options, or nullopt with a message in error (usage problems).
std::optional<Options> ParseOptions(const QStringList &arguments, QString &error);

// What --help prints.
extern const char UsageText[];

// What the program is asked to do before any of its options count: print its
// usage or its version, and nothing else. Looked at before the application
// object exists, so that neither needs a display.
enum class InfoRequest { None, Help, Version };
InfoRequest FindInfoRequest(int argc, const char *const argv[]);

// Whether a window system can be reached: DISPLAY or WAYLAND_DISPLAY is set,
// or the platform is chosen explicitly (QT_QPA_PLATFORM, -platform).
bool DisplayAvailable(int argc, const char *const argv[]);

} // namespace kx

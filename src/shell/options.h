#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kx {

// kandrilox [--headless] [--home DIR] [--port N]
struct Options
{
    bool headless = false;
    QString home;        // empty: the executable's folder
    quint16 port = 7800; // 0: a free port chosen by the system
};

// Gives the options, or nullopt with a message in error (usage problems).
std::optional<Options> ParseOptions(const QStringList &arguments, QString &error);

} // namespace kx

#pragma once

#include "keyrouter.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace fias {

// "HOST:PORT" (an IPv6 host in brackets); false when it is none.
bool ParseHostPort(const QString &text, QString &host, quint16 &port);

// fiaslink --pms HOST:PORT --coder ID=HOST:PORT [--coder ...] [--config FILE]
struct LinkOptions
{
    QString pmsHost;
    quint16 pmsPort = 0;
    QList<CoderAddress> coders;
    QString configFile;
    bool help = false;
    bool version = false;
};

// Gives the options, or nothing with the reason in error.
std::optional<LinkOptions> ParseLinkOptions(const QStringList &arguments, QString &error);

} // namespace fias

#include "options.h"

namespace fias {

namespace {

constexpr int MaxCoderId = 8; // KC is at most 8 characters

} // namespace

bool ParseHostPort(const QString &text, QString &host, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString h = text.left(colon);
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535 || h.isEmpty() || h.contains(QLatin1Char(' ')))
        return false;
    host = h;
    port = static_cast<quint16>(p);
    return true;
}

std::optional<LinkOptions> ParseLinkOptions(const QStringList &arguments, QString &error)
{
    LinkOptions options;
    bool pmsGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--help")) {
            options.help = true;
            return options;
        }
        if (arg == QLatin1String("--version")) {
            options.version = true;
            return options;
        }
        if (arg != QLatin1String("--pms") && arg != QLatin1String("--coder") &&
            arg != QLatin1String("--config")) {
            error = QStringLiteral("unknown argument '%1'").arg(arg);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = arg + QStringLiteral(" needs a value");
            return std::nullopt;
        }
        const QString value = arguments[++i];
        if (arg == QLatin1String("--pms")) {
            if (!ParseHostPort(value, options.pmsHost, options.pmsPort) || options.pmsPort == 0) {
                error = QStringLiteral("--pms: '%1' is not HOST:PORT").arg(value);
                return std::nullopt;
            }
            pmsGiven = true;
        } else if (arg == QLatin1String("--coder")) {
            const qsizetype eq = value.indexOf(QLatin1Char('='));
            CoderAddress coder;
            coder.id = value.left(eq).toLatin1();
            if (eq <= 0 || coder.id.size() > MaxCoderId || coder.id.contains('|') ||
                !ParseHostPort(value.mid(eq + 1), coder.host, coder.port) || coder.port == 0) {
                error = QStringLiteral("--coder: '%1' is not ID=HOST:PORT (ID up to %2 characters)")
                            .arg(value)
                            .arg(MaxCoderId);
                return std::nullopt;
            }
            for (const CoderAddress &c : options.coders) {
                if (c.id == coder.id) {
                    error = QStringLiteral("--coder: key coder '%1' is given twice")
                                .arg(QString::fromLatin1(c.id));
                    return std::nullopt;
                }
            }
            options.coders << coder;
        } else {
            options.configFile = value;
        }
    }
    if (!pmsGiven) {
        error = QStringLiteral("--pms HOST:PORT is required");
        return std::nullopt;
    }
    if (options.coders.isEmpty()) {
        error = QStringLiteral("at least one --coder ID=HOST:PORT is required");
        return std::nullopt;
    }
    return options;
}

} // namespace fias

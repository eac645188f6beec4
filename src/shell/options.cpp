#include "options.h"

#include <QCommandLineParser>
#include <QDir>

namespace kx {

std::optional<Options> ParseOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kandrilox hotel lock system interface client"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Run as a service without windows."));
    const QCommandLineOption home(
        QStringLiteral("home"),
        QStringLiteral("Folder of the settings and data files (default: the program's)."),
        QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Front-desk port (default 7800, 0: any free)."),
                                  QStringLiteral("N"));
    parser.addOptions({headless, home, port});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    Options options;
    options.headless = parser.isSet(headless);
    if (parser.isSet(home)) {
        options.home = QDir(parser.value(home)).absolutePath();
        if (!QDir(options.home).exists()) {
            error = QStringLiteral("The folder %1 does not exist.").arg(options.home);
            return std::nullopt;
        }
    }
    if (parser.isSet(port)) {
        bool ok = false;
        const uint value = parser.value(port).toUInt(&ok);
        if (!ok || value > 65535) {
            error = QStringLiteral("Invalid port: %1").arg(parser.value(port));
            return std::nullopt;
        }
        options.port = static_cast<quint16>(value);
    }
    return options;
}

} // namespace kx

#include "options.h"

#include <QCommandLineParser>
#include <QDir>
#include <cstdlib>
#include <cstring>

namespace kx {

const char UsageText[] = "usage: kandrilox [--headless] [--home DIR] [--port N] [--metrics [ADDR:]PORT]\n"
                         "The hotel lock system interface client: serves the front desk's card requests on\n"
                         "TCP port 7800, with a tray icon and a connection log window.\n"
                         "  --headless  run as a service without windows; the connection log goes to\n"
                         "              standard output\n"
                         "  --home DIR  folder of Kandrilox.ini and the data files (default: the program's)\n"
                         "  --port N    front-desk port (default 7800; 0 picks a free port)\n"
                         "  --metrics [ADDR:]PORT  with --headless: answer /healthz and /metrics over\n"
                         "              HTTP (default address 127.0.0.1)\n"
                         "  --help      print this text\n"
                         "  --version   print the version\n";

InfoRequest FindInfoRequest(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return InfoRequest::Help;
        if (std::strcmp(argv[i], "--version") == 0)
            return InfoRequest::Version;
    }
    return InfoRequest::None;
}

bool DisplayAvailable(int argc, const char *const argv[])
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    }
    return false;
}

std::optional<Options> ParseOptions(const QStringList &arguments, QString &error)
{
    QCommandLineParser parser;
    // The options are described once, in UsageText.
    const QCommandLineOption headless(QStringLiteral("headless"));
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption metrics(QStringLiteral("metrics"), QString(), QStringLiteral("ADDR:PORT"));
    parser.addOptions({headless, home, port, metrics});
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
    if (parser.isSet(metrics)) {
        if (!options.headless) {
            error = QStringLiteral("--metrics needs --headless");
            return std::nullopt;
        }
        options.metrics = parser.value(metrics);
    }
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

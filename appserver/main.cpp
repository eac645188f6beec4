// lockserver: the application server that keeps the lock database and serves
// the providers of LockInterfaceServer.TLockInterfaceServer to the stations.

#include "commands.h"
#include "databaseurl.h"
#include "listener.h"
#include "platform/errors.h"
#include "platform/programversion.h"
#include "security.h"
#include "servermetrics.h"
#include "service/sdnotify.h"
#include "shell/unixsignals.h"
#include "store/stationkey.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

const char Usage[] =
    "usage: lockserver [OPTIONS] [COMMAND]\n"
    "  --listen ADDR:PORT     where to listen (default 127.0.0.1:2008; port 0 picks a free port);\n"
    "                         an address other computers reach needs --key-file (or --insecure)\n"
    "  --database URL         sqlite:PATH (default sqlite:lock.db) or\n"
    "                         postgresql://USER@HOST[:PORT]/DBNAME\n"
    "  --password-file FILE   the PostgreSQL password (else PGPASSWORD or ~/.pgpass)\n"
    "  --key-file FILE        station keys, one a line (KEY or NAME KEY); stations must prove one\n"
    "  --tls-cert FILE        serve TLS with this PEM certificate ...\n"
    "  --tls-key FILE         ... and this PEM private key\n"
    "  --max-connections N    connections served at once (default 256)\n"
    "  --message-timeout S    seconds a hello or a begun message may take (default 30)\n"
    "  --metrics [ADDR:]PORT  serve /healthz and /metrics over HTTP (default address 127.0.0.1)\n"
    "  --claim-timeout S      seconds a check-in's claim on a room lasts (default 35)\n"
    "  --insecure             listen on a network address without station keys, on purpose\n"
    "commands (run and exit; without one the server runs):\n"
    "  rooms add ROOM|FIRST-LAST...   add rooms (rooms that exist are kept)\n"
    "  rooms list                     print the rooms\n"
    "  records                        print the stays and the cards\n"
    "  station-key NAME               print a new key file line for a station\n"
    "  tls-keygen DIR                 make a self-signed certificate and key, print the fingerprint\n"
    "  --help, --version              print this text, or the version\n";

struct Options
{
    QString listen = QStringLiteral("127.0.0.1:2008");
    QString database = QStringLiteral("sqlite:lock.db");
    QString passwordFile;
    QString keyFile;
    QString tlsCert;
    QString tlsKey;
    QString metrics; // empty: no metrics endpoint
    int maxConnections = 256;
    int messageTimeoutSeconds = 30;
    bool insecure = false;
    QStringList command;
    int claimTimeout = 35;
    bool help = false;
    bool version = false;
};

int PositiveNumber(const QString &option, const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1)
        throw kx::Error(QStringLiteral("%1 needs a whole number of at least 1, not '%2'").arg(option, text));
    return value;
}

Options ParseOptions(const QStringList &args)
{
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw kx::Error(QStringLiteral("%1 needs a value").arg(arg));
            return args[++i];
        };
        if (!options.command.isEmpty())
            options.command << arg;
        else if (arg == u"--help" || arg == u"-h")
            options.help = true;
        else if (arg == u"--version")
            options.version = true;
        else if (arg == u"--insecure")
            options.insecure = true;
        else if (arg == u"--listen")
            options.listen = value();
        else if (arg == u"--database")
            options.database = value();
        else if (arg == u"--password-file")
            options.passwordFile = value();
        else if (arg == u"--key-file")
            options.keyFile = value();
        else if (arg == u"--tls-cert")
            options.tlsCert = value();
        else if (arg == u"--tls-key")
            options.tlsKey = value();
        else if (arg == u"--metrics")
            options.metrics = value();
        else if (arg == u"--max-connections")
            options.maxConnections = PositiveNumber(arg, value());
        else if (arg == u"--message-timeout")
            options.messageTimeoutSeconds = PositiveNumber(arg, value());
        else if (arg == u"--claim-timeout")
            options.claimTimeout = PositiveNumber(arg, value());
        else if (arg.startsWith(u"--"))
            throw kx::Error(QStringLiteral("Unknown option %1").arg(arg));
        else
            options.command << arg;
    }
    return options;
}

// The commands that need no database.
bool RunToolCommand(const QStringList &command, int &code)
{
    QTextStream out(stdout);
    const QString name = command.value(0);
    if (name != u"tls-keygen" && name != u"station-key")
        return false;
    if (command.size() != 2)
        throw kx::Error(
            QStringLiteral("usage: lockserver %1 %2")
                .arg(name, name == u"tls-keygen" ? QStringLiteral("DIR") : QStringLiteral("NAME")));
    code = name == u"tls-keygen" ? lockserver::MakeTlsCertificate(command[1], out)
                                 : lockserver::MakeStationKey(command[1], out);
    return true;
}

lockserver::ListenerOptions MakeListenerOptions(const Options &options)
{
    lockserver::ListenerOptions listener;
    if (!options.keyFile.isEmpty())
        listener.session.keys = kx::stationkey::ReadKeyFile(options.keyFile);
    listener.session.messageTimeoutMs = options.messageTimeoutSeconds * 1000;
    listener.maxConnections = options.maxConnections;
    if (options.tlsCert.isEmpty() != options.tlsKey.isEmpty())
        throw kx::Error(QStringLiteral("TLS needs both --tls-cert and --tls-key"));
    if (!options.tlsCert.isEmpty())
        listener.tls = lockserver::LoadTlsConfiguration(options.tlsCert, options.tlsKey);
    return listener;
}

int Run(QCoreApplication &app)
{
    const Options options = ParseOptions(app.arguments());
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (options.version) {
        kx::PrintVersion("lockserver");
        return 0;
    }
    int code = 0;
    if (RunToolCommand(options.command, code))
        return code;

    QHostAddress address;
    quint16 port = 0;
    lockserver::ListenerOptions listenerOptions;
    if (options.command.isEmpty()) {
        lockserver::ParseListenAddress(options.listen, address, port);
        lockserver::CheckListenPolicy(address, !options.keyFile.isEmpty(), options.insecure);
        listenerOptions = MakeListenerOptions(options);
    }

    const QString password =
        options.passwordFile.isEmpty() ? QString() : lockserver::ReadPasswordFile(options.passwordFile);
    const std::unique_ptr<lockserver::SqlBackend> backend =
        lockserver::MakeBackend(options.database, password);
    backend->ClaimTimeoutSeconds = options.claimTimeout;
    backend->Open();
    if (const QList<qint64> rooms = backend->RoomsWithSeveralOpenStays(); !rooms.isEmpty()) {
        QStringList names;
        for (qint64 room : rooms)
            names << QString::number(room);
        std::fprintf(stderr,
                     "lockserver: rooms with more than one open stay: %s; check them out and start again, "
                     "so that the database can refuse a second open stay of a room\n",
                     qPrintable(names.join(QStringLiteral(", "))));
    }
    if (!options.command.isEmpty()) {
        QTextStream out(stdout);
        return lockserver::RunCommand(options.command, *backend, out);
    }

    kx::UnixSignals signals;
    QObject::connect(&signals, &kx::UnixSignals::TerminationRequested, &app, &QCoreApplication::quit);
    lockserver::ServerMetrics metrics;
    std::unique_ptr<lockserver::MetricsService> metricsService;
    if (!options.metrics.isEmpty())
        metricsService = std::make_unique<lockserver::MetricsService>(metrics, *backend, options.metrics);
    listenerOptions.metrics = &metrics;
    lockserver::Listener listener(*backend, std::move(listenerOptions));
    listener.Listen(address, port);
    metrics.SetListening(true);
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    std::fprintf(stderr, "listening on %s:%u\n", qPrintable(host), unsigned(listener.Port()));
    std::fflush(stderr);
    kx::NotifyServiceManager("READY=1");
    code = app.exec();
    kx::NotifyServiceManager("STOPPING=1");
    metrics.SetListening(false);
    listener.Close();
    backend->Close();
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    try {
        return Run(app);
    } catch (const kx::Error &e) {
        std::fprintf(stderr, "lockserver: %s\n", e.what());
        return 1;
    }
}

// fias-pms: the PMS interface's side of a FIAS link. Listens, sends LS to the
// key system that connects, checks its LD/LR/LA, answers LA, then sends the
// records given on the command line and on standard input (one per line,
// "KR|…|" without framing) and prints everything that comes back.

#include "options.h"
#include "pmsserver.h"
#include "settings.h"

#include "shell/unixsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

const char *const UsageText =
    "usage: fias-pms --listen ADDR:PORT [--no-link-start] [RECORD ...]\n"
    "  RECORD          a record without framing, e.g. 'KR|KC1|WS3|RN101|KTN|GD241231|'\n"
    "  standard input  more records, one a line; '!drop' closes the connection,\n"
    "                  '!raw HEX' sends bytes as they stand, '#' starts a comment\n"
    "  --no-link-start do not send LS on connect (the key system starts the link)\n"
    "  --help, --version\n";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fias-pms"));
    const QStringList args = QCoreApplication::arguments();

    QString host;
    quint16 port = 0;
    bool listenGiven = false, sendLinkStart = true;
    QByteArrayList records;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help")) {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (arg == QLatin1String("--version")) {
            std::printf("fias-pms %s\n", fias::LinkVersion().constData());
            return 0;
        }
        if (arg == QLatin1String("--no-link-start")) {
            sendLinkStart = false;
        } else if (arg == QLatin1String("--listen")) {
            if (i + 1 >= args.size() || !fias::ParseHostPort(args[i + 1], host, port)) {
                std::fprintf(stderr, "fias-pms: --listen needs ADDR:PORT\n%s", UsageText);
                return 2;
            }
            listenGiven = true;
            ++i;
        } else if (arg.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "fias-pms: unknown option %s\n%s", qPrintable(arg), UsageText);
            return 2;
        } else {
            records << QByteArray(argv[i]);
        }
    }
    if (!listenGiven) {
        std::fprintf(stderr, "fias-pms: --listen ADDR:PORT is required\n%s", UsageText);
        return 2;
    }

    fiaspms::PmsServer server(sendLinkStart);
    QString error;
    if (!server.Listen(host, port, error)) {
        std::fprintf(stderr, "fias-pms: cannot listen on %s:%u: %s\n", qPrintable(host), port,
                     qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "listening on %s\n", qPrintable(server.ListeningAddress()));
    std::fflush(stderr);
    for (const QByteArray &record : records)
        server.Input(record);

    // Standard input, line by line, as it comes.
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // end of input: keep serving the link
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            server.Input(pending.left(end));
            pending.remove(0, end + 1);
        }
    });

    kx::UnixSignals unixSignals;
    QObject::connect(&unixSignals, &kx::UnixSignals::TerminationRequested, &app,
                     [] { QCoreApplication::exit(0); });
    return QCoreApplication::exec();
}

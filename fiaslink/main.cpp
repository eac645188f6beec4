// fiaslink: the key system's end of a FIAS link. Connects to the PMS
// interface and routes its key requests by key coder to the stations.

#include "keyrouter.h"
#include "linklog.h"
#include "options.h"
#include "pmslink.h"
#include "settings.h"

#include "platform/programfolder.h"
#include "shell/unixsignals.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

const char *const UsageText =
    "usage: fiaslink --pms HOST:PORT --coder ID=HOST:PORT [--coder ID=HOST:PORT ...] [--config FILE]\n"
    "  --pms     the PMS interface's FIAS port (the PMS is the TCP server)\n"
    "  --coder   key coder ID (the KC of the PMS's records) served by the station on HOST:PORT\n"
    "  --config  settings file, section [FIAS]: DepartureTime, AnswerTimeout, AliveCheck,\n"
    "            LinkAnswerTimeout, ReconnectMin, ReconnectMax, OneShotMinutes (see docs/fias.md)\n"
    "  --help, --version\n";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fiaslink"));

    QString error;
    const std::optional<fias::LinkOptions> options =
        fias::ParseLinkOptions(QCoreApplication::arguments(), error);
    if (!options) {
        std::fprintf(stderr, "fiaslink: %s\n%s", qPrintable(error), UsageText);
        return 2;
    }
    if (options->help) {
        std::fputs(UsageText, stdout);
        return 0;
    }
    if (options->version) {
        std::printf("fiaslink %s\n", fias::LinkVersion().constData());
        return 0;
    }
    fias::LinkSettings settings;
    if (!options->configFile.isEmpty() && !fias::LoadLinkSettings(options->configFile, settings, error)) {
        std::fprintf(stderr, "fiaslink: %s\n", qPrintable(error));
        return 2;
    }

    fias::StdoutLog log;
    fias::PmsLink link(options->pmsHost, options->pmsPort, settings, log);
    // The result texts come from Db/EncodeMsg.ini beside the program, as for the stations.
    fias::KeyRouter router(link, options->coders, settings, kx::ProgramFolder::OfExecutable(), log);
    for (const fias::CoderAddress &c : options->coders)
        log.Note(
            QStringLiteral("coder %1: station %2:%3").arg(QString::fromLatin1(c.id), c.host).arg(c.port));

    kx::UnixSignals unixSignals;
    QObject::connect(&unixSignals, &kx::UnixSignals::TerminationRequested, &app, [&log] {
        log.Note(QStringLiteral("link: stopping"));
        QCoreApplication::exit(0);
    });
    link.Start();
    return QCoreApplication::exec();
}

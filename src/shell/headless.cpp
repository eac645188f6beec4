#include "headless.h"

#include "language/language.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "server/headlesslogprinter.h"
#include "server/interfaceserver.h"
#include "service/httpendpoint.h"
#include "service/sdnotify.h"
#include "service/stationmetrics.h"
#include "shell/locksysteminfo.h"
#include "shell/system.h"
#include "shell/unixsignals.h"
#include "store/dmrmt.h"

#include <QCoreApplication>

#include <memory>

namespace kx {

int RunHeadless(const Options &options)
{
    StderrNotifier notifier;
    StationMetrics station; // outlives the system that reports to it
    const QString programDir = QCoreApplication::applicationDirPath();
    const ProgramFolder folder(options.home.isEmpty() ? programDir : options.home);
    System system(folder, programDir, notifier);
    QObject splash; // owns the language component, as the splash window does
    std::unique_ptr<metrics::HttpEndpoint> endpoint;
    try {
        if (system.RefuseSecondCopy(options.home))
            return 0;
        if (!options.metrics.isEmpty()) {
            endpoint = std::make_unique<metrics::HttpEndpoint>(
                [&station] { return station.Registry().Render(); }, [&station] { return station.Health(); });
            metrics::StartMetrics(*endpoint, options.metrics);
            system.SetRecorder(&station);
        }
        system.CreateDataModule();
        // No network settings dialog without windows: the failure is told on
        // standard error and the first request that needs the store connects.
        system.DataModule().ConnectServer();
        system.LoadSettingsAndEncoder();
        // Where the windowed program creates its splash, with the language
        // component that creates or opens the language database.
        splash.setObjectName(QStringLiteral("WelcomeForm"));
        auto *language = new TLanguage(&splash, folder);
        language->setObjectName(QStringLiteral("Language1"));
        language->SetLanguageID(LockSystemInfo.LanguageID);
        // Rows are printed, not shown: none is kept, however long the service runs.
        system.Log().SetKeepRows(false);
        system.StartListener(options.port);
        station.SetListening(system.Server().IsListening());
    } catch (const std::exception &e) {
        notifier.ReportError(QString::fromUtf8(e.what()));
        return 1;
    }

    HeadlessLogPrinter printer(system.Log());
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::TerminationRequested, QCoreApplication::instance(),
                     [] { QCoreApplication::exit(0); });
    NotifyServiceManager("READY=1");
    const int code = QCoreApplication::exec();
    NotifyServiceManager("STOPPING=1");
    // Closed while the printer is still here, so that the last rows (the
    // connections closing, rows still waiting for a host name) are printed.
    system.Server().Close();
    station.SetListening(false);
    return code;
}

} // namespace kx

#include "headless.h"

#include "language/language.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "server/headlesslogprinter.h"
#include "server/interfaceserver.h"
#include "shell/locksysteminfo.h"
#include "shell/system.h"
#include "shell/unixsignals.h"
#include "store/dmrmt.h"

#include <QCoreApplication>

namespace kx {

int RunHeadless(const Options &options)
{
    StderrNotifier notifier;
    const QString programDir = QCoreApplication::applicationDirPath();
    const ProgramFolder folder(options.home.isEmpty() ? programDir : options.home);
    System system(folder, programDir, notifier);
    QObject splash; // owns the language component, as the splash window does
    try {
        if (system.RefuseSecondCopy(options.home))
            return 0;
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
    } catch (const std::exception &e) {
        notifier.ReportError(QString::fromUtf8(e.what()));
        return 1;
    }

    HeadlessLogPrinter printer(system.Log());
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::TerminationRequested, QCoreApplication::instance(),
                     [] { QCoreApplication::exit(0); });
    const int code = QCoreApplication::exec();
    // Closed while the printer is still here, so that the last rows (the
    // connections closing, rows still waiting for a host name) are printed.
    system.Server().Close();
    return code;
}

} // namespace kx

#include "windowed.h"

#include "platform/errors.h"
#include "shell/locksysteminfo.h"
#include "shell/mainwindow.h"
#include "shell/messageboxnotifier.h"
#include "shell/system.h"
#include "shell/unixsignals.h"
#include "shell/welcomeform.h"
#include "store/dmrmt.h"
#include "store/setportipadder.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <memory>

Tfrm_main *frm_main = nullptr;
Tfrm_setportipadder *frm_setportipadder = nullptr;
TWelcomeForm *WelcomeForm = nullptr;

namespace kx {
namespace {

// Termination is a request: every modal loop running now closes as cancelled
// and the code that opened it carries on; the main loop then does not start.
class Termination
{
public:
    void Request()
    {
        m_requested = true;
        QCoreApplication::exit(0);
    }
    bool Requested() const { return m_requested; }

private:
    bool m_requested = false;
};

void SetApplicationIcon(const ProgramFolder &folder)
{
    const QString path = folder.Resolve(QStringLiteral("pic/HLS.ICO"));
    QIcon icon;
    if (QFileInfo::exists(path))
        icon = QIcon(path);
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/kandrilox/HLS.ICO")); // the icon built into the program
    QApplication::setWindowIcon(icon);
}

} // namespace

int RunWithWindows(const Options &options)
{
    QApplication::setQuitOnLastWindowClosed(false); // the window is hidden at start and stays so
    QApplication::setApplicationDisplayName(ApplicationTitle);

    MessageBoxNotifier notifier;
    Termination termination;
    const auto requestTerminate = [&termination] { termination.Request(); };
    const QString programDir = QCoreApplication::applicationDirPath();
    const ProgramFolder folder(options.home.isEmpty() ? programDir : options.home);
    std::unique_ptr<Tfrm_setportipadder> networkSettings;
    std::unique_ptr<Tfrm_main> mainWindow;
    System system(folder, programDir, notifier);
    // SIGTERM and SIGINT are termination requests like the menu's "Close",
    // also while a start-up window or message box is open.
    UnixSignals unixSignals;
    QObject::connect(&unixSignals, &UnixSignals::TerminationRequested, qApp, requestTerminate);

    const auto networkSettingsDialog = [&]() -> Tfrm_setportipadder & {
        if (!networkSettings) {
            networkSettings = std::make_unique<Tfrm_setportipadder>(folder, LockSystemInfo, dmrmt->SocketCon,
                                                                    notifier, requestTerminate);
            frm_setportipadder = networkSettings.get();
        }
        return *networkSettings;
    };

    int code = 0;
    try {
        if (system.RefuseSecondCopy(options.home))
            return 0;
        SetApplicationIcon(folder);
        system.CreateDataModule();
        system.DataModule().ShowNetworkSettings = [&] {
            Tfrm_setportipadder &dialog = networkSettingsDialog(); // created in its start-up mode
            if (!termination.Requested())
                dialog.exec();
        };
        system.DataModule().ConnectServer();

        system.LoadSettingsAndEncoder();
        {
            TWelcomeForm splash(folder, LockSystemInfo, notifier);
            WelcomeForm = &splash;
            if (!termination.Requested())
                splash.exec();
            WelcomeForm = nullptr;
        }

        system.StartListener(options.port);
        mainWindow = std::make_unique<Tfrm_main>(system.Log(), system.Server(), networkSettingsDialog,
                                                 requestTerminate);
        frm_main = mainWindow.get();
        mainWindow->ShowInTray(notifier);

        if (!termination.Requested())
            code = QApplication::exec();
    } catch (const std::exception &e) {
        WelcomeForm = nullptr;
        notifier.ReportError(QString::fromUtf8(e.what()));
        code = 1;
    }

    frm_main = nullptr;
    mainWindow.reset(); // removes the tray icon
    frm_setportipadder = nullptr;
    networkSettings.reset();
    return code;
}

} // namespace kx

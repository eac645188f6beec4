#include "common/tempfolder.h"
#include "modal.h"
#include "recordingnotifier.h"
#include "store/lockserverprocess.h"

#include "platform/profile.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "store/setportipadder.h"
#include "store/socketconnection.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString Section = QStringLiteral("SystemInfo");
const QString ConnectFailed = QStringLiteral("wrong 1 Server connect failed,please reset");

// A port on loopback that nothing listens on.
quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

class NetworkSettingsDialog : public ::testing::Test
{
protected:
    NetworkSettingsDialog() : programFolder(folder.path()) {}

    void WriteSettings(const QByteArray &text) { folder.write(QStringLiteral("Kandrilox.ini"), text); }
    kx::ProfileFile Settings() const { return kx::ProfileFile(programFolder.SettingsPath()); }

    std::unique_ptr<Tfrm_setportipadder> MakeDialog()
    {
        return std::make_unique<Tfrm_setportipadder>(programFolder, info, socketCon, notifier,
                                                     [this] { ++terminateRequests; });
    }

    TempFolder folder;
    kx::ProgramFolder programFolder;
    TLockSystemInfo info;
    TSocketConnection socketCon;
    RecordingNotifier notifier;
    int terminateRequests = 0;
};

struct OpeningCase
{
    const char *name;
    QByteArray settings;
    QString shownText;
    bool checked;
    QString textAfterToggle;
};

class FirstOpening : public NetworkSettingsDialog, public ::testing::WithParamInterface<OpeningCase>
{
};

TEST_P(FirstOpening, ShowsTheSavedChoiceAndTogglingSwapsTheAddress)
{
    const OpeningCase &c = GetParam();
    WriteSettings(c.settings);
    auto dialog = MakeDialog();
    dialog->show();

    EXPECT_EQ(dialog->edt_ipadder->text(), c.shownText);
    EXPECT_EQ(dialog->chk_localserver->isChecked(), c.checked);
    EXPECT_EQ(dialog->edt_ipadder->isEnabled(), !c.checked);

    dialog->chk_localserver->click();
    EXPECT_EQ(dialog->edt_ipadder->text(), c.textAfterToggle);
    EXPECT_EQ(dialog->edt_ipadder->isEnabled(), c.checked);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FirstOpening,
    ::testing::Values(OpeningCase{"LocalServerOn", "[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=1\n",
                                  "127.0.0.1", true, "10.0.0.5"},
                      OpeningCase{"LocalServerOff", "[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\n",
                                  "10.0.0.5", false, "127.0.0.1"},
                      OpeningCase{"AnyNonZeroIsOn", "[systeminfo]\nserverip=10.0.0.5\nlocalserver=$10\n",
                                  "127.0.0.1", true, "10.0.0.5"},
                      OpeningCase{"NoSettingsFile", "", "127.0.0.1", true, "192.168.0.100"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(NetworkSettingsDialog, CreationReadsTheSettingsWithTheFixedPortAndStartsInStartUpMode)
{
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nRmtPort=3000\nLocalServer=0\n");
    auto dialog = MakeDialog();
    EXPECT_TRUE(dialog->TerminateOnClose());
    EXPECT_EQ(info.ServerIp, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(info.ServerPort, 2008);
    EXPECT_EQ(info.LocalServer, 0);
}

TEST_F(NetworkSettingsDialog, LaterOpeningWithTheBoxAlreadyCheckedKeepsTheSavedAddress)
{
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=1\n");
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(false);
    dialog->show();
    dialog->BitBtn2->click(); // closes without saving; the box stays checked
    ASSERT_FALSE(dialog->isVisible());

    dialog->show();
    EXPECT_EQ(dialog->edt_ipadder->text(), QStringLiteral("10.0.0.5"));
    EXPECT_FALSE(dialog->edt_ipadder->isEnabled());
    EXPECT_EQ(dialog->SavedServerIp(), QStringLiteral("10.0.0.5"));
}

TEST_F(NetworkSettingsDialog, OkInNormalModeSavesAndClosesWithoutTouchingTheConnection)
{
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\nRmtPort=3000\nHotelName=Grand\n");
    socketCon.Address = QStringLiteral("10.0.0.5");
    socketCon.Port = 3000;
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(false);
    dialog->show();
    dialog->edt_ipadder->setText(QStringLiteral("10.9.8.7"));
    dialog->BitBtn1->click();

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    const kx::ProfileFile ini = Settings();
    EXPECT_EQ(ini.ReadString(Section, QStringLiteral("ServerIp"), {}), QStringLiteral("10.9.8.7"));
    EXPECT_EQ(ini.ReadInteger(Section, QStringLiteral("LocalServer"), -1), 0);
    EXPECT_EQ(ini.ReadInteger(Section, QStringLiteral("RmtPort"), -1), 3000);
    EXPECT_EQ(ini.ReadString(Section, QStringLiteral("HotelName"), {}), QStringLiteral("Grand"));
    EXPECT_EQ(info.ServerIp, QStringLiteral("10.9.8.7"));
    EXPECT_EQ(info.LocalServer, 0);
    EXPECT_EQ(socketCon.Address, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(socketCon.Port, 3000);
    EXPECT_FALSE(socketCon.Connected());
    EXPECT_TRUE(notifier.boxes.isEmpty());
    EXPECT_TRUE(notifier.errors.isEmpty());
    EXPECT_EQ(terminateRequests, 0);
}

TEST_F(NetworkSettingsDialog, CheckedBoxSavesTheLocalAddressWhichLaterOpeningsRestore)
{
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\n");
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(false);
    dialog->show();
    dialog->chk_localserver->click();
    dialog->BitBtn1->click();
    EXPECT_EQ(Settings().ReadString(Section, QStringLiteral("ServerIp"), {}), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Settings().ReadInteger(Section, QStringLiteral("LocalServer"), -1), 1);

    dialog->show();
    dialog->chk_localserver->click();
    EXPECT_EQ(dialog->edt_ipadder->text(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(dialog->edt_ipadder->isEnabled());
}

TEST_F(NetworkSettingsDialog, EmptyAddressIsSavedUnchanged)
{
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\n");
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(false);
    dialog->show();
    dialog->edt_ipadder->clear();
    dialog->BitBtn1->click();
    EXPECT_EQ(Settings().ReadString(Section, QStringLiteral("ServerIp"), QStringLiteral("missing")),
              QString());
    EXPECT_EQ(info.ServerIp, QString());
}

TEST_F(NetworkSettingsDialog, UnwritableSettingsFileIsReportedAndTheDialogStaysOpen)
{
    // A folder in the settings file's place cannot be written, whoever runs the test.
    QDir(folder.path()).mkdir(QStringLiteral("Kandrilox.ini"));
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(false);
    dialog->show();
    dialog->chk_localserver->click();
    dialog->BitBtn1->click();

    ASSERT_EQ(notifier.errors.size(), 1);
    EXPECT_TRUE(notifier.errors.first().startsWith(QStringLiteral("Unable to write to ")));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(info.LocalServer, 1); // not re-read: the defaults of the creation stand
}

TEST_F(NetworkSettingsDialog, OkInStartUpModeConnectsOnTheFixedPortAndCloses)
{
    LockServerProcess server(QStringLiteral("sqlite:") + folder.file(QStringLiteral("lock.db")));
    const quint16 port = server.Start();
    ASSERT_NE(port, 0) << "lockserver did not start: " << server.Output().toStdString();
    // RmtPort names another port: start-up mode ignores it.
    WriteSettings("[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=1\nRmtPort=1\n");
    auto dialog = MakeDialog();
    dialog->FixedPort = port;
    dialog->show();
    ASSERT_EQ(dialog->edt_ipadder->text(), QStringLiteral("127.0.0.1"));
    dialog->BitBtn1->click();

    EXPECT_TRUE(notifier.boxes.isEmpty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(socketCon.Connected());
    EXPECT_EQ(socketCon.Address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(socketCon.Port, port);
    EXPECT_EQ(socketCon.ServerName(), QStringLiteral("LockInterfaceServer.TLockInterfaceServer"));
    EXPECT_EQ(terminateRequests, 0);
}

TEST_F(NetworkSettingsDialog, FailedConnectionInStartUpModeWarnsAndStaysOpenForAnotherTry)
{
    WriteSettings("[SystemInfo]\nServerIp=127.0.0.1\nLocalServer=0\n");
    auto dialog = MakeDialog();
    dialog->FixedPort = ClosedPort();
    dialog->show();
    dialog->chk_localserver->setFocus();
    dialog->BitBtn1->click();

    ASSERT_EQ(notifier.boxes.size(), 1);
    EXPECT_EQ(notifier.boxes[0].text, ConnectFailed);
    EXPECT_EQ(notifier.boxes[0].caption, QStringLiteral("wrong"));
    EXPECT_EQ(notifier.boxes[0].icon, kx::Notifier::Icon::Warning);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->focusWidget(), dialog->edt_ipadder);
    EXPECT_FALSE(socketCon.Connected());
    // The settings were saved before the attempt.
    EXPECT_EQ(Settings().ReadInteger(Section, QStringLiteral("LocalServer"), -1), 0);

    dialog->BitBtn1->click();
    EXPECT_EQ(notifier.boxes.size(), 2);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(terminateRequests, 0);
}

enum class Dismiss { CloseButton, EscKey, CloseBox };

struct DismissCase
{
    const char *name;
    bool startUpMode;
    Dismiss how;
    int terminateRequests;
};

class Dismissing : public NetworkSettingsDialog, public ::testing::WithParamInterface<DismissCase>
{
};

TEST_P(Dismissing, ClosesCancelledAndEndsTheProgramOnlyFromStartUpModesCloseButton)
{
    const DismissCase &c = GetParam();
    const QByteArray settings = "[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\n";
    WriteSettings(settings);
    auto dialog = MakeDialog();
    dialog->SetTerminateOnClose(c.startUpMode);
    ModalWatchdog watchdog;
    WhenModalLoopRuns([&] {
        dialog->edt_ipadder->setText(QStringLiteral("10.1.1.1"));
        switch (c.how) {
        case Dismiss::CloseButton: dialog->BitBtn2->click(); break;
        case Dismiss::EscKey: QTest::keyClick(dialog->edt_ipadder, Qt::Key_Escape); break;
        case Dismiss::CloseBox: dialog->close(); break;
        }
    });
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);

    EXPECT_FALSE(watchdog.fired);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(terminateRequests, c.terminateRequests);
    EXPECT_EQ(folder.read(QStringLiteral("Kandrilox.ini")), settings);
}

INSTANTIATE_TEST_SUITE_P(Modes, Dismissing,
                         ::testing::Values(DismissCase{"StartUpClose", true, Dismiss::CloseButton, 1},
                                           DismissCase{"StartUpEsc", true, Dismiss::EscKey, 1},
                                           DismissCase{"StartUpCloseBox", true, Dismiss::CloseBox, 0},
                                           DismissCase{"NormalClose", false, Dismiss::CloseButton, 0},
                                           DismissCase{"NormalEsc", false, Dismiss::EscKey, 0},
                                           DismissCase{"NormalCloseBox", false, Dismiss::CloseBox, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(NetworkSettingsDialog, OpensCentredWithOkAsDefaultButtonFirstInTabOrder)
{
    auto dialog = MakeDialog();
    dialog->show();
    const QRect screen = dialog->screen()->availableGeometry();
    EXPECT_LE((dialog->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_TRUE(dialog->BitBtn1->isDefault());
    EXPECT_EQ(dialog->nextInFocusChain(), dialog->BitBtn1);
    EXPECT_EQ(dialog->BitBtn1->nextInFocusChain(), dialog->BitBtn2);
}

} // namespace

// The remote data module: server address from the settings file, the start-up
// connection and its failure path, and the card holder lookup.

#include "platform/errors.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "shell/recordingnotifier.h"
#include "store/dmrmt.h"
#include "storebackend.h"

#include <QDateTime>
#include <QTcpServer>

namespace {

TEST(DmrmtAddressTest, ReadsServerAddressAndPortFromTheSettingsFile)
{
    struct Case
    {
        const char *ini;
        const char *ip;
        int port;
    } cases[] = {
        {nullptr, "127.0.0.1", 2008},
        {"[SystemInfo]\nServerIp=10.0.0.5\nRmtPort=3000\n", "10.0.0.5", 3000},
        {"[systeminfo]\nserverip=192.168.1.9\n", "192.168.1.9", 2008},
        {"[SystemInfo]\nRmtPort=0x7d1\n[Other]\nServerIp=1.2.3.4\n", "127.0.0.1", 2001},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ini ? c.ini : "(no settings file)");
        TempFolder folder;
        if (c.ini)
            folder.write(QStringLiteral("Kandrilox.ini"), c.ini);
        const kx::ProgramFolder programFolder(folder.path());
        TLockSystemInfo info;
        RecordingNotifier notifier;
        Tdmrmt module(programFolder, info, notifier);
        EXPECT_EQ(info.ServerIp, c.ip);
        EXPECT_EQ(info.ServerPort, c.port);
        EXPECT_EQ(module.cds_public.ProviderName(), "dsp_public");
        EXPECT_EQ(module.cds_readcard.ProviderName(), "dsp_readcard");
    }
}

TEST(DmrmtConnectTest, FailedConnectionWarnsThenLogsThenShowsTheNetworkSettings)
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    TempFolder folder;
    folder.write(QStringLiteral("Kandrilox.ini"),
                 QStringLiteral("[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=%1\n").arg(closedPort).toUtf8());
    const kx::ProgramFolder programFolder(folder.path());
    TLockSystemInfo info;
    RecordingNotifier notifier;
    Tdmrmt module(programFolder, info, notifier);
    int shown = 0;
    module.ShowNetworkSettings = [&] {
        ++shown;
        // The box and the registration note come before the dialog.
        EXPECT_EQ(notifier.boxes.size(), 1);
        EXPECT_EQ(notifier.lines.size(), 1);
    };

    EXPECT_NO_THROW(module.ConnectServer());
    ASSERT_EQ(notifier.boxes.size(), 1);
    EXPECT_EQ(notifier.boxes[0].text, "wrong 1 Server connect failed,please reset");
    EXPECT_EQ(notifier.boxes[0].caption, "wrong");
    EXPECT_EQ(notifier.boxes[0].icon, kx::Notifier::Icon::Warning);
    ASSERT_EQ(notifier.lines.size(), 1);
    EXPECT_TRUE(notifier.lines[0].contains(QStringLiteral("nothing to register")))
        << notifier.lines[0].toStdString();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(module.SocketCon.Connected());
    EXPECT_EQ(module.SocketCon.ServerName(), LockServerName);
}

class DmrmtTest : public StoreBackendTest
{
protected:
    void SetUp() override
    {
        StoreBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_folder.write(
            QStringLiteral("Kandrilox.ini"),
            QStringLiteral("[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=%1\n").arg(m_server->Port()).toUtf8());
        m_module = std::make_unique<Tdmrmt>(m_programFolder, m_info, m_notifier);
        m_module->ConnectServer();
    }

    void AppendCard(const QString &rom, const QVariant &holder)
    {
        TClientDataSet &make = m_module->cds_writemakerecord;
        make.Close();
        make.SetCommandText(QStringLiteral("select top 1 * from MakeCardRecord "));
        make.Open();
        make.Append();
        make.SetField(QStringLiteral("Rom"), rom);
        make.SetField(QStringLiteral("Holder"), holder);
        make.SetField(QStringLiteral("Room"), QStringLiteral("101"));
        make.SetField(QStringLiteral("StartTime"), QDateTime::currentDateTime());
        ASSERT_EQ(make.ApplyUpdates(0), 0);
    }

    kx::ProgramFolder m_programFolder{m_folder.path()};
    TLockSystemInfo m_info;
    RecordingNotifier m_notifier;
    std::unique_ptr<Tdmrmt> m_module;
};

TEST_P(DmrmtTest, ConnectsAtStartUpWithoutTellingAnyone)
{
    EXPECT_TRUE(m_module->SocketCon.Connected());
    EXPECT_TRUE(m_notifier.boxes.isEmpty());
    EXPECT_TRUE(m_notifier.lines.isEmpty());
}

TEST_P(DmrmtTest, CardHolderComesFromTheValidRecordOfTheCardsRomText)
{
    const Word card[9] = {0x12, 0x34, 0x56, 0x78, 1, 2, 3, 4, 5};
    const Word unknown[9] = {0x01, 0x02, 0x03, 0x04};
    const Word nullHolder[9] = {0x0A, 0x0B, 0x0C, 0x0D};
    AppendCard(QStringLiteral("78563412"), QStringLiteral("Li"));
    AppendCard(QStringLiteral("0D0C0B0A"), QVariant());

    EXPECT_EQ(m_module->GetCardHolder(card), "Li");
    EXPECT_EQ(m_module->GetCardHolder(unknown), "");
    EXPECT_THROW(m_module->GetCardHolder(nullHolder), kx::StoreError);

    TClientDataSet &out = m_module->cds_writecheckoutrecord;
    out.SetCommandText(
        QStringLiteral("update MakeCardRecord set cardstatus=1,explain= 'Revoke time:2024-05-22 "
                       "11:58:03' Where (Room =101)and(cardstatus=0)"));
    out.Execute();
    EXPECT_EQ(m_module->GetCardHolder(card), "") << "a revoked card has no holder";
    EXPECT_TRUE(m_module->cds_public.Active()) << "the lookup's query stays open";
}

KANDRILOX_ON_EVERY_BACKEND(DmrmtTest);

} // namespace

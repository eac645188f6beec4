#include "common/tempfolder.h"
#include "modal.h"
#include "recordingnotifier.h"

#include "platform/programfolder.h"
#include "server/cardoperations.h"
#include "server/connectionlog.h"
#include "server/interfaceserver.h"
#include "shell/locksysteminfo.h"
#include "shell/mainwindow.h"
#include "store/setportipadder.h"
#include "store/socketconnection.h"

#include <QAction>
#include <QFrame>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTcpSocket>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

// The window tests send no requests; every operation fails if one arrives.
class NoCardOperations : public kx::CardOperations
{
public:
    int CheckRoom(const QByteArray &) override { return 17; }
    int CheckInCard(const TCardInterface &) override { return -1; }
    void AddCardRecord(const TCardInterface &) override {}
    void AddGuestRecord(const TCardInterface &) override {}
    int CheckOut(const QByteArray &) override { return 17; }
    int ReadCardInfo(TCardInterface &) override { return -1; }
    int DuplicateKey(const TCardInterface &) override { return -1; }
    int OneShotKey(const TCardInterface &) override { return -1; }
};

class MainWindow : public ::testing::Test
{
protected:
    MainWindow()
        : programFolder(folder.path()), server(ops, programFolder, log, notifier),
          window(
              log, server, [this]() -> Tfrm_setportipadder & { return NetworkSettings(); },
              [this] { ++terminateRequests; })
    {
    }

    Tfrm_setportipadder &NetworkSettings()
    {
        if (!networkSettings) {
            networkSettings = std::make_unique<Tfrm_setportipadder>(programFolder, info, socketCon, notifier,
                                                                    [this] { ++terminateRequests; });
            ++networkSettingsCreated;
        }
        return *networkSettings;
    }

    TempFolder folder;
    kx::ProgramFolder programFolder;
    RecordingNotifier notifier;
    NoCardOperations ops;
    kx::ConnectionLog log;
    kx::InterfaceServer server;
    TLockSystemInfo info;
    TSocketConnection socketCon;
    std::unique_ptr<Tfrm_setportipadder> networkSettings;
    int networkSettingsCreated = 0;
    int terminateRequests = 0;
    Tfrm_main window;
};

TEST_F(MainWindow, ComponentsCarryTheirNamesAndLayout)
{
    EXPECT_EQ(window.objectName(), QStringLiteral("frm_main"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Brokan lock system interface client"));
    for (const char *name : {"lstview_connectionlist", "Splitter1", "Panel1", "BitBtn1", "BitBtn2", "BitBtn3",
                             "PopupMenu", "atn_Close", "atn_open", "atn_clean", "atn_networkseting"})
        EXPECT_NE(window.findChild<QObject *>(QLatin1String(name)), nullptr) << name;

    window.show();
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_LE((window.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_EQ(window.Panel1->height(), 86);
    EXPECT_EQ(window.Splitter1->handleWidth(), 3);
    const struct
    {
        QPushButton *button;
        int left;
        QString caption;
    } buttons[] = {{window.BitBtn3, 112, QStringLiteral("Network setting")},
                   {window.BitBtn1, 240, QStringLiteral("Clean data")},
                   {window.BitBtn2, 368, QStringLiteral("Close")}};
    for (const auto &b : buttons) {
        EXPECT_EQ(b.button->parentWidget(), window.Panel1);
        EXPECT_EQ(b.button->geometry(), QRect(b.left, 16, 120, 60)) << b.caption.toStdString();
        EXPECT_EQ(b.button->text(), b.caption);
    }
    const QHeaderView *header = window.lstview_connectionlist->header();
    EXPECT_EQ(header->sectionSize(0), 100);
    EXPECT_EQ(header->sectionSize(1), 100);
    // The time column is 115 wide at least, and wide enough for a whole time;
    // the operation column takes what is left, so nothing scrolls sideways.
    const QString time = QStringLiteral("2026-12-11 12:37:00");
    EXPECT_GE(header->sectionSize(3), 115);
    EXPECT_GT(header->sectionSize(3), window.lstview_connectionlist->fontMetrics().horizontalAdvance(time));
    EXPECT_GE(header->sectionSize(2), 150);
    EXPECT_LE(header->length(), window.lstview_connectionlist->viewport()->width());
    window.hide();
}

TEST_F(MainWindow, CleanDataEmptiesTheLogAndTheNextEventIsTheOnlyRow)
{
    log.AddLogRow(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"),
                  QStringLiteral("Client connection"));
    log.AddLogRow(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"),
                  QStringLiteral("Guest check in ok"));
    ASSERT_EQ(window.lstview_connectionlist->model()->rowCount(), 2);

    window.BitBtn1->click();
    EXPECT_EQ(window.lstview_connectionlist->model()->rowCount(), 0);

    log.AddLogRow(QStringLiteral("127.0.0.2"), QString(), QStringLiteral("Client disconnect"));
    const QAbstractItemModel *model = window.lstview_connectionlist->model();
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->index(0, 2).data().toString(), QStringLiteral("Client disconnect"));
}

TEST_F(MainWindow, LogFollowsNewRowsWhileItsEndIsInView)
{
    QTreeView *view = window.lstview_connectionlist;
    const auto lastRowInView = [&] {
        const QModelIndex last = view->model()->index(view->model()->rowCount() - 1, 0);
        return view->viewport()->rect().contains(view->visualRect(last));
    };
    const auto addRows = [&](int count) {
        for (int i = 0; i < count; ++i)
            log.AddLogRow(QStringLiteral("127.0.0.1"), QString(), QStringLiteral("Client connection"));
        QCoreApplication::processEvents();
    };

    // Rows written while the window is hidden are in view when it opens.
    addRows(60);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    EXPECT_TRUE(lastRowInView());
    for (int round = 0; round < 3; ++round) {
        addRows(40);
        EXPECT_TRUE(lastRowInView()) << "round " << round;
    }

    // Scrolled back to the first rows, the view stays there.
    view->scrollToTop();
    addRows(5);
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(lastRowInView());
    // Back at the end, it follows again.
    view->scrollToBottom();
    addRows(5);
    EXPECT_TRUE(lastRowInView());
    window.hide();
}

TEST_F(MainWindow, MenuCloseStopsListeningDropsConnectionsAndRequestsTermination)
{
    server.Listen(QHostAddress::LocalHost, 0);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.ServerPort());
    ASSERT_TRUE(client.waitForConnected(5000));
    QTRY_COMPARE(log.rowCount(), 1); // the server has taken the connection

    window.atn_Close->trigger();

    EXPECT_FALSE(server.IsListening());
    EXPECT_EQ(terminateRequests, 1);
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);

    window.atn_Close->trigger(); // not listening any more: only the request
    EXPECT_EQ(terminateRequests, 2);
}

TEST_F(MainWindow, OpenShowsTheWindowModallyAndCloseOnlyHidesIt)
{
    for (const bool useCloseBox : {false, true}) {
        ModalWatchdog watchdog;
        bool sawModal = false;
        WhenModalLoopRuns([&] {
            sawModal = window.isVisible() && window.isModal();
            if (useCloseBox)
                window.close();
            else
                window.BitBtn2->click();
        });
        window.atn_open->trigger();
        EXPECT_FALSE(watchdog.fired);
        EXPECT_TRUE(sawModal);
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.result(), QDialog::Rejected);
    }
    EXPECT_EQ(terminateRequests, 0);
}

TEST_F(MainWindow, DoubleClickOpensTheHiddenWindowAndOnlyRaisesTheShownOne)
{
    ModalWatchdog watchdog;
    int opened = 0;
    bool secondReturned = false;
    WhenModalLoopRuns([&] {
        ++opened;
        window.WMTrayNotify(QSystemTrayIcon::DoubleClick); // would block here if it opened again
        secondReturned = true;
        EXPECT_TRUE(window.isVisible());
        window.BitBtn2->click();
    });
    window.WMTrayNotify(QSystemTrayIcon::DoubleClick);

    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(secondReturned);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindow, RightClickShowsTheMenuOnlyWhileTheWindowIsHidden)
{
    window.WMTrayNotify(QSystemTrayIcon::Context);
    QTRY_VERIFY(window.PopupMenu->isVisible());
    const QList<QAction *> items = window.PopupMenu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0], window.atn_Close);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2], window.atn_open);
    EXPECT_TRUE(window.atn_open->isVisible());
    EXPECT_FALSE(window.isVisible());
    window.PopupMenu->hide();

    ModalWatchdog watchdog;
    bool menuWhileShown = true;
    WhenModalLoopRuns([&] {
        window.WMTrayNotify(QSystemTrayIcon::Context);
        QCoreApplication::processEvents();
        menuWhileShown = window.PopupMenu->isVisible();
        window.BitBtn2->click();
    });
    window.atn_open->trigger();
    EXPECT_FALSE(menuWhileShown);
}

TEST_F(MainWindow, OtherTrayActivityDoesNothing)
{
    for (const auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        window.WMTrayNotify(reason);
        QCoreApplication::processEvents();
        EXPECT_FALSE(window.isVisible()) << reason;
        EXPECT_FALSE(window.PopupMenu->isVisible()) << reason;
    }
}

TEST_F(MainWindow, NetworkSettingOpensTheOneDialogInNormalMode)
{
    folder.write(QStringLiteral("Kandrilox.ini"), "[SystemInfo]\nServerIp=10.0.0.5\nLocalServer=0\n");
    NetworkSettings(); // made at start-up, in start-up mode
    ASSERT_TRUE(networkSettings->TerminateOnClose());

    for (int opening = 0; opening < 2; ++opening) {
        ModalWatchdog watchdog;
        bool normalMode = false;
        WhenModalLoopRuns([&] {
            normalMode = networkSettings->isVisible() && !networkSettings->TerminateOnClose();
            networkSettings->BitBtn2->click();
        });
        window.BitBtn3->click();
        EXPECT_FALSE(watchdog.fired);
        EXPECT_TRUE(normalMode);
    }
    EXPECT_EQ(networkSettingsCreated, 1);
    EXPECT_EQ(terminateRequests, 0);
}

TEST_F(MainWindow, WithoutNotificationAreaTheWindowOpensAndSaysWhy)
{
    window.ShowInTray(notifier, false);
    ASSERT_NE(window.TrayIcon, nullptr);
    EXPECT_EQ(window.TrayIcon->toolTip(), QStringLiteral("Brokan lock system interface client"));
    EXPECT_FALSE(window.TrayIcon->icon().isNull());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(notifier.lines.size(), 1);
    EXPECT_TRUE(notifier.lines.first().contains(QStringLiteral("notification area")));
    window.BitBtn2->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindow, WithNotificationAreaTheWindowStaysHidden)
{
    window.ShowInTray(notifier, true);
    ASSERT_NE(window.TrayIcon, nullptr);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(notifier.lines.isEmpty());
}

} // namespace

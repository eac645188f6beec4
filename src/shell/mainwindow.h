#pragma once

#include <QDialog>
#include <QSystemTrayIcon>
#include <functional>

class QAction;
class QFrame;
class QMenu;
class QPushButton;
class QSplitter;
class QTreeView;
class Tfrm_setportipadder;

namespace kx {
class ConnectionLog;
class InterfaceServer;
class Notifier;
} // namespace kx

// The main window: the connection log and three buttons. It lives hidden and
// is reached through the notification-area icon; it is only ever shown
// modally, and closing it hides it again.
class Tfrm_main : public QDialog
{
    Q_OBJECT

public:
    static constexpr int TrayIconId = 57051;

    // networkSettings gives the one network settings dialog, creating it on first need.
    Tfrm_main(kx::ConnectionLog &log, kx::InterfaceServer &server,
              std::function<Tfrm_setportipadder &()> networkSettings, std::function<void()> requestTerminate,
              QWidget *parent = nullptr);
    ~Tfrm_main() override;

    static QString TrayTip();

    // Adds the notification-area icon with the application icon and the tip.
    // Returns false when no notification area exists right now (the icon still
    // appears if one starts later).
    bool AddTrayIcon();
    // Start-up's last step before the message loop: adds the icon and, where
    // no notification area exists, says so and opens the window so that the
    // log can still be reached.
    void ShowInTray(kx::Notifier &notifier, bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable());

    // The notification area's report of mouse activity on the icon.
    void WMTrayNotify(QSystemTrayIcon::ActivationReason reason);

    void atn_CloseExecute();
    void atn_openExecute();
    void atn_cleanExecute();
    void atn_networksetingExecute();
    void BitBtn2Click();

    QTreeView *lstview_connectionlist;
    QSplitter *Splitter1;
    QFrame *Panel1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;
    QAction *atn_Close;
    QAction *atn_open;
    QAction *atn_clean;
    QAction *atn_networkseting;
    QMenu *PopupMenu;
    QSystemTrayIcon *TrayIcon = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void BuildLayout();
    void BuildActions();
    void FollowNewRows();
    QPushButton *AddPanelButton(const char *name, const QString &caption, int left);
    void BringToFront();

    kx::ConnectionLog &m_log;
    kx::InterfaceServer &m_server;
    std::function<Tfrm_setportipadder &()> m_networkSettings;
    std::function<void()> m_requestTerminate;
    bool m_followLog = true; // the view shows the end of the log
};

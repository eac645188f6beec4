#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TSocketConnection;
struct TLockSystemInfo;

namespace kx {
class Notifier;
class ProgramFolder;
} // namespace kx

// The network settings dialog: the application server's address and whether
// that server runs on this machine, saved to "Kandrilox.ini". In start-up mode
// "Ok" also connects again (closing only on success) and "Close" ends the
// program; in normal mode "Ok" saves and closes and "Close" only closes.
class Tfrm_setportipadder : public QDialog
{
    Q_OBJECT

public:
    Tfrm_setportipadder(const kx::ProgramFolder &folder, TLockSystemInfo &info, TSocketConnection &socketCon,
                        kx::Notifier &notifier, std::function<void()> requestTerminate,
                        QWidget *parent = nullptr);
    ~Tfrm_setportipadder() override;

    void ReadNetworkSettings();
    void SetTerminateOnClose(bool value) { m_terminateOnClose = value; }
    bool TerminateOnClose() const { return m_terminateOnClose; }
    QString SavedServerIp() const { return m_savedServerIp; }

    // The port that ReadNetworkSettings puts into the settings record and that
    // start-up mode connects to: always kx::FixedServerPort in the program.
    int FixedPort;

    QGroupBox *GroupBox1;
    QCheckBox *chk_localserver;
    QLabel *Label4;
    QLineEdit *edt_ipadder;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void chk_localserverClick();
    void BitBtn1Click();
    void BitBtn2Click();
    bool SaveNetworkSettings();
    bool Reconnect();

    const kx::ProgramFolder &m_folder;
    TLockSystemInfo &m_info;
    TSocketConnection &m_socketCon;
    kx::Notifier &m_notifier;
    std::function<void()> m_requestTerminate;
    bool m_terminateOnClose = true;
    QString m_savedServerIp;
};

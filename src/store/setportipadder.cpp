#include "setportipadder.h"

#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/profile.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "shell/windowplacement.h"
#include "store/dmrmt.h"
#include "store/socketconnection.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString Section = QStringLiteral("SystemInfo");
const QString LocalAddress = QStringLiteral("127.0.0.1");

} // namespace

Tfrm_setportipadder::Tfrm_setportipadder(const kx::ProgramFolder &folder, TLockSystemInfo &info,
                                         TSocketConnection &socketCon, kx::Notifier &notifier,
                                         std::function<void()> requestTerminate, QWidget *parent)
    : QDialog(parent), FixedPort(kx::FixedServerPort), m_folder(folder), m_info(info), m_socketCon(socketCon),
      m_notifier(notifier), m_requestTerminate(std::move(requestTerminate))
{
    setObjectName(QStringLiteral("frm_setportipadder"));
    setWindowTitle(QStringLiteral("Network setting"));
    resize(350, 254);
    QFont dialogFont = font();
    // "宋体" where it exists, else an installed CJK face.
    dialogFont.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei")});
    dialogFont.setPixelSize(13);
    setFont(dialogFont);

    // Created first so that it comes first in the tab order and is the default button.
    BitBtn1 = new QPushButton(QStringLiteral("Ok"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(152, 181, 75, 25);
    BitBtn2 = new QPushButton(QStringLiteral("Close"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(240, 181, 75, 25);
    BitBtn2->setAutoDefault(false);

    GroupBox1 = new QGroupBox(QStringLiteral("Lock system interface network setting"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(16, 16, 297, 153);
    chk_localserver = new QCheckBox(QStringLiteral("Local as server"), GroupBox1);
    chk_localserver->setObjectName(QStringLiteral("chk_localserver"));
    chk_localserver->setGeometry(96, 32, 121, 17);
    Label4 = new QLabel(QStringLiteral("Server IP:"), GroupBox1);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->move(9, 77);
    Label4->adjustSize();
    edt_ipadder = new QLineEdit(GroupBox1);
    edt_ipadder->setObjectName(QStringLiteral("edt_ipadder"));
    edt_ipadder->setGeometry(96, 73, 185, 21);
    Label4->setBuddy(edt_ipadder);

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, chk_localserver);
    setTabOrder(chk_localserver, edt_ipadder);

    // toggled fires for a click and for a programmatic change of state, but
    // not when the state stays the same: exactly when the click handler runs.
    connect(chk_localserver, &QCheckBox::toggled, this, &Tfrm_setportipadder::chk_localserverClick);
    connect(BitBtn1, &QPushButton::clicked, this, &Tfrm_setportipadder::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tfrm_setportipadder::BitBtn2Click);

    FormCreate();
}

Tfrm_setportipadder::~Tfrm_setportipadder() = default;

void Tfrm_setportipadder::FormCreate()
{
    m_terminateOnClose = true;
    ReadNetworkSettings();
}

void Tfrm_setportipadder::ReadNetworkSettings()
{
    const kx::ProfileFile ini(m_folder.SettingsPath());
    m_info.ServerIp = ini.ReadString(Section, QStringLiteral("ServerIp"), QStringLiteral("192.168.0.100"));
    m_info.ServerPort = FixedPort;
    m_info.LocalServer = ini.ReadInteger(Section, QStringLiteral("LocalServer"), 1);
}

void Tfrm_setportipadder::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    kx::CentreOnScreen(*this);
    FormShow();
}

void Tfrm_setportipadder::FormShow()
{
    edt_ipadder->setText(m_info.ServerIp);
    m_savedServerIp = edt_ipadder->text();
    chk_localserver->setChecked(m_info.LocalServer != 0);
    edt_ipadder->setEnabled(!chk_localserver->isChecked());
}

void Tfrm_setportipadder::chk_localserverClick()
{
    const bool local = chk_localserver->isChecked();
    edt_ipadder->setEnabled(!local);
    edt_ipadder->setText(local ? LocalAddress : m_savedServerIp);
}

void Tfrm_setportipadder::keyPressEvent(QKeyEvent *event)
{
    // Esc presses "Close"; the close box alone takes QDialog's plain reject.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        BitBtn2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool Tfrm_setportipadder::SaveNetworkSettings()
{
    try {
        kx::ProfileFile ini(m_folder.SettingsPath());
        ini.WriteString(Section, QStringLiteral("ServerIp"), edt_ipadder->text());
        ini.WriteInteger(Section, QStringLiteral("LocalServer"), chk_localserver->isChecked() ? 1 : 0);
    } catch (const kx::IniWriteError &error) {
        m_notifier.ReportError(error.text());
        return false;
    }
    return true;
}

bool Tfrm_setportipadder::Reconnect()
{
    if (ConnectLockServer(m_socketCon, edt_ipadder->text(), m_info.ServerPort).isEmpty())
        return true;
    // Whatever the reason, the user gets the same warning and may try again.
    WarnServerConnectFailed(m_notifier);
    edt_ipadder->setFocus();
    return false;
}

void Tfrm_setportipadder::BitBtn1Click()
{
    if (!SaveNetworkSettings())
        return;
    ReadNetworkSettings();
    if (m_terminateOnClose && !Reconnect())
        return;
    accept();
}

void Tfrm_setportipadder::BitBtn2Click()
{
    if (m_terminateOnClose && m_requestTerminate)
        m_requestTerminate();
    reject();
}

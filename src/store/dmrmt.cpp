#include "dmrmt.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "platform/errors.h"
#include "platform/notifier.h"
#include "platform/profile.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"

#include <QDir>

Tdmrmt *dmrmt = nullptr;

Tdmrmt::Tdmrmt(const kx::ProgramFolder &folder, TLockSystemInfo &info, kx::Notifier &notifier)
    // The datasets are bound to SocketCon and their providers as they are made,
    // in the order they are declared.
    : cds_readcard(SocketCon, QStringLiteral("dsp_readcard")),
      cds_writemakerecord(SocketCon, QStringLiteral("dsp_writemakerecord")),
      cds_writecheckinrecord(SocketCon, QStringLiteral("dsp_writecheckinrecord")),
      cds_writecheckoutrecord(SocketCon, QStringLiteral("dsp_writecheckoutrecord")),
      cds_public(SocketCon, QStringLiteral("dsp_public")), m_folder(folder), m_info(info),
      m_notifier(notifier)
{
    DataModuleCreate();
}

void Tdmrmt::DataModuleCreate()
{
    ReadServerAddress();
    SocketCon.Station = StationName(m_folder);
}

QString StationName(const kx::ProgramFolder &folder)
{
    // One station per program folder on a machine (the single-instance lock
    // holds per folder): the two together name it, the same after a restart.
    const QByteArray where = QSysInfo::machineHostName().toUtf8() + '\n' +
                             QFile::encodeName(QFileInfo(folder.dir()).absoluteFilePath());
    return QString::fromLatin1(QCryptographicHash::hash(where, QCryptographicHash::Sha256).toHex().left(32));
}

void Tdmrmt::ReadServerAddress()
{
    const kx::ProfileFile settings(m_folder.SettingsPath());
    m_info.ServerIp = settings.ReadString(QStringLiteral("SystemInfo"), QStringLiteral("ServerIp"),
                                          QStringLiteral("127.0.0.1"));
    m_info.ServerPort = settings.ReadInteger(QStringLiteral("SystemInfo"), QStringLiteral("RmtPort"), 2008);
    ReadStoreSecurity(settings, SocketCon, m_folder);
}

void ReadStoreSecurity(const kx::ProfileFile &settings, TSocketConnection &connection,
                       const kx::ProgramFolder &folder)
{
    const QString section = QStringLiteral("Store");
    const QString keyFile = settings.ReadString(section, QStringLiteral("KeyFile"), QString()).trimmed();
    connection.KeyFile = keyFile.isEmpty()               ? QString()
                         : QDir::isAbsolutePath(keyFile) ? keyFile
                                                         : folder.Resolve(keyFile);
    connection.Tls = settings.ReadInteger(section, QStringLiteral("Tls"), 0) != 0;
    connection.TlsFingerprint =
        settings.ReadString(section, QStringLiteral("TlsFingerprint"), QString()).trimmed();
}

QString ConnectLockServer(TSocketConnection &connection, const QString &address, int port)
{
    connection.Address = address;
    connection.Port = port;
    connection.SetServerName(LockServerName); // closes any open connection
    try {
        connection.Open();
        return QString();
    } catch (const kx::Error &e) {
        return e.text();
    }
}

void WarnServerConnectFailed(kx::Notifier &notifier)
{
    notifier.MessageBox(QStringLiteral("wrong 1 Server connect failed,please reset"), QStringLiteral("wrong"),
                        kx::Notifier::Icon::Warning);
}

void Tdmrmt::ConnectServer()
{
    const QString reason = ConnectLockServer(SocketCon, m_info.ServerIp, m_info.ServerPort);
    if (reason.isEmpty())
        return;
    WarnServerConnectFailed(m_notifier);
    // The data-access client is built into this program: there is no library
    // to register, so the registration step only says so (with the cause).
    m_notifier.LogLine(
        QStringLiteral("%1; nothing to register for the records store client on this system").arg(reason));
    if (ShowNetworkSettings)
        ShowNetworkSettings();
}

QString Tdmrmt::GetCardHolder(const Word *cardRom)
{
    const QString rom = MakeRomText(cardRom);
    cds_public.Close();
    cds_public.SetCommandText(
        QStringLiteral("Select * From MakeCardRecord Where (cardstatus=0) And (Rom='%1')").arg(rom));
    cds_public.Open();
    if (cds_public.IsEmpty())
        return QString();
    return cds_public.FieldAsString(QStringLiteral("Holder"));
}

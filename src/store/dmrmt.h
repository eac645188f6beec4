#pragma once

#include "clientdataset.h"
#include "socketconnection.h"

#include "encoding/lockmake.h"

#include <functional>

struct TLockSystemInfo;

namespace kx {
class Notifier;
class ProfileFile;
class ProgramFolder;
} // namespace kx

inline const QString LockServerName = QStringLiteral("LockInterfaceServer.TLockInterfaceServer");

// Points connection at the lock server object on address:port (closing any
// open connection) and opens it. Gives the error text, empty when connected.
QString ConnectLockServer(TSocketConnection &connection, const QString &address, int port);
// Section "Store" of the settings: the station's key file (KeyFile, relative
// to the program folder or absolute), Tls=1 and TlsFingerprint.
void ReadStoreSecurity(const kx::ProfileFile &settings, TSocketConnection &connection,
                       const kx::ProgramFolder &folder);
// The name this station gives itself to the records store: the same for one
// program folder on one machine, and nothing that tells a guest apart.
QString StationName(const kx::ProgramFolder &folder);
// The warning the user gets when the records store cannot be reached.
void WarnServerConnectFailed(kx::Notifier &notifier);

// The remote data module: the connection to the application server and the
// five client datasets the card operations work through.
class Tdmrmt
{
public:
    // Runs DataModuleCreate: reads the server address into info and binds the datasets.
    Tdmrmt(const kx::ProgramFolder &folder, TLockSystemInfo &info, kx::Notifier &notifier);

    void ReadServerAddress();
    // Connects SocketCon; on failure warns, runs the registration step and
    // shows the network settings dialog (ShowNetworkSettings). Reports nothing.
    void ConnectServer();
    // Holder of the valid card record with this card's Rom text, or empty.
    QString GetCardHolder(const Word *cardRom);

    // Called by ConnectServer's failure path; the shell sets it to open the
    // network settings dialog in its start-up mode. Unset: nothing is shown.
    std::function<void()> ShowNetworkSettings;

    TSocketConnection SocketCon;
    TClientDataSet cds_readcard;
    TClientDataSet cds_writemakerecord;
    TClientDataSet cds_writecheckinrecord;
    TClientDataSet cds_writecheckoutrecord;
    TClientDataSet cds_public;

private:
    void DataModuleCreate();

    const kx::ProgramFolder &m_folder;
    TLockSystemInfo &m_info;
    kx::Notifier &m_notifier;
};

// Set by the program's start-up only.
extern Tdmrmt *dmrmt;

#pragma once

#include "encoding/encoderbinding.h"
#include "platform/datetime.h"
#include "platform/programfolder.h"
#include "platform/requestthread.h"
#include "platform/singleinstance.h"
#include "server/connectionlog.h"
#include "server/hostnames.h"

#include <memory>

class Tdmrmt;

namespace kx {

class CardJournal;
class CardService;
class InterfaceServer;
class Notifier;
class Recorder;

inline const QString ApplicationTitle = QStringLiteral("Hotel lock system interface client");

// The parts of a running Kandrilox that need no display, brought up one step
// at a time in start-up order by the windowed or the headless entry, and torn
// down in reverse order.
class System
{
public:
    // programDir: the executable's folder (encoder library); folder: where the
    // settings and data files are (the same, or --home).
    System(const ProgramFolder &folder, const QString &programDir, Notifier &notifier);
    ~System();

    // False when another copy already runs for this program folder; it has
    // been told to the user (beep and message).
    bool RefuseSecondCopy(const QString &lockDir);
    // The recorder told of requests, store and encoder calls (for metrics);
    // set before the data module is created. Unset: none.
    void SetRecorder(Recorder *recorder) { m_recorder = recorder; }
    // Creates dmrmt; its creation reads the server address and port.
    void CreateDataModule();
    Tdmrmt &DataModule() { return *m_dataModule; }
    // Loads LockSystemInfo, loads the encoder library and initialises it with
    // the settings file's path, on the request thread where every later call
    // to the library is made. Encoder problems are reported; start-up goes on.
    void LoadSettingsAndEncoder();
    // Creates the card operations and the listener and starts listening;
    // raises kx::Error when the port cannot be taken. Once the event loop
    // runs, what the card journal holds from an interrupted run is reported
    // and, where it can be, mended, on the request thread.
    void StartListener(quint16 port);

    const ProgramFolder &Folder() const { return m_folder; }
    Notifier &UserNotifier() { return m_notifier; }
    ConnectionLog &Log() { return m_log; }
    InterfaceServer &Server() { return *m_server; }
    EncoderBinding &Encoder() { return m_encoder; }
    // Where requests wait for the records store and the encoder.
    RequestThread &Requests() { return m_requests; }

private:
    ProgramFolder m_folder;
    QString m_programDir;
    Notifier &m_notifier;
    Recorder *m_recorder = nullptr;
    SystemClock m_clock;
    // Made before the data module and so ended after it: the records store's
    // connection, opened on this thread, is deleted there.
    RequestThread m_requests;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<Tdmrmt> m_dataModule;
    EncoderBinding m_encoder;
    ConnectionLog m_log;
    HostNames m_hostNames;
    std::unique_ptr<CardJournal> m_journal;
    std::unique_ptr<CardService> m_cards;
    std::unique_ptr<InterfaceServer> m_server;
};

} // namespace kx

#include "system.h"

#include "encoding/cardservice.h"
#include "platform/errors.h"
#include "platform/notifier.h"
#include "server/interfaceserver.h"
#include "shell/locksysteminfo.h"
#include "store/dmrmt.h"

#include <QHostAddress>
#include <cstdio>

namespace kx {

System::System(const ProgramFolder &folder, const QString &programDir, Notifier &notifier)
    : m_folder(folder), m_programDir(programDir), m_notifier(notifier), m_log(m_clock)
{
}

System::~System()
{
    if (m_server)
        m_server->Close();
    m_server.reset();
    // What was posted to the request thread (the start-up mending) uses the
    // card operations: let it end first.
    if (m_cards)
        m_requests.Run([] {});
    m_cards.reset();
    m_journal.reset();
    if (dmrmt == m_dataModule.get())
        dmrmt = nullptr;
}

bool System::RefuseSecondCopy(const QString &lockDir)
{
    m_instance = std::make_unique<SingleInstance>(ApplicationTitle, lockDir);
    if (m_instance->Acquire())
        return false;
    m_notifier.Beep();
    m_notifier.MessageBox(QStringLiteral("Hotel lock system interface client already running!"),
                          QStringLiteral("Sorry!"), Notifier::Icon::Information);
    return true;
}

void System::CreateDataModule()
{
    m_dataModule = std::make_unique<Tdmrmt>(m_folder, LockSystemInfo, m_notifier);
    m_dataModule->SocketCon.SetRecorder(m_recorder);
    dmrmt = m_dataModule.get();
}

void System::LoadSettingsAndEncoder()
{
    const QString settingsPath = m_folder.SettingsPath();
    TLockSystemInfo fresh;
    LoadLockSystemInfo(fresh, settingsPath);
    LockSystemInfo = fresh;

    m_encoder.SetRecorder(m_recorder);
    if (!m_encoder.Load(EncoderLibraryPath(settingsPath, m_programDir))) {
        m_notifier.ReportError(m_encoder.LoadError());
        return; // card calls now answer "encoder unavailable"
    }
    try {
        m_requests.Run([&] { m_encoder.EncodeInit(settingsPath); });
    } catch (const Error &e) {
        m_notifier.ReportError(e.text());
    }
}

void System::StartListener(quint16 port)
{
    m_journal = std::make_unique<CardJournal>(m_folder.Resolve(CardJournalFile));
    // Reports come from the request thread; the log and the notifier live on
    // the event loop's thread.
    auto report = [this](const QString &text) {
        QMetaObject::invokeMethod(
            m_server.get(),
            [this, text] {
                m_log.AddLogRow(QString(), QString(), text);
                m_notifier.ReportError(text);
            },
            Qt::QueuedConnection);
    };
    m_cards =
        std::make_unique<CardService>(m_encoder, *m_dataModule, m_folder, m_clock, m_journal.get(), report);
    m_server =
        std::make_unique<InterfaceServer>(*m_cards, m_requests, m_folder, m_log, m_hostNames, m_notifier);
    m_server->SetRecorder(m_recorder);
    m_requests.Post([this] { m_cards->MendLeftovers(); });
    m_server->Listen(QHostAddress::Any, port);
    std::fprintf(stderr, "listening on 0.0.0.0:%u\n", unsigned(m_server->ServerPort()));
    std::fflush(stderr);
}

} // namespace kx

#include "keyrouter.h"

#include "answers.h"
#include "linklog.h"
#include "pmslink.h"

#include <QDateTime>

namespace fias {

KeyRouter::KeyRouter(PmsLink &link, const QList<CoderAddress> &coders, const LinkSettings &settings,
                     kx::ProgramFolder folder, LinkLog &log, QObject *parent)
    : QObject(parent), m_link(link), m_settings(settings), m_folder(std::move(folder)), m_log(log)
{
    for (const CoderAddress &c : coders)
        m_coders.insert(c.id, new Coder(c.id, c.host, c.port, log, this));
    connect(&m_link, &PmsLink::KeyRecordReceived, this, &KeyRouter::OnKeyRecord);
}

void KeyRouter::OnKeyRecord(const Record &record)
{
    auto task = std::make_unique<KeyTask>(record, m_settings, m_folder, QDateTime::currentDateTime(),
                                          [this](const Record &answer) { m_link.Send(answer); });
    // An offline lock system cannot change a key it has already cut.
    if (record.id() == ids::KeyChange)
        return task->Refuse(status::Unprocessable, texts::KeyChange);
    Coder *coder = m_coders.value(record.Value("KC"));
    if (!coder) {
        m_log.Note(
            QStringLiteral("no station for key coder '%1'").arg(QString::fromLatin1(record.Value("KC"))));
        return task->Refuse(status::Unprocessable, texts::NoStation);
    }
    coder->Submit(std::move(task));
}

} // namespace fias

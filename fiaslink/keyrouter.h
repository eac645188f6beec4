#pragma once

#include "coder.h"
#include "record.h"
#include "settings.h"

#include "platform/programfolder.h"

#include <QHash>
#include <QObject>

namespace fias {

class LinkLog;
class PmsLink;

// A --coder ID=HOST:PORT: the station that serves key coder ID.
struct CoderAddress
{
    QByteArray id;
    QString host;
    quint16 port = 0;
};

// Routes the PMS's key records by key coder to the stations and sends each
// answer back on the link. Requests for different coders run at once.
class KeyRouter : public QObject
{
    Q_OBJECT

public:
    KeyRouter(PmsLink &link, const QList<CoderAddress> &coders, const LinkSettings &settings,
              kx::ProgramFolder folder, LinkLog &log, QObject *parent = nullptr);

private:
    void OnKeyRecord(const Record &record);

    PmsLink &m_link;
    const LinkSettings &m_settings;
    kx::ProgramFolder m_folder;
    LinkLog &m_log;
    QHash<QByteArray, Coder *> m_coders;
};

} // namespace fias

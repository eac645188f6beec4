#pragma once

#include "framer.h"
#include "record.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace fiaspms {

// The PMS interface's side of a FIAS link, for integrators and tests: one
// key system at a time (a new one replaces the old), LS on connect, checks of
// its LD, LRs and LA, LA in answer, then the records it is given.
class PmsServer : public QObject
{
    Q_OBJECT

public:
    explicit PmsServer(bool sendLinkStart, QObject *parent = nullptr);

    bool Listen(const QString &address, quint16 port, QString &error);
    QString ListeningAddress() const;

    // One line of input: a record ("KR|RN101|…|", sent once the link is
    // active; LS and LE go at once), "!drop" (close the connection), "!raw
    // HEX" (bytes as they stand), blank lines and "#" comments.
    void Input(const QByteArray &line);

private:
    void OnNewConnection();
    void OnReadyRead();
    void OnRecord(const fias::Record &record);
    void Check(const fias::Record &record);
    void Send(const fias::Record &record);
    void SendQueued();
    void Print(const QByteArray &line);

    bool m_sendLinkStart;
    QTcpServer *m_server;
    QTcpSocket *m_client = nullptr;
    fias::Framer m_framer;
    bool m_active = false;
    bool m_sawDescription = false;
    QList<QByteArray> m_linkRecordsSeen;
    QList<fias::Record> m_queue;
};

} // namespace fiaspms

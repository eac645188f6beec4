#pragma once

#include "schema.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>

class QTcpSocket;

namespace lockserver {

class SqlBackend;

// One client connection: takes length-prefixed messages off the socket and
// answers each in turn. The first message must be the hello naming the server
// object; a message over the size limit ends the connection.
class ClientSession : public QObject
{
    Q_OBJECT
public:
    ClientSession(QTcpSocket *socket, SqlBackend &backend, QObject *parent);

private:
    void ReadMessages();
    QJsonObject Handle(const QJsonObject &message);
    QJsonObject Hello(const QJsonObject &message);
    QJsonObject Open(const QJsonObject &message);
    QJsonObject Execute(const QJsonObject &message);
    QJsonObject Apply(const QJsonObject &message);
    void Send(const QJsonObject &reply);
    void SendAndClose(const QJsonObject &reply);

    QTcpSocket *m_socket;
    SqlBackend &m_backend;
    QByteArray m_buffer;
    bool m_greeted = false;
    bool m_closing = false;
    // Per provider, the table its last open query read: where appended rows go.
    QHash<QString, const TableDef *> m_lastOpened;
};

} // namespace lockserver

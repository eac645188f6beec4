#pragma once

#include "schema.h"
#include "sqlbackend.h"
#include "store/stationkey.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace lockserver {

struct ProviderDef;
class ServerMetrics;
class SqlBackend;

// What every connection is held to.
struct SessionPolicy
{
    // The station keys a hello must prove one of; empty: no key is asked for.
    QList<kx::stationkey::StationKey> keys;
    // How long the hello, or any message once begun, may take to arrive whole.
    int messageTimeoutMs = 30000;
};

// One client connection: greets the peer with a nonce, then takes
// length-prefixed messages off the socket and answers each in turn. The first
// message must be the hello naming the server object (and proving a station
// key when the policy has keys); a message over the size limit, or one that
// stays incomplete for the policy's timeout, ends the connection.
class ClientSession : public QObject
{
    Q_OBJECT
public:
    // A TLS socket is greeted once its handshake is done. metrics (may be
    // null) is told of every request.
    ClientSession(QTcpSocket *socket, SqlBackend &backend, const SessionPolicy &policy,
                  ServerMetrics *metrics, QObject *parent);

    // Bytes of answers waiting to go out above which no further request is
    // served until the peer has read them.
    static constexpr qint64 MaxPendingOutput = 4 * 1024 * 1024;
    // The most the socket buffers ahead of the message being taken.
    static constexpr qint64 ReadAheadBytes = 64 * 1024;
    // Ends the connection's room claim.
    ~ClientSession() override;

private:
    void Greet();
    void ReadMessages();
    void WatchForStall();
    void Stalled();
    // Answers one message and tells the metrics how it went.
    QJsonObject Handle(const QJsonObject &message);
    QJsonObject Answer(const QJsonObject &message);
    const ProviderDef &Provider(const QJsonObject &message);
    QJsonObject Hello(const QJsonObject &message);
    QJsonObject Open(const QJsonObject &message);
    QJsonObject Execute(const QJsonObject &message);
    QJsonObject Apply(const QJsonObject &message);
    // The occupancy query of a check-in: answers it and claims the room.
    QueryResult OccupancyQuery(const Statement &statement);
    // Card records for the claimed room wait for the guest record of the same
    // check-in (see Apply); gives true when rows were held.
    bool HoldCardRows(const QList<FieldList> &rows, int maxErrors, AppendResult &result);
    void Send(const QJsonObject &reply);
    void SendAndClose(const QJsonObject &reply);
    QJsonObject Refuse(const QString &text);
    // Tells the metrics that the open room claims may have changed.
    void NoteClaimsChanged();
    void Log(const QString &text) const;

    QTcpSocket *m_socket;
    SqlBackend &m_backend;
    const SessionPolicy &m_policy;
    ServerMetrics *m_metrics;
    QString m_provider; // of the request in progress, once it is known
    QString m_peer;     // the peer's address, for the log
    QString m_nonce;    // sent in the greeting; the hello's proof covers it
    QByteArray m_buffer;
    QTimer m_stall;
    bool m_greeted = false;
    bool m_closing = false;
    bool m_reading = false; // ReadMessages is running
    // The last request on this connection was refused (or skipped).
    bool m_previousRefused = false;
    // The "columns" of each statement's answers, by statement.
    QHash<int, QJsonArray> m_columnsOf;
    // Per provider, the table its last open query read: where appended rows go.
    QHash<QString, const TableDef *> m_lastOpened;
    // This connection's name in the room claims, the station it belongs to,
    // the room it has claimed (or -1), and the card records held for that
    // room's guest record.
    const QString m_owner;
    QString m_station; // what the hello named, or empty
    qint64 m_claimedRoom = -1;
    QList<FieldList> m_heldCardRows;
};

} // namespace lockserver

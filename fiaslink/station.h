#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;
class QTimer;

namespace fias {

class LinkLog;

// What one request to a station came to.
struct StationReply
{
    enum Status {
        Answered,    // bytes holds a whole result or card reply
        Unreachable, // no connection could be made
        NoAnswer,    // connected, but no whole reply within the time given
        Garbled,     // the station sent bytes that are no reply
    };
    Status status = NoAnswer;
    QByteArray bytes;
    QString error;
};

// One station (a kandrilox with its encoder) on port 7800's protocol: one
// connection, made when needed and kept, one frame in flight at a time.
// A connection whose request timed out is dropped, so that a late reply is
// never taken for the answer to the next request.
class Station : public QObject
{
    Q_OBJECT

public:
    Station(QString host, quint16 port, LinkLog &log, QObject *parent = nullptr);

    QString address() const;
    // Sends frame and calls done once, with the reply or what went wrong, at
    // the latest after timeoutMs. Only one exchange at a time.
    void Exchange(const QByteArray &frame, int timeoutMs, std::function<void(const StationReply &)> done);

private:
    void SendPending();
    void OnReadyRead();
    void OnSocketError();
    void Finish(StationReply reply);
    void DropConnection();

    QString m_host;
    quint16 m_port;
    LinkLog &m_log;
    QTcpSocket *m_socket = nullptr;
    QTimer *m_timer;
    QByteArray m_frame;
    QByteArray m_reply;
    std::function<void(const StationReply &)> m_done;
};

} // namespace fias

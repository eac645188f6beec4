#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

namespace frontdesk {

// One connection to the interface server, used one request at a time.
// Blocking calls with timeouts: the tool has no event loop to serve.
class Client
{
public:
    Client(const QString &host, quint16 port, int timeoutMs);

    // False with error() set when the server cannot be reached.
    bool Connect();

    // Sends a frame and waits for one whole reply. False with error() set
    // when none comes within the timeout or the connection ends first.
    bool Request(const QByteArray &frame, QByteArray &reply);

    // Sends a frame that gets no answer and waits waitMs for anything that
    // might come anyway; false (with the bytes in unexpected) when some did.
    bool Send(const QByteArray &frame, int waitMs, QByteArray &unexpected);

    QString error() const { return m_error; }

private:
    bool Write(const QByteArray &frame);

    QString m_host;
    quint16 m_port;
    int m_timeoutMs;
    QTcpSocket m_socket;
    QString m_error;
};

} // namespace frontdesk

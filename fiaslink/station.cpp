#include "station.h"

#include "frames.h"
#include "linklog.h"

#include <QTcpSocket>
#include <QTimer>

namespace fias {

Station::Station(QString host, quint16 port, LinkLog &log, QObject *parent)
    : QObject(parent), m_host(std::move(host)), m_port(port), m_log(log), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        const bool connected = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
        StationReply reply;
        reply.status = connected ? StationReply::NoAnswer : StationReply::Unreachable;
        reply.error = connected ? QStringLiteral("no reply in time") : QStringLiteral("connection timed out");
        DropConnection();
        Finish(reply);
    });
}

QString Station::address() const
{
    return QStringLiteral("%1:%2").arg(m_host).arg(m_port);
}

void Station::Exchange(const QByteArray &frame, int timeoutMs, std::function<void(const StationReply &)> done)
{
    m_frame = frame;
    m_reply.clear();
    m_done = std::move(done);
    m_timer->start(std::max(timeoutMs, 1));
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        SendPending();
        return;
    }
    DropConnection();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &Station::SendPending);
    connect(m_socket, &QTcpSocket::readyRead, this, &Station::OnReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Station::OnSocketError);
    m_socket->connectToHost(m_host, m_port);
}

void Station::SendPending()
{
    if (!m_done || m_frame.isEmpty())
        return;
    m_socket->write(m_frame);
    m_frame.clear();
}

void Station::OnReadyRead()
{
    m_reply += m_socket->readAll();
    if (!m_done)
        return; // bytes nobody asked for: dropped with the next exchange
    switch (frontdesk::ClassifyReply(m_reply)) {
    case frontdesk::ReplyState::Incomplete: return;
    case frontdesk::ReplyState::Result:
    case frontdesk::ReplyState::Card: {
        StationReply reply;
        reply.status = StationReply::Answered;
        reply.bytes = m_reply;
        Finish(reply);
        return;
    }
    case frontdesk::ReplyState::Unknown: {
        StationReply reply;
        reply.status = StationReply::Garbled;
        reply.error = QStringLiteral("unrecognised reply");
        DropConnection();
        Finish(reply);
        return;
    }
    }
}

void Station::OnSocketError()
{
    if (!m_done)
        return; // an idle connection that went away is made again when needed
    const bool sent = m_frame.isEmpty();
    StationReply reply;
    reply.status = sent ? StationReply::NoAnswer : StationReply::Unreachable;
    reply.error = m_socket->errorString();
    DropConnection();
    Finish(reply);
}

void Station::Finish(StationReply reply)
{
    m_timer->stop();
    if (reply.status != StationReply::Answered)
        m_log.Note(QStringLiteral("station %1: %2").arg(address(), reply.error));
    m_frame.clear();
    m_reply.clear();
    auto done = std::exchange(m_done, nullptr);
    if (done)
        done(reply);
}

void Station::DropConnection()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

} // namespace fias

#include "pmsserver.h"

#include "pmslink.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

namespace fiaspms {

using fias::Record;
namespace ids = fias::ids;

PmsServer::PmsServer(bool sendLinkStart, QObject *parent)
    : QObject(parent), m_sendLinkStart(sendLinkStart), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &PmsServer::OnNewConnection);
}

bool PmsServer::Listen(const QString &address, quint16 port, QString &error)
{
    QHostAddress host;
    if (!host.setAddress(address)) {
        error = QStringLiteral("'%1' is no IP address").arg(address);
        return false;
    }
    if (!m_server->listen(host, port)) {
        error = m_server->errorString();
        return false;
    }
    return true;
}

QString PmsServer::ListeningAddress() const
{
    return QStringLiteral("%1:%2").arg(m_server->serverAddress().toString()).arg(m_server->serverPort());
}

void PmsServer::Print(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PmsServer::OnNewConnection()
{
    while (QTcpSocket *next = m_server->nextPendingConnection()) {
        // The interface serves one key system per port: a new one replaces the old.
        if (m_client) {
            Print("key system replaced by a new connection");
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = next;
        m_framer.Reset();
        m_active = false;
        m_sawDescription = false;
        m_linkRecordsSeen.clear();
        connect(m_client, &QTcpSocket::readyRead, this, &PmsServer::OnReadyRead);
        connect(m_client, &QTcpSocket::disconnected, this, [this, client = m_client] {
            if (client != m_client)
                return;
            Print("key system disconnected");
            m_client->deleteLater();
            m_client = nullptr;
            m_active = false;
        });
        Print("key system connected from " + m_client->peerAddress().toString().toLatin1());
        if (m_sendLinkStart)
            Send(fias::PmsLink::Stamped(ids::LinkStart));
    }
}

void PmsServer::OnReadyRead()
{
    const fias::Framer::Output out = m_framer.Feed(m_client->readAll());
    for (const QByteArray &why : out.dropped)
        Print("check: " + why);
    for (const QByteArray &text : out.records) {
        QByteArray error;
        const std::optional<Record> record = Record::Parse(text, error);
        if (!record) {
            Print("check: malformed record (" + error + "): " + text);
            continue;
        }
        OnRecord(*record);
        if (!m_client)
            return;
    }
}

void PmsServer::OnRecord(const Record &record)
{
    Print("< " + record.Text());
    Check(record);
    if (record.id() == ids::LinkStart) {
        Send(fias::PmsLink::Stamped(ids::LinkAlive)); // an alive check
    } else if (record.id() == ids::LinkAlive && !m_active) {
        Send(fias::PmsLink::Stamped(ids::LinkAlive));
        m_active = true;
        Print("link active");
        SendQueued();
    }
}

void PmsServer::Check(const Record &record)
{
    const QByteArray &id = record.id();
    if (id == ids::LinkDescription) {
        QByteArrayList problems;
        if (record.Value("IF") != "DL")
            problems << "IF is not DL";
        const QByteArray version = record.Value("V#");
        if (version.isEmpty() || version.size() > 10)
            problems << "V# missing or longer than 10";
        if (record.Value("DA").size() != 6 || record.Value("TI").size() != 6)
            problems << "DA/TI missing";
        Print("check: LD " + (problems.isEmpty() ? QByteArray("ok") : problems.join("; ")));
        m_sawDescription = true;
        m_linkRecordsSeen.clear();
    } else if (id == ids::LinkRecord) {
        const QList<fias::Field> &f = record.fields();
        const bool shaped = f.size() == 2 && f[0].id == "RI" && f[1].id == "FL" && f[0].value.size() == 2 &&
                            !f[1].value.isEmpty() && f[1].value.size() % 2 == 0;
        Print("check: LR " + record.Value("RI") + (shaped ? " ok" : " malformed (RI then FL expected)"));
        m_linkRecordsSeen << record.Value("RI");
    } else if (id == ids::LinkAlive && !m_active) {
        QByteArrayList missing;
        if (!m_sawDescription)
            missing << "LD";
        for (const char *ri : {"KR", "KD", "KZ", "KA"})
            if (!m_linkRecordsSeen.contains(ri))
                missing << QByteArray("LR ") + ri;
        Print("check: LA " + (missing.isEmpty() ? QByteArray("ok") : "before " + missing.join(", ")));
    }
}

void PmsServer::Input(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.isEmpty() || text.startsWith('#'))
        return;
    if (text == "!drop") {
        if (m_client) {
            Print("dropping the connection");
            m_client->disconnectFromHost();
        }
        return;
    }
    if (text.startsWith("!raw ")) {
        const QByteArray bytes = QByteArray::fromHex(text.mid(5));
        if (m_client) {
            m_client->write(bytes);
            Print("> raw " + bytes.toHex(' '));
        }
        return;
    }
    QByteArray error;
    const std::optional<Record> record = Record::Parse(text, error);
    if (!record) {
        Print("input: not a record (" + error + "): " + text);
        return;
    }
    // Link control goes at once; everything else waits for an active link.
    if (record->id() == ids::LinkStart || record->id() == ids::LinkEnd) {
        if (record->id() == ids::LinkStart)
            m_active = false;
        Send(*record);
        return;
    }
    m_queue << *record;
    SendQueued();
}

void PmsServer::SendQueued()
{
    while (m_active && m_client && !m_queue.isEmpty())
        Send(m_queue.takeFirst());
}

void PmsServer::Send(const Record &record)
{
    if (!m_client)
        return;
    m_client->write(record.Framed());
    Print("> " + record.Text());
}

} // namespace fiaspms

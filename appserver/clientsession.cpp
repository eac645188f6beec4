#include "clientsession.h"

#include "platform/errors.h"
#include "providers.h"
#include "sqlbackend.h"
#include "store/lockprotocol.h"

#include <QJsonArray>
#include <QTcpSocket>

namespace lockserver {

namespace proto = kx::lockprotocol;

namespace {

const QString ServerObjectName = QStringLiteral("LockInterfaceServer.TLockInterfaceServer");

QString RequiredString(const QJsonObject &message, const QString &key)
{
    const QJsonValue value = message.value(key);
    if (!value.isString())
        throw kx::Error(QStringLiteral("Request has no text '%1'").arg(key));
    return value.toString();
}

QJsonObject Ok()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}

} // namespace

ClientSession::ClientSession(QTcpSocket *socket, SqlBackend &backend, QObject *parent)
    : QObject(parent), m_socket(socket), m_backend(backend)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::ReadMessages);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void ClientSession::ReadMessages()
{
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    m_buffer.append(m_socket->readAll());
    for (;;) {
        QJsonObject message;
        QString error;
        switch (proto::TakeMessage(m_buffer, message, error)) {
        case proto::FrameStatus::Incomplete: return;
        case proto::FrameStatus::Oversize: SendAndClose(proto::ErrorReply(error)); return;
        case proto::FrameStatus::Malformed: Send(proto::ErrorReply(error)); break;
        case proto::FrameStatus::Complete: Send(Handle(message)); break;
        }
        if (m_closing)
            return;
    }
}

QJsonObject ClientSession::Handle(const QJsonObject &message)
{
    try {
        const QString op = message.value(QStringLiteral("op")).toString();
        if (op == u"hello")
            return Hello(message);
        if (!m_greeted) {
            m_closing = true;
            return proto::ErrorReply(
                QStringLiteral("The first message must be a hello naming the server object"));
        }
        if (op == u"open")
            return Open(message);
        if (op == u"execute")
            return Execute(message);
        if (op == u"apply")
            return Apply(message);
        throw kx::Error(QStringLiteral("Unknown operation '%1'").arg(op));
    } catch (const kx::Error &e) {
        return proto::ErrorReply(e.text());
    } catch (const std::exception &e) {
        return proto::ErrorReply(QStringLiteral("Internal error: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

QJsonObject ClientSession::Hello(const QJsonObject &message)
{
    const QString name = message.value(QStringLiteral("server")).toString();
    if (name != ServerObjectName) {
        m_closing = true;
        return proto::ErrorReply(
            QStringLiteral("Server object '%1' is not provided here; this server provides %2")
                .arg(name, ServerObjectName));
    }
    m_greeted = true;
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("server"), ServerObjectName);
    reply.insert(QStringLiteral("protocol"), proto::ProtocolVersion);
    return reply;
}

QJsonObject ClientSession::Open(const QJsonObject &message)
{
    const ProviderDef &provider = FindProvider(RequiredString(message, QStringLiteral("provider")));
    m_lastOpened.remove(provider.name);
    const Statement statement =
        CheckStatement(provider, Operation::Open, RequiredString(message, QStringLiteral("sql")));
    const QueryResult result = m_backend.Query(statement);
    m_lastOpened.insert(provider.name, &TableRead(statement.id));

    QJsonArray columns;
    for (const ResultColumn &c : result.columns)
        columns.append(
            QJsonObject{{QStringLiteral("name"), c.name}, {QStringLiteral("type"), TypeName(c.type)}});
    QJsonArray rows;
    for (const QJsonArray &row : result.rows)
        rows.append(row);
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("columns"), columns);
    reply.insert(QStringLiteral("rows"), rows);
    return reply;
}

QJsonObject ClientSession::Execute(const QJsonObject &message)
{
    const ProviderDef &provider = FindProvider(RequiredString(message, QStringLiteral("provider")));
    const Statement statement =
        CheckStatement(provider, Operation::Execute, RequiredString(message, QStringLiteral("sql")));
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("rowsAffected"), m_backend.Execute(statement));
    return reply;
}

QJsonObject ClientSession::Apply(const QJsonObject &message)
{
    const ProviderDef &provider = FindProvider(RequiredString(message, QStringLiteral("provider")));
    if (!provider.storesAppendedRows)
        throw kx::Error(QStringLiteral("Provider %1 does not accept inserted rows").arg(provider.name));
    const TableDef *table = m_lastOpened.value(provider.name);
    if (!table)
        throw kx::Error(QStringLiteral("Provider %1 has no open query whose table could take the rows")
                            .arg(provider.name));
    const QJsonValue maxErrors = message.value(QStringLiteral("maxErrors"));
    if (!maxErrors.isDouble() || maxErrors.toDouble() != std::floor(maxErrors.toDouble()) ||
        maxErrors.toDouble() < -1)
        throw kx::Error(QStringLiteral("Request has no valid 'maxErrors'"));

    const QJsonValue rowList = message.value(QStringLiteral("rows"));
    if (!rowList.isArray())
        throw kx::Error(QStringLiteral("Request has no list 'rows'"));
    QList<FieldList> rows;
    for (const QJsonValue &row : rowList.toArray()) {
        if (!row.isArray())
            throw kx::Error(QStringLiteral("An appended row is not a list of [name, value] pairs"));
        FieldList fields;
        for (const QJsonValue &field : row.toArray()) {
            const QJsonArray pair = field.toArray();
            if (pair.size() != 2 || !pair[0].isString())
                throw kx::Error(QStringLiteral("A field of an appended row is not a [name, value] pair"));
            fields.append({pair[0].toString(), pair[1]});
        }
        rows.append(fields);
    }

    const AppendResult result = m_backend.Append(*table, rows, maxErrors.toInt());
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("errorCount"), result.errorCount);
    reply.insert(QStringLiteral("committed"), result.committed);
    QJsonArray failed;
    for (int i = 0; i < result.failedRows.size(); ++i)
        failed.append(QJsonObject{{QStringLiteral("row"), result.failedRows[i]},
                                  {QStringLiteral("error"), result.errors[i]}});
    reply.insert(QStringLiteral("failed"), failed);
    return reply;
}

void ClientSession::Send(const QJsonObject &reply)
{
    QByteArray frame = proto::EncodeMessage(reply);
    if (frame.size() - proto::HeaderSize > qsizetype(proto::MaxMessageSize))
        frame = proto::EncodeMessage(
            proto::ErrorReply(QStringLiteral("The answer is too large: %1")
                                  .arg(proto::OversizeText(frame.size() - proto::HeaderSize))));
    m_socket->write(frame);
    if (m_closing)
        m_socket->disconnectFromHost();
}

void ClientSession::SendAndClose(const QJsonObject &reply)
{
    m_closing = true;
    Send(reply);
}

} // namespace lockserver

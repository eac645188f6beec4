#include "clientsession.h"

#include "platform/errors.h"
#include "providers.h"
#include "servermetrics.h"
#include "sqlbackend.h"
#include "store/lockprotocol.h"

#include <QDateTime>
#include <QJsonArray>
#include <QScopedValueRollback>
#include <QSslSocket>
#include <QUuid>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <utility>

namespace lockserver {

namespace proto = kx::lockprotocol;
namespace sk = kx::stationkey;

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

// The operation as the metrics name it: one of the protocol's, never a
// client's own text.
QString KnownOperation(const QString &op)
{
    static const QStringList known{QStringLiteral("hello"), QStringLiteral("open"), QStringLiteral("execute"),
                                   QStringLiteral("apply")};
    return known.contains(op) ? op : QStringLiteral("unknown");
}

// The value an appended row gives column, when it gives a whole number.
std::optional<qint64> RowNumber(const FieldList &row, const QString &column)
{
    for (const auto &[name, value] : row) {
        if (name.compare(column, Qt::CaseInsensitive) != 0)
            continue;
        if (value.isDouble())
            return value.toInteger();
        bool ok = false;
        const qint64 room = value.toString().trimmed().toLongLong(&ok);
        return ok ? std::optional<qint64>(room) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

ClientSession::ClientSession(QTcpSocket *socket, SqlBackend &backend, const SessionPolicy &policy,
                             ServerMetrics *metrics, QObject *parent)
    : QObject(parent), m_socket(socket), m_backend(backend), m_policy(policy), m_metrics(metrics),
      m_peer(socket->peerAddress().toString()), m_owner(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_socket->setParent(this);
    // Answers are small and the station often waits for two of them: without
    // this, the second would wait for the acknowledgement of the first.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Qt's own buffer stays small; the message being taken is the only large one.
    m_socket->setReadBufferSize(ReadAheadBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::ReadMessages);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientSession::ReadMessages);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_stall.setSingleShot(true);
    m_stall.setInterval(m_policy.messageTimeoutMs);
    connect(&m_stall, &QTimer::timeout, this, &ClientSession::Stalled);
    m_stall.start(); // the TLS handshake and the hello count against it

    auto *tls = qobject_cast<QSslSocket *>(m_socket);
    if (tls && !tls->isEncrypted())
        connect(tls, &QSslSocket::encrypted, this, &ClientSession::Greet);
    else
        Greet();
}

void ClientSession::Greet()
{
    m_nonce = sk::NewNonce();
    QJsonObject greeting = Ok();
    greeting.insert(QStringLiteral("server"), ServerObjectName);
    greeting.insert(QStringLiteral("protocol"), proto::ProtocolVersion);
    greeting.insert(QStringLiteral("nonce"), m_nonce);
    greeting.insert(QStringLiteral("stationKey"), !m_policy.keys.isEmpty());
    Send(greeting);
}

ClientSession::~ClientSession()
{
    if (m_claimedRoom < 0)
        return;
    try {
        m_backend.ReleaseClaims(m_owner);
        NoteClaimsChanged();
    } catch (const std::exception &) {
        // The claim runs out by itself.
    }
}

void ClientSession::ReadMessages()
{
    // An answer's flush reports its bytes written at once; the loop below
    // goes on by itself, so that report starts no second loop inside it.
    if (m_reading)
        return;
    const QScopedValueRollback reading(m_reading, true);
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    if (m_nonce.isEmpty())
        return; // a TLS handshake still going on
    for (;;) {
        // A peer that does not read its answers gets no further ones for now.
        if (m_socket->bytesToWrite() > MaxPendingOutput)
            break;
        m_buffer.append(m_socket->readAll());
        if (m_buffer.size() >= proto::HeaderSize) {
            const qsizetype whole = proto::HeaderSize + qFromBigEndian<quint32>(m_buffer.constData());
            if (whole <= proto::HeaderSize + qsizetype(proto::MaxMessageSize) && m_buffer.capacity() < whole)
                m_buffer.reserve(whole); // exactly the message, not a doubling of the buffer
        }
        QJsonObject message;
        QString error;
        const proto::FrameStatus status = proto::TakeMessage(m_buffer, message, error);
        if (status == proto::FrameStatus::Incomplete) {
            if (m_socket->bytesAvailable() > 0)
                continue;
            break;
        }
        if (status == proto::FrameStatus::Oversize) {
            SendAndClose(proto::ErrorReply(error));
            return;
        }
        if (status != proto::FrameStatus::Complete && m_metrics)
            m_metrics->RequestServed(QStringLiteral("malformed"), {}, true, {});
        // A request sent together with the one before it may depend on it:
        // it is skipped when that one was refused.
        const QJsonObject reply = status != proto::FrameStatus::Complete ? proto::ErrorReply(error)
                                  : m_previousRefused && message.value(proto::IfPreviousOkKey).toBool()
                                      ? proto::SkippedReply()
                                      : Handle(message);
        m_previousRefused = !reply.value(QStringLiteral("ok")).toBool();
        Send(reply);
        if (m_closing)
            return;
    }
    WatchForStall();
}

void ClientSession::WatchForStall()
{
    // Runs from the first byte of a message until it is whole, and from the
    // connection's start until its hello.
    if (m_greeted && m_buffer.isEmpty())
        m_stall.stop();
    else if (!m_stall.isActive())
        m_stall.start();
}

void ClientSession::Stalled()
{
    Log(QStringLiteral("closed the connection from %1: %2 within %3 s")
            .arg(m_peer, m_greeted ? QStringLiteral("a message did not arrive whole")
                                   : QStringLiteral("no hello arrived"))
            .arg(m_policy.messageTimeoutMs / 1000.0));
    m_closing = true;
    m_socket->abort();
    deleteLater();
}

void ClientSession::NoteClaimsChanged()
{
    if (m_metrics)
        m_metrics->ClaimsChanged();
}

void ClientSession::Log(const QString &text) const
{
    std::fprintf(stderr, "lockserver: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QJsonObject ClientSession::Refuse(const QString &text)
{
    m_closing = true;
    return proto::ErrorReply(text);
}

QJsonObject ClientSession::Handle(const QJsonObject &message)
{
    const auto started = std::chrono::steady_clock::now();
    m_provider.clear();
    const QJsonObject reply = Answer(message);
    if (m_metrics)
        m_metrics->RequestServed(KnownOperation(message.value(QStringLiteral("op")).toString()), m_provider,
                                 !reply.value(QStringLiteral("ok")).toBool(),
                                 std::chrono::steady_clock::now() - started);
    return reply;
}

const ProviderDef &ClientSession::Provider(const QJsonObject &message)
{
    const ProviderDef &provider = FindProvider(RequiredString(message, QStringLiteral("provider")));
    m_provider = provider.name;
    return provider;
}

QJsonObject ClientSession::Answer(const QJsonObject &message)
{
    try {
        const QString op = message.value(QStringLiteral("op")).toString();
        if (op == u"hello")
            return Hello(message);
        if (!m_greeted)
            return Refuse(QStringLiteral("The first message must be a hello naming the server object"));
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
    if (name != ServerObjectName)
        return Refuse(QStringLiteral("Server object '%1' is not provided here; this server provides %2")
                          .arg(name, ServerObjectName));
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("server"), ServerObjectName);
    reply.insert(QStringLiteral("protocol"), proto::ProtocolVersion);
    if (!m_policy.keys.isEmpty()) {
        const QString stationNonce = message.value(QStringLiteral("nonce")).toString();
        const QString proof = message.value(QStringLiteral("proof")).toString();
        if (!sk::IsNonce(stationNonce) || proof.isEmpty()) {
            Log(QStringLiteral("refused %1: it proved no station key").arg(m_peer));
            return Refuse(QStringLiteral("This records store serves only stations with a station key "
                                         "(KeyFile in section Store of Kandrilox.ini)"));
        }
        const sk::StationKey *matched = nullptr;
        for (const sk::StationKey &key : m_policy.keys) {
            if (sk::SameProof(proof, sk::Proof(key.secret, sk::Role::Station, m_nonce, stationNonce)))
                matched = &key;
        }
        if (!matched) {
            Log(QStringLiteral("refused %1: its station key is not one of this server's").arg(m_peer));
            return Refuse(QStringLiteral("The station key was not accepted"));
        }
        if (!m_greeted)
            Log(QStringLiteral("station %1 connected from %2").arg(matched->name, m_peer));
        reply.insert(QStringLiteral("proof"),
                     sk::Proof(matched->secret, sk::Role::Server, m_nonce, stationNonce));
    }
    // A station names itself so that its claims outlive a lost connection.
    const QJsonValue station = message.value(QStringLiteral("station"));
    if (station.isString() && station.toString().size() <= 128)
        m_station = station.toString();
    m_greeted = true;
    return reply;
}

QJsonObject ClientSession::Open(const QJsonObject &message)
{
    const ProviderDef &provider = Provider(message);
    m_lastOpened.remove(provider.name);
    const Statement statement =
        CheckStatement(provider, Operation::Open, RequiredString(message, QStringLiteral("sql")));
    const QueryResult result =
        statement.id == StatementId::RoomOccupied ? OccupancyQuery(statement) : m_backend.Query(statement);
    m_lastOpened.insert(provider.name, &TableRead(statement.id));

    // A statement's columns are always the same: their description is built once.
    QJsonArray &columns = m_columnsOf[int(statement.id)];
    if (columns.isEmpty()) {
        for (const ResultColumn &c : result.columns)
            columns.append(
                QJsonObject{{QStringLiteral("name"), c.name}, {QStringLiteral("type"), TypeName(c.type)}});
    }
    QJsonArray rows;
    for (const QJsonArray &row : result.rows)
        rows.append(row);
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("columns"), columns);
    reply.insert(QStringLiteral("rows"), rows);
    return reply;
}

QueryResult ClientSession::OccupancyQuery(const Statement &statement)
{
    // A new check-in: whatever an unfinished one before it held is dropped.
    m_heldCardRows.clear();
    m_claimedRoom = -1;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const ClaimOutcome outcome =
        m_backend.ClaimRoom(statement.room, m_owner, m_station, now, now + m_backend.ClaimTimeoutSeconds);
    if (outcome == ClaimOutcome::Claimed)
        m_claimedRoom = statement.room;
    NoteClaimsChanged(); // a claim taken, or an earlier one dropped
    QueryResult result{{{QStringLiteral("room"), ColumnType::Integer}}, {}};
    if (outcome == ClaimOutcome::Occupied)
        result.rows.append(QJsonArray{statement.room});
    return result;
}

bool ClientSession::HoldCardRows(const QList<FieldList> &rows, int maxErrors, AppendResult &result)
{
    if (m_claimedRoom < 0 || rows.isEmpty())
        return false;
    // Only a check-in's guest card waits for a guest record; a card of
    // another type is stored at once.
    for (const FieldList &row : rows) {
        if (RowNumber(row, QStringLiteral("Room")) != m_claimedRoom ||
            RowNumber(row, QStringLiteral("CardType")) != proto::GuestCardType)
            return false;
    }
    // Values are checked now, so that a bad one is answered here as it would
    // be by storing; the rows themselves are stored with the guest record.
    const QHash<int, QString> errors = m_backend.CheckRows(MakeCardRecordTable(), rows);
    QList<FieldList> valid;
    for (int i = 0; i < rows.size(); ++i) {
        if (!errors.contains(i)) {
            valid << rows[i];
            continue;
        }
        ++result.errorCount;
        result.failedRows << i;
        result.errors << errors.value(i);
    }
    result.committed = maxErrors < 0 || result.errorCount <= maxErrors;
    if (result.committed)
        m_heldCardRows += valid;
    return true;
}

QJsonObject ClientSession::Execute(const QJsonObject &message)
{
    const ProviderDef &provider = Provider(message);
    const Statement statement =
        CheckStatement(provider, Operation::Execute, RequiredString(message, QStringLiteral("sql")));
    QJsonObject reply = Ok();
    reply.insert(QStringLiteral("rowsAffected"), m_backend.Execute(statement));
    return reply;
}

QJsonObject ClientSession::Apply(const QJsonObject &message)
{
    const ProviderDef &provider = Provider(message);
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

    // A card record for the room this connection has claimed is held until the
    // guest record of the same check-in comes; both are then stored in one
    // transaction, so that a crash between the two leaves neither.
    AppendResult result;
    const bool held = table == &MakeCardRecordTable() && HoldCardRows(rows, maxErrors.toInt(), result);
    if (!held) {
        AppendContext context{m_owner, m_station, QDateTime::currentSecsSinceEpoch(), {}};
        if (table == &GuestInRecordTable())
            context.heldCardRows = std::exchange(m_heldCardRows, {});
        result = m_backend.Append(*table, rows, maxErrors.toInt(), context);
        if (table == &GuestInRecordTable() && result.committed) {
            m_claimedRoom = -1;
            NoteClaimsChanged();
        }
        // A card of another type for the claimed room ends that card
        // operation, and with it the claim.
        if (table == &MakeCardRecordTable() && result.committed && m_claimedRoom >= 0 &&
            std::all_of(rows.begin(), rows.end(), [this](const FieldList &row) {
                return RowNumber(row, QStringLiteral("Room")) == m_claimedRoom;
            })) {
            m_backend.ReleaseClaims(m_owner);
            m_claimedRoom = -1;
            NoteClaimsChanged();
        }
    }
    QJsonObject reply = Ok();
    if (held)
        reply.insert(QStringLiteral("held"), true);
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
    // Out at once: the station waits for this answer, and the socket would
    // otherwise send it only on the event loop's next pass.
    m_socket->write(frame);
    m_socket->flush();
    if (m_closing)
        m_socket->disconnectFromHost();
}

void ClientSession::SendAndClose(const QJsonObject &reply)
{
    m_closing = true;
    Send(reply);
}

} // namespace lockserver

#include "pmslink.h"

#include "linklog.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace fias {

namespace {

QTimer *SingleShotTimer(QObject *parent)
{
    auto *timer = new QTimer(parent);
    timer->setSingleShot(true);
    return timer;
}

} // namespace

QString StateName(PmsLink::State state)
{
    switch (state) {
    case PmsLink::State::Disconnected: return QStringLiteral("disconnected");
    case PmsLink::State::Connecting: return QStringLiteral("connecting");
    case PmsLink::State::AwaitingLinkStart: return QStringLiteral("connected, waiting for LS");
    case PmsLink::State::Describing: return QStringLiteral("link description sent");
    case PmsLink::State::Active: return QStringLiteral("active");
    case PmsLink::State::Ended: return QStringLiteral("ended by the PMS");
    }
    return QString();
}

PmsLink::PmsLink(QString host, quint16 port, const LinkSettings &settings, LinkLog &log, QObject *parent)
    : QObject(parent), m_host(std::move(host)), m_port(port), m_settings(settings), m_log(log),
      m_reconnectDelayMs(settings.reconnectMinMs), m_reconnectTimer(SingleShotTimer(this)),
      m_linkStartTimer(SingleShotTimer(this)), m_aliveTimer(SingleShotTimer(this)),
      m_answerTimer(SingleShotTimer(this))
{
    connect(m_reconnectTimer, &QTimer::timeout, this, &PmsLink::Connect);
    connect(m_linkStartTimer, &QTimer::timeout, this, &PmsLink::OnLinkStartTimeout);
    connect(m_aliveTimer, &QTimer::timeout, this, &PmsLink::OnAliveTimer);
    connect(m_answerTimer, &QTimer::timeout, this, &PmsLink::OnAnswerTimeout);
}

PmsLink::~PmsLink()
{
    if (m_socket)
        m_socket->disconnect(this);
}

Record PmsLink::Stamped(const QByteArray &id)
{
    const QDateTime now = QDateTime::currentDateTime();
    Record record(id);
    record.Add("DA", now.toString(QStringLiteral("yyMMdd")).toLatin1());
    record.Add("TI", now.toString(QStringLiteral("hhmmss")).toLatin1());
    return record;
}

Record PmsLink::LinkDescription()
{
    Record ld = Stamped(ids::LinkDescription);
    ld.Add("V#", LinkVersion());
    ld.Add("IF", "DL");
    return ld;
}

QList<Record> PmsLink::LinkRecords()
{
    // The records this link takes (KR, KD, KZ) and sends (KZ, KA), each with
    // the fields it uses.
    const std::pair<const char *, const char *> records[] = {
        {"KR", "RNKTKCWSGAGDDTGNG#ID"},
        {"KD", "RNKCWSG#ID"},
        {"KZ", "KCWSRNGNGDDTASCT"},
        {"KA", "ASCTKCWSG#DATI"},
    };
    QList<Record> list;
    for (const auto &[id, fields] : records)
        list << Record(ids::LinkRecord).Add("RI", id).Add("FL", fields);
    return list;
}

void PmsLink::Start()
{
    Connect();
}

void PmsLink::Connect()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_framer.Reset();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &PmsLink::OnConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &PmsLink::OnReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { OnDropped(QStringLiteral("the PMS closed the connection")); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            OnDropped(m_socket->errorString());
    });
    SetState(State::Connecting, QStringLiteral("%1:%2").arg(m_host).arg(m_port));
    m_socket->connectToHost(m_host, m_port);
}

void PmsLink::OnConnected()
{
    SetState(State::AwaitingLinkStart, QString());
    m_linkStartTimer->start(m_settings.linkStartWaitMs);
}

void PmsLink::OnDropped(const QString &reason)
{
    if (m_state == State::Disconnected)
        return;
    m_linkStartTimer->stop();
    m_aliveTimer->stop();
    m_answerTimer->stop();
    SetState(State::Disconnected, QStringLiteral("%1; connecting again in %2 s")
                                      .arg(reason)
                                      .arg(m_reconnectDelayMs / 1000.0, 0, 'f', 1));
    m_reconnectTimer->start(m_reconnectDelayMs);
    m_reconnectDelayMs = std::min(m_reconnectDelayMs * 2, m_settings.reconnectMaxMs);
}

void PmsLink::OnReadyRead()
{
    const Framer::Output out = m_framer.Feed(m_socket->readAll());
    for (const QByteArray &why : out.dropped)
        m_log.Line("dropped: " + why);
    for (const QByteArray &text : out.records) {
        QByteArray error;
        const std::optional<Record> record = Record::Parse(text, error);
        if (!record) {
            m_log.Line("dropped: malformed record (" + error + ")");
            continue;
        }
        m_log.RecordIn(*record);
        OnRecord(*record);
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return; // the record's handling dropped the connection
    }
}

void PmsLink::OnRecord(const Record &record)
{
    Touch();
    const QByteArray &id = record.id();
    if (id == ids::LinkStart) {
        m_linkStartTimer->stop();
        DescribeLink();
    } else if (id == ids::LinkAlive) {
        m_answerTimer->stop();
        m_aliveCheckSent = false;
        if (m_state != State::Active)
            SetState(State::Active, QString());
        m_reconnectDelayMs = m_settings.reconnectMinMs;
    } else if (id == ids::LinkEnd) {
        SetState(State::Ended, QStringLiteral("keeping the connection"));
    } else if (id == ids::KeyRequest || id == ids::KeyDelete || id == ids::KeyRead || id == ids::KeyChange) {
        if (m_state == State::Ended)
            SetState(State::Active, QStringLiteral("the PMS sent a key record after LE"));
        Q_EMIT KeyRecordReceived(record);
    }
    // Any other record is no business of a key system: ignored.
}

void PmsLink::DescribeLink()
{
    m_aliveCheckSent = false;
    Send(LinkDescription());
    for (const Record &lr : LinkRecords())
        Send(lr);
    Send(Stamped(ids::LinkAlive));
    SetState(State::Describing, QString());
    m_answerTimer->start(m_settings.linkAnswerMs);
}

void PmsLink::OnLinkStartTimeout()
{
    if (m_state != State::AwaitingLinkStart)
        return;
    m_log.Note(QStringLiteral("link: no LS from the PMS within %1 s, starting the link")
                   .arg(m_settings.linkStartWaitMs / 1000.0));
    DescribeLink();
}

void PmsLink::OnAliveTimer()
{
    if (m_state != State::Active)
        return;
    m_aliveCheckSent = true;
    Send(Stamped(ids::LinkStart));
    m_answerTimer->start(m_settings.linkAnswerMs);
}

void PmsLink::OnAnswerTimeout()
{
    if (!m_socket)
        return;
    const QString what =
        m_aliveCheckSent ? QStringLiteral("the alive check") : QStringLiteral("the link exchange");
    m_log.Note(QStringLiteral("link: no LA from the PMS to %1 within %2 s")
                   .arg(what)
                   .arg(m_settings.linkAnswerMs / 1000));
    m_socket->abort(); // reported as a drop; the link is made again
    OnDropped(QStringLiteral("no answer from the PMS"));
}

bool PmsLink::Send(const Record &record)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_log.Line("not sent, no connection: " + MaskedText(record));
        return false;
    }
    m_socket->write(record.Framed());
    m_log.RecordOut(record);
    Touch();
    return true;
}

void PmsLink::Touch()
{
    if (m_state == State::Active || m_state == State::Ended || m_state == State::Describing)
        m_aliveTimer->start(m_settings.aliveCheckMs);
}

void PmsLink::SetState(State state, const QString &why)
{
    if (state == m_state && why.isEmpty())
        return;
    m_state = state;
    if (state == State::Active)
        Touch();
    m_log.Note(QStringLiteral("link: %1%2")
                   .arg(StateName(state),
                        why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')')));
    Q_EMIT StateChanged(state);
}

} // namespace fias

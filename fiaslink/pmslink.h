#pragma once

#include "framer.h"
#include "record.h"
#include "settings.h"

#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

namespace fias {

class LinkLog;

// The key system's end of the FIAS link: one connection to the PMS
// interface, kept up at all times. It answers every LS with LD, the LRs and
// LA, takes the interface's LA as "link active", checks an idle link with an
// LS, and reconnects with growing delays when the connection drops. Key
// records are handed on as they come, whatever the link state, so that a
// request after an LE (or one sent before the interface's LA) is still
// served.
class PmsLink : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Disconnected, // waiting to connect again
        Connecting,
        AwaitingLinkStart, // connected, waiting for the interface's LS
        Describing,        // LD, LRs and LA sent, waiting for the interface's LA
        Active,
        Ended, // the PMS sent LE; the connection is kept
    };

    PmsLink(QString host, quint16 port, const LinkSettings &settings, LinkLog &log,
            QObject *parent = nullptr);
    ~PmsLink() override;

    void Start();
    // Sends a record to the PMS; false when there is no connection.
    bool Send(const Record &record);
    State state() const { return m_state; }

    // The records the link itself sends, also used by the PMS simulator's checks.
    static Record LinkDescription();
    static QList<Record> LinkRecords();
    static Record Stamped(const QByteArray &id); // a record with only DA and TI

Q_SIGNALS:
    void KeyRecordReceived(const fias::Record &record);
    void StateChanged(fias::PmsLink::State state);

private:
    void Connect();
    void OnConnected();
    void OnReadyRead();
    void OnDropped(const QString &reason);
    void OnRecord(const Record &record);
    void DescribeLink();
    void OnLinkStartTimeout();
    void OnAliveTimer();
    void OnAnswerTimeout();
    void SetState(State state, const QString &why);
    void Touch(); // restarts the idle timer after traffic

    QString m_host;
    quint16 m_port;
    const LinkSettings &m_settings;
    LinkLog &m_log;
    QTcpSocket *m_socket = nullptr;
    Framer m_framer;
    State m_state = State::Disconnected;
    int m_reconnectDelayMs;
    QTimer *m_reconnectTimer;
    QTimer *m_linkStartTimer;
    QTimer *m_aliveTimer;
    QTimer *m_answerTimer; // the interface's LA to our LA or alive check
    bool m_aliveCheckSent = false;
};

QString StateName(PmsLink::State state);

} // namespace fias

#pragma once

#include "common/tempfolder.h"
#include "wirerecorder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QStringList>
#include <QTcpSocket>
#include <QVariantMap>
#include <functional>
#include <memory>

// The whole system as real processes in a temporary folder: lockserver on a
// SQLite file, kandrilox --headless with its own program folder, and the
// virtual encoder's card slot driven through hotellock-card. Everything
// listens on loopback ports the system picks.
class LockSystem
{
public:
    LockSystem();
    ~LockSystem();

    // Creates the lock database with these rooms, then starts lockserver and
    // kandrilox. Gives false with error() set when a program fails to start.
    bool Start(const QStringList &rooms);

    // Sets a variable in kandrilox's environment; before Start.
    void SetEnvironment(const QString &name, const QString &value) { m_environment.insert(name, value); }
    // Before Start: lockserver asks for station keys and serves TLS; the
    // station has its key file and the certificate's fingerprint. Gives false
    // with error() set when the keys or the certificate cannot be made.
    bool UseKeysAndTls();
    // Before Start: the station reaches lockserver through a WireRecorder.
    void RecordWire() { m_recordWire = true; }
    // Every byte between the station and lockserver so far (with RecordWire).
    QByteArray Wire() const { return m_recorder ? m_recorder->seen : QByteArray(); }
    // What lockserver has written to standard error so far.
    QString LockServerOutput();
    // Further arguments for the programs, set before they start (--metrics 0).
    QStringList kandriloxArguments;
    QStringList lockServerArguments;
    // The ports of the metrics endpoints the programs announced (0: none).
    quint16 KandriloxMetricsPort() const { return m_metricsPort; }
    quint16 LockServerMetricsPort() const { return m_lockMetricsPort; }

    bool StartLockServer(quint16 port = 0);
    void StopLockServer();
    quint16 LockServerPort() const { return m_lockPort; }
    // The port kandrilox serves the front desk on.
    quint16 Port() const { return m_port; }

    // Rewrites Kandrilox.ini with this common-data sector (read at every check-out).
    void SetCommonDataSector(int sector);
    // Rewrites Kandrilox.ini with these extra lines in section "Encoder"
    // (the virtual encoder reads them at every call).
    void SetEncoderLines(const QString &lines);

    // Sends one frame on the open connection and waits for a whole reply;
    // empty when none comes within timeoutMs.
    QByteArray Request(const QByteArray &frame, int timeoutMs = 15000);
    QTcpSocket &Connection() { return m_client; }

    // hotellock-card with these arguments; gives its exit code.
    int Card(const QStringList &args);
    // hotellock-card show --json.
    QJsonObject ShowCard();
    QString CardFile() const { return m_folder.file(QStringLiteral("card.bin")); }

    // Rows of a query on the lock database, opened read-only.
    QList<QVariantMap> Rows(const QString &sql);

    // Connection-log operations printed so far, and standard-error lines.
    QStringList LogOperations();
    QStringList LogHosts();
    QStringList ErrorLines();
    // Runs the event loop until done() holds or the timeout passes.
    static bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 15000);

    QString error() const { return m_error; }

private:
    void WriteSettings(int sector);
    // One column of every connection-log line printed so far.
    QStringList LogColumn(int column);
    void Collect();

    TempFolder m_folder;
    QString m_home;
    QString m_dbPath;
    QString m_connectionName;
    std::unique_ptr<QProcess> m_lockServer;
    std::unique_ptr<QProcess> m_kandrilox;
    QStringList m_lockServerSecurity; // lockserver's key and TLS options
    QString m_storeSettings;          // section [Store] of Kandrilox.ini
    QString m_lockServerOutput;
    bool m_recordWire = false;
    std::unique_ptr<WireRecorder> m_recorder;
    quint16 m_lockPort = 0;
    int m_sector = 0;
    QString m_encoderLines;
    quint16 m_port = 0;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    quint16 m_metricsPort = 0;
    quint16 m_lockMetricsPort = 0;
    QTcpSocket m_client;
    QByteArray m_stdout, m_stderr;
    QString m_error;
};

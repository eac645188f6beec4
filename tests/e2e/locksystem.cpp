#include "locksystem.h"

#include "common/process.h"
#include "encoding/cardtoolrun.h"
#include "frames.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QUuid>

namespace {

// The port of the "metrics on ADDR:PORT" line among a program's first lines.
quint16 MetricsPort(const QString &lines)
{
    static const QRegularExpression announced(QStringLiteral("^metrics on .*:(\\d+)$"),
                                              QRegularExpression::MultilineOption);
    return static_cast<quint16>(announced.match(lines).captured(1).toUInt());
}

} // namespace

LockSystem::LockSystem()
    : m_home(m_folder.file(QStringLiteral("home"))), m_dbPath(m_folder.file(QStringLiteral("lock.db"))),
      m_connectionName(QUuid::createUuid().toString())
{
}

LockSystem::~LockSystem()
{
    m_client.abort();
    testproc::Stop(m_kandrilox);
    testproc::Stop(m_lockServer);
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool LockSystem::Start(const QStringList &rooms)
{
    QProcess setup;
    setup.start(testproc::Program(QStringLiteral("lockserver")),
                QStringList{QStringLiteral("--database"), QStringLiteral("sqlite:") + m_dbPath,
                            QStringLiteral("rooms"), QStringLiteral("add")} +
                    rooms);
    if (!setup.waitForFinished(20000) || setup.exitCode() != 0) {
        m_error = QStringLiteral("lockserver rooms add failed: ") +
                  QString::fromLocal8Bit(setup.readAllStandardError());
        return false;
    }
    if (!StartLockServer())
        return false;
    if (m_recordWire)
        m_recorder = std::make_unique<WireRecorder>(m_lockPort);

    // The result texts, so that failures log the texts the program ships with.
    QDir().mkpath(m_home + QStringLiteral("/Db"));
    QFile::copy(testproc::Program(QStringLiteral("Db/EncodeMsg.ini")),
                m_home + QStringLiteral("/Db/EncodeMsg.ini"));
    WriteSettings(m_sector);

    m_kandrilox = std::make_unique<QProcess>();
    m_kandrilox->setProcessEnvironment(m_environment);
    m_kandrilox->setReadChannel(QProcess::StandardError);
    m_kandrilox->start(testproc::Program(QStringLiteral("kandrilox")),
                       QStringList{QStringLiteral("--headless"), QStringLiteral("--home"), m_home,
                                   QStringLiteral("--port"), QStringLiteral("0")} +
                           kandriloxArguments);
    QString earlier;
    m_port = testproc::WaitForListening(*m_kandrilox, &earlier);
    m_metricsPort = MetricsPort(earlier);
    m_stderr += earlier.toUtf8();
    if (m_port == 0) {
        m_error = QStringLiteral("kandrilox did not start: ") + earlier +
                  QString::fromLocal8Bit(m_kandrilox->readAllStandardError());
        return false;
    }
    m_client.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    if (!m_client.waitForConnected(10000)) {
        m_error = QStringLiteral("cannot connect to kandrilox: ") + m_client.errorString();
        return false;
    }
    return true;
}

bool LockSystem::UseKeysAndTls()
{
    const auto privateFile = [this](const QString &name, const QByteArray &text) {
        const QString path = m_folder.write(name, text);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    };
    const QByteArray key = "e2e-station-key-0123456789abcdef";
    const QString serverKeys = privateFile(QStringLiteral("stations.keys"), "reception " + key + "\n");
    privateFile(QStringLiteral("home/station.key"), key + "\n");

    QProcess keygen;
    keygen.start(testproc::Program(QStringLiteral("lockserver")),
                 {QStringLiteral("tls-keygen"), m_folder.file(QStringLiteral("tls"))});
    keygen.waitForFinished(60000);
    const QString printed = QString::fromUtf8(keygen.readAllStandardOutput());
    const qsizetype at = printed.indexOf(QStringLiteral("fingerprint "));
    if (keygen.exitCode() != 0 || at < 0) {
        m_error = QStringLiteral("tls-keygen failed: ") + printed +
                  QString::fromUtf8(keygen.readAllStandardError());
        return false;
    }
    const QString fingerprint = printed.mid(at + 12).trimmed();
    m_lockServerSecurity = {
        QStringLiteral("--key-file"), serverKeys,
        QStringLiteral("--tls-cert"), m_folder.file(QStringLiteral("tls/lockserver.crt")),
        QStringLiteral("--tls-key"),  m_folder.file(QStringLiteral("tls/lockserver.key"))};
    m_storeSettings =
        QStringLiteral("[Store]\nKeyFile=station.key\nTls=1\nTlsFingerprint=%1\n").arg(fingerprint);
    return true;
}

QString LockSystem::LockServerOutput()
{
    if (m_lockServer)
        m_lockServerOutput += QString::fromLocal8Bit(m_lockServer->readAllStandardError());
    return m_lockServerOutput;
}

bool LockSystem::StartLockServer(quint16 port)
{
    m_lockServer = std::make_unique<QProcess>();
    m_lockServer->setReadChannel(QProcess::StandardError);
    m_lockServer->start(testproc::Program(QStringLiteral("lockserver")),
                        QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                                    QStringLiteral("--database"), QStringLiteral("sqlite:") + m_dbPath} +
                            m_lockServerSecurity + lockServerArguments);
    QString earlier;
    m_lockPort = testproc::WaitForListening(*m_lockServer, &earlier);
    m_lockMetricsPort = MetricsPort(earlier);
    if (m_lockPort == 0)
        m_error = QStringLiteral("lockserver did not start: ") + earlier;
    return m_lockPort != 0;
}

void LockSystem::StopLockServer()
{
    testproc::Stop(m_lockServer);
}

void LockSystem::WriteSettings(int sector)
{
    m_folder.write("home/Kandrilox.ini", QStringLiteral("[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=%1\n"
                                                        "[Config]\nM1CommonDataSector=%2\n"
                                                        "[Encoder]\nLibrary=%3\nCardFile=%4\n%5%6")
                                             .arg(m_recorder ? m_recorder->Port() : m_lockPort)
                                             .arg(sector)
                                             .arg(testproc::Program(QStringLiteral("libhotellock.so")),
                                                  CardFile(), m_encoderLines, m_storeSettings)
                                             .toUtf8());
}

void LockSystem::SetCommonDataSector(int sector)
{
    m_sector = sector;
    WriteSettings(sector);
}

void LockSystem::SetEncoderLines(const QString &lines)
{
    m_encoderLines = lines;
    WriteSettings(m_sector);
}

QByteArray LockSystem::Request(const QByteArray &frame, int timeoutMs)
{
    QByteArray reply;
    m_client.write(frame);
    WaitUntil(
        [&] {
            reply += m_client.readAll();
            const frontdesk::ReplyState state = frontdesk::ClassifyReply(reply);
            return state == frontdesk::ReplyState::Result || state == frontdesk::ReplyState::Card ||
                   state == frontdesk::ReplyState::Unknown;
        },
        timeoutMs);
    return reply;
}

int LockSystem::Card(const QStringList &args)
{
    return RunCardTool(QStringList{QStringLiteral("--ini"), m_home + QStringLiteral("/Kandrilox.ini")} + args)
        .exitCode;
}

QJsonObject LockSystem::ShowCard()
{
    return RunCardTool({QStringLiteral("--ini"), m_home + QStringLiteral("/Kandrilox.ini"),
                        QStringLiteral("show"), QStringLiteral("--json")})
        .json();
}

QList<QVariantMap> LockSystem::Rows(const QString &sql)
{
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!db.isOpen()) {
        db.setDatabaseName(m_dbPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
    }
    QList<QVariantMap> rows;
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        m_error = query.lastError().text();
        return rows;
    }
    while (query.next()) {
        QVariantMap row;
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i)
            row.insert(record.fieldName(i), record.value(i));
        rows << row;
    }
    return rows;
}

void LockSystem::Collect()
{
    if (!m_kandrilox)
        return;
    m_stdout += m_kandrilox->readAllStandardOutput();
    m_stderr += m_kandrilox->readAllStandardError();
}

QStringList LockSystem::LogColumn(int column)
{
    Collect();
    QStringList cells;
    for (const QByteArray &line : m_stdout.split('\n')) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() == 4)
            cells << QString::fromUtf8(columns[column]);
    }
    return cells;
}

QStringList LockSystem::LogOperations()
{
    return LogColumn(2);
}

QStringList LockSystem::LogHosts()
{
    return LogColumn(1);
}

QStringList LockSystem::ErrorLines()
{
    Collect();
    QStringList lines = QString::fromUtf8(m_stderr).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

bool LockSystem::WaitUntil(const std::function<bool()> &done, int timeoutMs)
{
    // The loop wakes for every event and at least every 20 ms to look again.
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start();
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        loop.exec();
    }
    return true;
}

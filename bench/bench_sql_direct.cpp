// bench_sql_direct: the floor of the request path. The statements of
// check-in, check-out and card read run straight on the lock database's
// SQLite file through QtSql, with the settings lockserver uses (write-ahead
// log, full sync), and with --encoder the encoder library's own calls of each
// operation (check-in: read, write; check-out: read, erase; card read: read)
// are made directly, in the order the operations make them. Beside
// "frontdesk bench" it shows what the interface client, lockserver and the
// process hops add to the database's and the encoder's own cost.
//   bench_sql_direct --database PATH [--encoder LIB --ini SETTINGS] [--cycles N] [--reads N] [--room R]

#include "latencyseries.h"

#include "encoding/encoderbinding.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>

#include <stdexcept>

namespace {

class Runner
{
public:
    explicit Runner(QSqlDatabase &db) : m_db(db) {}

    // Runs one statement; a row-returning one is read to its end.
    void Exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(m_db);
        if (!q.prepare(sql))
            throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
        while (q.next()) {
        }
    }

private:
    QSqlDatabase &m_db;
};

QString Now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    QString path, encoderPath, iniPath;
    int cycles = 200, reads = 200;
    QString room = QStringLiteral("101");
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString value = args.value(i + 1);
        bool ok = true;
        if (args[i] == QLatin1String("--database"))
            path = value;
        else if (args[i] == QLatin1String("--encoder"))
            encoderPath = value;
        else if (args[i] == QLatin1String("--ini"))
            iniPath = value;
        else if (args[i] == QLatin1String("--cycles"))
            cycles = value.toInt(&ok);
        else if (args[i] == QLatin1String("--reads"))
            reads = value.toInt(&ok);
        else if (args[i] == QLatin1String("--room"))
            room = QString::number(value.toInt(&ok));
        else
            ok = false;
        if (!ok || value.isEmpty()) {
            err << "usage: bench_sql_direct --database PATH [--encoder LIB --ini SETTINGS] [--cycles N] "
                   "[--reads N] [--room R]\n";
            return 64;
        }
        ++i;
    }
    if (path.isEmpty()) {
        err << "bench_sql_direct: --database PATH is needed\n";
        return 64;
    }

    if (encoderPath.isEmpty() != iniPath.isEmpty()) {
        err << "bench_sql_direct: --encoder and --ini go together\n";
        return 64;
    }
    kx::EncoderBinding encoder;
    if (!encoderPath.isEmpty()) {
        if (!encoder.Load(encoderPath)) {
            err << "bench_sql_direct: " << encoder.LoadError() << '\n';
            return 1;
        }
        encoder.EncodeInit(iniPath);
    }
    // The card calls of the operations; a failed call ends the run.
    TLock_Make work = {};
    const auto card = [&](const char *call, Word result) {
        if (result != 1)
            throw std::runtime_error(std::string(call) + " gave " + std::to_string(result));
    };
    const auto readCard = [&] {
        if (encoder.IsLoaded())
            card("ReadCard", encoder.ReadCard(work));
    };

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        err << "bench_sql_direct: " << db.lastError().text() << '\n';
        return 1;
    }
    Runner sql(db);
    try {
        sql.Exec(QStringLiteral("PRAGMA synchronous=FULL")); // as lockserver commits
    } catch (const std::exception &e) {
        err << "bench_sql_direct: " << e.what() << '\n';
        return 1;
    }
    frontdesk::LatencySeries in(QStringLiteral("checkin")), outs(QStringLiteral("checkout")),
        rd(QStringLiteral("read")), all(QStringLiteral("all"));
    const QString rom = QStringLiteral("0BE0C0DE");
    const QVariantList cardRecord = {rom,
                                     1,
                                     QStringLiteral("Bench"),
                                     QString(),
                                     4,
                                     QString(),
                                     0,
                                     0,
                                     0,
                                     "00000000",
                                     room.toInt(),
                                     "2030-01-01 14:00:00",
                                     "2030-01-03 12:00:00"};
    const auto timed = [&](frontdesk::LatencySeries &series, const auto &work) {
        QElapsedTimer timer;
        timer.start();
        work();
        const qint64 elapsed = timer.nsecsElapsed();
        series.Add(elapsed);
        all.Add(elapsed);
    };
    const auto checkIn = [&] {
        sql.Exec(QStringLiteral("SELECT room FROM roominfo WHERE (Room =%1) LIMIT 1").arg(room));
        sql.Exec(QStringLiteral("SELECT room FROM GuestInRecord WHERE (enOverride=0) AND (Room =%1) LIMIT 1")
                     .arg(room));
        readCard();
        if (encoder.IsLoaded()) {
            work.RoomDoors[0] = static_cast<Word>(room.toInt());
            work.LockStartTime = {{2030, 1, 1, 14, 0, 0}};
            work.LockEndTime = {{2030, 1, 3, 12, 0, 0}};
            card("MakeGuestCard", encoder.MakeGuestCard(work));
        }
        sql.Exec(QStringLiteral("SELECT * FROM MakeCardRecord LIMIT 1"));
        QVariantList values = cardRecord;
        values[5] = Now();
        sql.Exec(QStringLiteral(
                     "INSERT INTO MakeCardRecord (Rom, enOverride, Holder, Explain, CardType, inputtime, "
                     "Deadboltoverride, override, Passagemode, CommonDoors, Room, StartTime, EndTime) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 values);
        sql.Exec(QStringLiteral("SELECT * FROM GuestInRecord LIMIT 1"));
        sql.Exec(
            QStringLiteral("INSERT INTO GuestInRecord (GuestName, Room, Rom, GuestInTime, GuestLeaveTime, "
                           "InputUser, inputtime) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {QStringLiteral("Bench"), room.toInt(), rom, cardRecord[11], cardRecord[12], QString(), Now()});
    };
    const auto checkOut = [&] {
        sql.Exec(
            QStringLiteral(
                "UPDATE GuestInRecord SET enOverride=1,LeaveTime='%1' WHERE (Room =%2) AND (enOverride=0)")
                .arg(Now(), room));
        sql.Exec(QStringLiteral(
                     "UPDATE MakeCardRecord SET cardstatus=1,explain='Revoke time:%1' WHERE (Room =%2) AND "
                     "(cardstatus=0)")
                     .arg(Now(), room));
        readCard();
        if (encoder.IsLoaded())
            card("ClearCardData", encoder.ClearCardData(work));
    };
    const auto read = [&] {
        readCard();
        sql.Exec(QStringLiteral("SELECT * FROM MakeCardRecord WHERE (cardstatus=0) AND (Rom='%1')").arg(rom));
    };

    try {
        for (int i = 0; i < cycles; ++i) {
            timed(in, checkIn);
            timed(outs, checkOut);
        }
        if (reads > 0) {
            timed(in, checkIn);
            for (int i = 0; i < reads; ++i)
                timed(rd, read);
            timed(outs, checkOut);
        }
    } catch (const std::exception &e) {
        err << "bench_sql_direct: " << e.what() << '\n';
        return 1;
    }
    for (const frontdesk::LatencySeries *s : {&in, &outs, &rd, &all})
        s->Print(out);
    return 0;
}

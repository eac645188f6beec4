#include "loadbench.h"

#include "client.h"
#include "frames.h"
#include "latencyseries.h"

#include "platform/datetime.h"

#include <QElapsedTimer>
#include <QMutex>

#include <atomic>
#include <thread>
#include <vector>

namespace frontdesk {

namespace {

// What a reply must be: a result reply with code 0, any card reply, or (from
// an echo server) the request's own bytes.
enum class Expect { Success, Card, Echo };

struct Series
{
    LatencySeries in{QStringLiteral("checkin")}, outs{QStringLiteral("checkout")},
        reads{QStringLiteral("read")}, blank{QStringLiteral("blankread")}, echo{QStringLiteral("echo")},
        all{QStringLiteral("all")};

    void MergeFrom(const Series &other)
    {
        for (auto [to, from] : {std::pair{&in, &other.in},
                                {&outs, &other.outs},
                                {&reads, &other.reads},
                                {&blank, &other.blank},
                                {&echo, &other.echo},
                                {&all, &other.all}})
            to->nanos.insert(to->nanos.end(), from->nanos.begin(), from->nanos.end());
    }
};

// One front desk: its connection, its latencies and the first failure it met.
class Desk
{
public:
    Desk(const QString &host, quint16 port, int timeoutMs) : m_client(host, port, timeoutMs) {}

    bool Connect()
    {
        if (m_client.Connect())
            return true;
        m_error = m_client.error();
        return false;
    }

    // Sends one request, records its latency and checks the reply it must get.
    bool Timed(const QByteArray &frame, LatencySeries &series, Expect expected, bool inAll = true)
    {
        QByteArray reply;
        QElapsedTimer timer;
        timer.start();
        const bool ok = m_client.Request(frame, reply);
        const qint64 elapsed = timer.nsecsElapsed();
        if (!ok) {
            m_error = series.name + QStringLiteral(": ") + m_client.error();
            return false;
        }
        const ReplyState state = ClassifyReply(reply);
        const bool right = expected == Expect::Echo   ? reply == frame
                           : expected == Expect::Card ? state == ReplyState::Card
                                                      : state == ReplyState::Result && ResultCode(reply) == 0;
        if (!right) {
            m_error = series.name + QStringLiteral(": ") + QString::fromLatin1(DescribeReply(reply));
            return false;
        }
        series.Add(elapsed);
        if (inAll)
            m_series.all.Add(elapsed);
        return true;
    }

    // Check-in/check-out cycles of room, then reads of a card it checked in.
    bool Run(const LoadSettings &settings, const QByteArray &room)
    {
        TCardInterface stay;
        stay.Room = room;
        stay.GuestName = settings.name.toLatin1();
        stay.GuestInTime = kx::EncodeDate(2030, 1, 1) + kx::EncodeTime(14, 0, 0, 0);
        stay.GuestLeaveTime = kx::EncodeDate(2030, 1, 3) + kx::EncodeTime(12, 0, 0, 0);
        const QByteArray checkIn = CheckInFrame(stay);
        const QByteArray checkOut = CheckOutFrame(room);
        const QByteArray read = CommandFrame('E');

        for (int i = 0; i < settings.cycles; ++i) {
            if (!Timed(checkIn, m_series.in, Expect::Success) ||
                !Timed(checkOut, m_series.outs, Expect::Success))
                return false;
        }
        if (settings.reads == 0)
            return true;
        if (!Timed(checkIn, m_series.in, Expect::Success))
            return false;
        for (int i = 0; i < settings.reads; ++i) {
            if (!Timed(read, m_series.reads, Expect::Card))
                return false;
        }
        return Timed(checkOut, m_series.outs, Expect::Success);
    }

    // Reads, not counted in "all": blank-card reads or round trips to an echo server.
    bool Repeat(int count, LatencySeries &series, Expect expected)
    {
        const QByteArray read = CommandFrame('E');
        for (int i = 0; i < count; ++i) {
            if (!Timed(read, series, expected, false))
                return false;
        }
        return true;
    }

    Series &series() { return m_series; }
    QString error() const { return m_error; }

private:
    Client m_client;
    Series m_series;
    QString m_error;
};

} // namespace

int RunLoad(const QString &host, quint16 port, int timeoutMs, const LoadSettings &settings, QTextStream &out,
            QTextStream &err)
{
    // Sockets belong to the thread that made them: each desk lives in its own.
    Series merged;
    QStringList errors;
    qsizetype deskRequests = 0;
    QMutex lock;
    const auto finish = [&](Desk &desk) {
        const QMutexLocker locker(&lock);
        if (!desk.error().isEmpty())
            errors << desk.error();
        deskRequests += qsizetype(desk.series().in.nanos.size() + desk.series().outs.nanos.size() +
                                  desk.series().reads.nanos.size());
        merged.MergeFrom(desk.series());
        return desk.error().isEmpty();
    };

    bool ok = true;
    if (settings.echoes > 0 || settings.blankReads > 0) {
        Desk desk(host, port, timeoutMs);
        ok = desk.Connect() &&
             (settings.echoes > 0 ? desk.Repeat(settings.echoes, desk.series().echo, Expect::Echo)
                                  : desk.Repeat(settings.blankReads, desk.series().blank, Expect::Card));
        ok = finish(desk) && ok;
    }

    QElapsedTimer wall;
    wall.start();
    if (ok && settings.echoes == 0) {
        const qint64 baseRoom = settings.room.toLongLong();
        std::vector<std::thread> threads;
        std::atomic<bool> allOk{true};
        for (int d = 0; d < settings.desks; ++d) {
            const QByteArray room = d == 0 ? settings.room : QByteArray::number(baseRoom + d);
            threads.emplace_back([&, room] {
                Desk desk(host, port, timeoutMs);
                const bool ran = desk.Connect() && desk.Run(settings, room);
                if (!finish(desk) || !ran)
                    allOk = false;
            });
        }
        for (std::thread &t : threads)
            t.join();
        ok = allOk;
    }
    const double wallSeconds = double(wall.nsecsElapsed()) / 1e9;

    for (const QString &e : errors)
        err << e << '\n';
    for (const LatencySeries *s :
         {&merged.echo, &merged.blank, &merged.in, &merged.outs, &merged.reads, &merged.all})
        s->Print(out);
    if (settings.desks > 1 && wallSeconds > 0 && deskRequests > 0)
        out << QStringLiteral("total     %1 desks  %2 requests  %3 req/s\n")
                   .arg(settings.desks)
                   .arg(deskRequests)
                   .arg(double(deskRequests) / wallSeconds, 0, 'f', 1);
    out.flush();
    return ok ? 0 : 1;
}

} // namespace frontdesk

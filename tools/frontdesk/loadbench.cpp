#include "loadbench.h"

#include "client.h"
#include "frames.h"
#include "latencyseries.h"

#include "platform/datetime.h"

#include <QElapsedTimer>

namespace frontdesk {

namespace {

// Sends one request, records its latency and checks the reply it must get.
bool Timed(Client &client, const QByteArray &frame, LatencySeries &series, LatencySeries &all,
           ReplyState expected, QTextStream &err)
{
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    const bool ok = client.Request(frame, reply);
    const qint64 elapsed = timer.nsecsElapsed();
    if (!ok) {
        err << series.name << ": " << client.error() << '\n';
        return false;
    }
    const ReplyState state = ClassifyReply(reply);
    if (state != expected || (state == ReplyState::Result && ResultCode(reply) != 0)) {
        err << series.name << ": " << QString::fromLatin1(DescribeReply(reply)) << '\n';
        return false;
    }
    series.Add(elapsed);
    all.Add(elapsed);
    return true;
}

} // namespace

int RunLoad(Client &client, const LoadSettings &settings, QTextStream &out, QTextStream &err)
{
    TCardInterface stay;
    stay.Room = settings.room;
    stay.GuestName = settings.name.toLatin1();
    stay.GuestInTime = kx::EncodeDate(2030, 1, 1) + kx::EncodeTime(14, 0, 0, 0);
    stay.GuestLeaveTime = kx::EncodeDate(2030, 1, 3) + kx::EncodeTime(12, 0, 0, 0);
    const QByteArray checkIn = CheckInFrame(stay);
    const QByteArray checkOut = CheckOutFrame(settings.room);
    const QByteArray read = CommandFrame('E');

    LatencySeries in(QStringLiteral("checkin")), outs(QStringLiteral("checkout")),
        reads(QStringLiteral("read")), all(QStringLiteral("all"));
    bool ok = true;
    for (int i = 0; ok && i < settings.cycles; ++i)
        ok = Timed(client, checkIn, in, all, ReplyState::Result, err) &&
             Timed(client, checkOut, outs, all, ReplyState::Result, err);
    // Reads of a card made by check-in, so that each one looks up the holder.
    if (ok && settings.reads > 0) {
        ok = Timed(client, checkIn, in, all, ReplyState::Result, err);
        for (int i = 0; ok && i < settings.reads; ++i)
            ok = Timed(client, read, reads, all, ReplyState::Card, err);
        ok = ok && Timed(client, checkOut, outs, all, ReplyState::Result, err);
    }

    for (const LatencySeries *s : {&in, &outs, &reads, &all})
        s->Print(out);
    out.flush();
    return ok ? 0 : 1;
}

} // namespace frontdesk

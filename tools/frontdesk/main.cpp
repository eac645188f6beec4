// frontdesk: sends the front-desk system's requests to the interface server
// and prints the replies; "frontdesk bench" is the load generator.

#include "client.h"
#include "frames.h"
#include "loadbench.h"
#include "platform/programversion.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

using namespace frontdesk;

namespace {

// Exit codes: a request that was answered with success, answered with a
// failure code, not answered, or not understood.
enum Exit { Success = 0, FailureReply = 1, NoReply = 2, Usage = 64 };

const char *const UsageText = "usage: frontdesk [--host H] [--port N] [--timeout MS] COMMAND\n"
                              "  checkin ROOM NAME START END   times as \"yyyy-mm-dd hh:nn:ss\"\n"
                              "  checkout ROOM\n"
                              "  duplicate ROOM [NAME] [END]   a second card for the room's stay\n"
                              "  oneshot ROOM START END        a card of its own for START to END\n"
                              "  read\n"
                              "  g                             expects no reply\n"
                              "  raw HEX...                    bytes to send, e.g. 02 00 00 00 00 45 03\n"
                              "  bench [--cycles N] [--reads N] [--room R] [--desks N] [--blank-reads N]\n"
                              "  bench --echo N                round trips to an echo server\n"
                              "defaults: host 127.0.0.1, port 7800, timeout 5000 ms\n"
                              "--help, --version: print this text, or the version\n";

struct Arguments
{
    QStringList items;
    int next = 0;

    bool AtEnd() const { return next >= items.size(); }
    QString Take() { return items.at(next++); }
};

int UsageError(QTextStream &err, const QString &reason)
{
    err << "frontdesk: " << reason << '\n' << UsageText;
    return Usage;
}

bool TakeText(Arguments &args, const QString &option, QString &value, QString &error)
{
    if (args.AtEnd()) {
        error = option + QStringLiteral(" needs a value");
        return false;
    }
    value = args.Take();
    return true;
}

bool TakeNumber(Arguments &args, const QString &option, int min, int max, int &value, QString &error)
{
    QString text;
    if (!TakeText(args, option, text, error))
        return false;
    bool ok = false;
    value = text.toInt(&ok);
    if (!ok || value < min || value > max) {
        error = QStringLiteral("%1: '%2' is not a number from %3 to %4").arg(option, text).arg(min).arg(max);
        return false;
    }
    return true;
}

// Sends a frame that must be answered and prints the reply.
int Ask(Client &client, const QByteArray &frame, kx::ResultScope scope, QTextStream &out, QTextStream &err)
{
    QByteArray reply;
    if (!client.Request(frame, reply)) {
        err << "frontdesk: " << client.error() << '\n';
        return NoReply;
    }
    const QByteArray text = DescribeReply(reply, scope) + '\n';
    out.flush();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    const ReplyState state = ClassifyReply(reply);
    return state == ReplyState::Card || (state == ReplyState::Result && ResultCode(reply) == 0)
               ? Success
               : FailureReply;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);

    // Room and name go out as the bytes they were typed as.
    Arguments args;
    for (int i = 1; i < argc; ++i)
        args.items << QString::fromLocal8Bit(argv[i]);
    auto rawArg = [&](int index) { return QByteArray(argv[index + 1]); };

    QString host = QStringLiteral("127.0.0.1");
    int port = 7800, timeoutMs = 5000;
    QString error;
    while (!args.AtEnd() && args.items.at(args.next).startsWith(QLatin1String("--"))) {
        const QString option = args.Take();
        if (option == QLatin1String("--host")) {
            if (!TakeText(args, option, host, error))
                return UsageError(err, error);
        } else if (option == QLatin1String("--port")) {
            if (!TakeNumber(args, option, 1, 65535, port, error))
                return UsageError(err, error);
        } else if (option == QLatin1String("--timeout")) {
            if (!TakeNumber(args, option, 1, 3600000, timeoutMs, error))
                return UsageError(err, error);
        } else if (option == QLatin1String("--help")) {
            out << UsageText;
            return Success;
        } else if (option == QLatin1String("--version")) {
            kx::PrintVersion("frontdesk");
            return Success;
        } else {
            return UsageError(err, QStringLiteral("unknown option ") + option);
        }
    }
    if (args.AtEnd())
        return UsageError(err, QStringLiteral("no command given"));

    const int commandIndex = args.next;
    const QString command = args.Take();
    const qsizetype operands = args.items.size() - args.next;
    QByteArray frame;
    LoadSettings load;
    if (command == QLatin1String("checkin")) {
        if (operands != 4)
            return UsageError(err, QStringLiteral("checkin needs ROOM NAME START END"));
        TCardInterface request;
        request.Room = rawArg(commandIndex + 1);
        request.GuestName = rawArg(commandIndex + 2);
        if (!ParseFrameTime(args.items.at(commandIndex + 3), request.GuestInTime, error) ||
            !ParseFrameTime(args.items.at(commandIndex + 4), request.GuestLeaveTime, error))
            return UsageError(err, error);
        frame = CheckInFrame(request);
    } else if (command == QLatin1String("checkout")) {
        if (operands != 1)
            return UsageError(err, QStringLiteral("checkout needs ROOM"));
        frame = CheckOutFrame(rawArg(commandIndex + 1));
    } else if (command == QLatin1String("duplicate")) {
        if (operands < 1 || operands > 3)
            return UsageError(err, QStringLiteral("duplicate needs ROOM [NAME] [END]"));
        // With one operand after the room, a time is the end and anything else the name.
        std::optional<QByteArray> holder;
        std::optional<TDateTime> end;
        TDateTime value = 0;
        QString ignored;
        const bool lastIsTime =
            operands >= 2 && ParseFrameTime(args.items.at(commandIndex + int(operands)), value, ignored);
        if (operands == 3 || (operands == 2 && !lastIsTime))
            holder = rawArg(commandIndex + 2);
        if (lastIsTime)
            end = value;
        else if (operands == 3)
            return UsageError(err, QStringLiteral("'%1' is not a time of the form yyyy-mm-dd hh:nn:ss")
                                       .arg(args.items.at(commandIndex + 3)));
        frame = DuplicateKeyFrame(rawArg(commandIndex + 1), holder, end);
    } else if (command == QLatin1String("oneshot")) {
        if (operands != 3)
            return UsageError(err, QStringLiteral("oneshot needs ROOM START END"));
        TDateTime start = 0, end = 0;
        if (!ParseFrameTime(args.items.at(commandIndex + 2), start, error) ||
            !ParseFrameTime(args.items.at(commandIndex + 3), end, error))
            return UsageError(err, error);
        frame = OneShotKeyFrame(rawArg(commandIndex + 1), start, end, std::nullopt);
    } else if (command == QLatin1String("read") || command == QLatin1String("g")) {
        if (operands != 0)
            return UsageError(err, command + QStringLiteral(" takes no operands"));
        frame = CommandFrame(command == QLatin1String("read") ? 'E' : 'G');
    } else if (command == QLatin1String("raw")) {
        for (; !args.AtEnd();) {
            const QString hex = args.Take().remove(QLatin1Char(' '));
            const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
            if (hex.isEmpty() || hex.size() % 2 != 0 || bytes.toHex() != hex.toLower().toLatin1())
                return UsageError(err, QStringLiteral("'%1' is not hexadecimal bytes").arg(hex));
            frame += bytes;
        }
        if (frame.isEmpty())
            return UsageError(err, QStringLiteral("raw needs the bytes to send"));
    } else if (command == QLatin1String("bench")) {
        while (!args.AtEnd()) {
            const QString option = args.Take();
            if (option == QLatin1String("--cycles")) {
                if (!TakeNumber(args, option, 0, 10000000, load.cycles, error))
                    return UsageError(err, error);
            } else if (option == QLatin1String("--reads")) {
                if (!TakeNumber(args, option, 0, 10000000, load.reads, error))
                    return UsageError(err, error);
            } else if (option == QLatin1String("--room")) {
                QString room;
                if (!TakeText(args, option, room, error))
                    return UsageError(err, error);
                load.room = room.toLatin1();
            } else if (option == QLatin1String("--desks")) {
                if (!TakeNumber(args, option, 1, 64, load.desks, error))
                    return UsageError(err, error);
            } else if (option == QLatin1String("--blank-reads")) {
                if (!TakeNumber(args, option, 0, 10000000, load.blankReads, error))
                    return UsageError(err, error);
            } else if (option == QLatin1String("--echo")) {
                if (!TakeNumber(args, option, 1, 10000000, load.echoes, error))
                    return UsageError(err, error);
            } else {
                return UsageError(err, QStringLiteral("unknown bench option ") + option);
            }
        }
        bool numeric = false;
        load.room.toInt(&numeric);
        if (load.desks > 1 && !numeric)
            return UsageError(err, QStringLiteral("--desks needs a numeric --room: desk k takes room R+k"));
    } else
        return UsageError(err, QStringLiteral("unknown command ") + command);

    if (command == QLatin1String("bench"))
        return RunLoad(host, quint16(port), timeoutMs, load, out, err) == 0 ? Success : FailureReply;
    Client client(host, quint16(port), timeoutMs);
    if (!client.Connect()) {
        err << "frontdesk: " << client.error() << '\n';
        return NoReply;
    }
    if (command == QLatin1String("g")) {
        // G is only logged: wait a little to make sure nothing comes back.
        QByteArray unexpected;
        const bool quiet = client.Send(frame, 500, unexpected);
        if (quiet) {
            out << "no reply (as expected)\n";
            return Success;
        }
        err << "frontdesk: "
            << (unexpected.isEmpty() ? client.error()
                                     : QStringLiteral("unexpected reply: ") + unexpected.toHex(' '))
            << '\n';
        return FailureReply;
    }
    const bool keyRequest = command == QLatin1String("duplicate") || command == QLatin1String("oneshot");
    return Ask(client, frame, keyRequest ? kx::ResultScope::KeyRequests : kx::ResultScope::StayRequests, out,
               err);
}

#include "fiasrig.h"

#include "e2e/locksystem.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

// A station that takes connections and frames but never answers.
class SilentStation
{
public:
    SilentStation()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { m_received += s->readAll(); });
        });
    }
    quint16 Port() const { return m_server.serverPort(); }
    const QByteArray &Received() const { return m_received; }

private:
    QTcpServer m_server;
    QByteArray m_received;
};

// A loopback port nothing listens on.
quint16 ClosedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QByteArray Departure(int days)
{
    return QDate::currentDate().addDays(days).toString(QStringLiteral("yyMMdd")).toLatin1();
}

} // namespace

// One station (rooms 101 to 103, a blank card on its encoder) on coder 1.
class FiasLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(station.Start({QStringLiteral("101-103")})) << station.error().toStdString();
        ASSERT_EQ(station.Card({"place", "--serial", "78563412"}), 0);
        ASSERT_TRUE(rig.StartPms()) << rig.error().toStdString();
    }

    void StartLink(QList<FiasRig::Coder> coders = {}, const QByteArray &settings = {})
    {
        coders.prepend({QStringLiteral("1"), StationPort()});
        ASSERT_TRUE(rig.StartLink(coders, settings)) << rig.error().toStdString();
        ASSERT_GE(rig.WaitPms(QStringLiteral("^link active$")), 0);
    }

    quint16 StationPort() { return station.Port(); }

    int Count(const QString &table, const QString &where = QStringLiteral("1=1"))
    {
        return station.Rows(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table, where)).size();
    }

    LockSystem station;
    FiasRig rig;
};

TEST_F(FiasLink, LinkExchangeIsCheckedRedoneOnEveryLinkStartAndKeptAlive)
{
    StartLink({}, "AliveCheck=1\n");
    for (const char *check : {"^check: LD ok$", "^check: LR KR ok$", "^check: LR KD ok$", "^check: LR KZ ok$",
                              "^check: LR KA ok$", "^check: LA ok$"})
        EXPECT_GE(rig.WaitPms(QString::fromLatin1(check)), 0) << check;
    EXPECT_GE(rig.WaitLink(QStringLiteral("link: active")), 0);
    // Idle for a second: the link is checked with an LS, which the PMS answers.
    EXPECT_GE(rig.WaitPms(QStringLiteral("^< LS\\|DA\\d{6}\\|TI\\d{6}\\|$")), 0);

    // An LS in the middle of the run: the whole exchange again, then keys work.
    const int from = int(rig.PmsLines().size());
    rig.ToPms("LS|DA240520|TI143101|");
    EXPECT_GE(rig.WaitPms(QStringLiteral("^check: LD ok$"), from), 0);
    EXPECT_GE(rig.WaitPms(QStringLiteral("^link active$"), from), 0);
    EXPECT_EQ(rig.Ask("KZ|KC1|WSFO1|"), "KZ|ASNG|CTThe card holds no key|KC1|WSFO1|");

    // LE keeps the connection; the next key record is served without an LS.
    rig.ToPms("LE|DA240520|TI143200|");
    EXPECT_GE(rig.WaitLink(QStringLiteral("link: ended by the PMS")), 0);
    EXPECT_EQ(rig.Ask("KZ|KC1|WSFO1|"), "KZ|ASNG|CTThe card holds no key|KC1|WSFO1|");

    EXPECT_EQ(rig.StopLink(), 0);
    EXPECT_TRUE(rig.LinkLines().last().endsWith("link: stopping"));
}

TEST_F(FiasLink, StartsTheLinkItselfWhenThePmsSendsNoLinkStart)
{
    rig.StopPms();
    ASSERT_TRUE(rig.StartPms({QStringLiteral("--no-link-start")}));
    StartLink();
    EXPECT_GE(rig.WaitLink(QStringLiteral("no LS from the PMS within 3 s")), 0);
    EXPECT_GE(rig.WaitPms(QStringLiteral("^check: LA ok$")), 0);
}

TEST_F(FiasLink, ReconnectsWhenThePmsDropsTheLinkOrGoesAway)
{
    StartLink();
    int from = int(rig.PmsLines().size());
    rig.ToPms("!drop");
    ASSERT_GE(rig.WaitPms(QStringLiteral("^key system connected"), from), 0);
    ASSERT_GE(rig.WaitPms(QStringLiteral("^link active$"), from), 0);
    EXPECT_GE(rig.WaitLink(QStringLiteral("link: disconnected")), 0);

    const quint16 port = rig.PmsPort();
    rig.StopPms();
    ASSERT_TRUE(rig.StartPms({}, port)) << rig.error().toStdString();
    from = int(rig.PmsLines().size());
    ASSERT_GE(rig.WaitPms(QStringLiteral("^link active$"), from), 0);
    EXPECT_EQ(rig.Ask("KZ|KC1|WSFO1|"), "KZ|ASNG|CTThe card holds no key|KC1|WSFO1|");
}

TEST_F(FiasLink, NewKeyChecksInReadsBackAndKeyDeleteChecksOut)
{
    StartLink();
    const QByteArray gd = Departure(2);
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTN|GNLi|GD" + gd + "|DT11:00|G#11122|$21000278100011122|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|G#11122|");
    const QJsonObject card = station.ShowCard();
    EXPECT_EQ(card.value("room").toInt(), 101);
    EXPECT_EQ(card.value("end").toString(),
              QDate::currentDate().addDays(2).toString(QStringLiteral("yyyy-MM-dd")) + " 11:00");
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND Room=101 AND GuestName='Li'"), 1);

    EXPECT_EQ(rig.Ask("KZ|KC1|WSFO1|"), "KZ|ASOK|CTOperation completed successfully|KC1|WSFO1|RN101|GNLi|GD" +
                                            QString::fromLatin1(gd) + "|DT11:00|");

    // Guest names and track data stay out of the link's log.
    const QString log = rig.LinkLines().join('\n');
    EXPECT_TRUE(log.contains("GNL***|")) << log.toStdString();
    EXPECT_FALSE(log.contains("GNLi")) << log.toStdString();
    EXPECT_FALSE(log.contains("1000278100011122")) << log.toStdString();

    // A second new key for the occupied room cancels the first: the room is
    // checked out (its card revoked) and checked in for the new guest.
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTN|GNWang|GD" + gd + "|G#11123|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|G#11123|");
    EXPECT_EQ(Count("GuestInRecord"), 2);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND GuestName='Wang'"), 1);
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0"), 1);
    EXPECT_EQ(station.ShowCard().value("end").toString(),
              QDate::currentDate().addDays(2).toString(QStringLiteral("yyyy-MM-dd")) + " 12:00");

    EXPECT_EQ(rig.Ask("KD|WS3|KC1|RN101|G#11123|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|G#11123|");
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0"), 0);
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0"), 0);
    EXPECT_EQ(station.ShowCard().value("room").toInt(), 0);

    // A stay that begins on a later day opens the door from that day's start.
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN102|KTN|GA" + Departure(1) + "|GD" + gd + "|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|");
    EXPECT_EQ(station.ShowCard().value("start").toString(),
              QDate::currentDate().addDays(1).toString(QStringLiteral("yyyy-MM-dd")) + " 00:00");
}

TEST_F(FiasLink, DuplicateAndOneShotKeysLeaveTheStayAsItIs)
{
    StartLink();
    const QByteArray gd = Departure(2);
    const QString end = QDate::currentDate().addDays(2).toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTD|GD" + gd + "|"),
              "KA|ASNG|CTThe room has no open stay|KC1|WS3|"); // no stay to duplicate yet
    ASSERT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTN|GNLi|GD" + gd + "|G#1|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|G#1|");

    ASSERT_EQ(station.Card({"place", "--serial", "0000ABCD"}), 0);
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTD|GNWang|GD" + gd + "|DT10:00|G#1|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|G#1|");
    EXPECT_EQ(station.ShowCard().value("end").toString(), end + " 10:00");
    EXPECT_EQ(Count("MakeCardRecord", "cardstatus=0 AND Room=101"), 2);
    EXPECT_EQ(Count("MakeCardRecord", "Rom='0000ABCD' AND Holder='Wang' AND CardType=4"), 1);
    // A duplicate may not outlast the stay.
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTD|GD" + Departure(3) + "|"),
              "KA|ASUR|CTThe key's period is not valid|KC1|WS3|");

    ASSERT_EQ(station.Card({"place", "--serial", "0000BEEF"}), 0);
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN102|KTO|GD" + gd + "|DT09:30|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|");
    EXPECT_EQ(station.ShowCard().value("room").toInt(), 102);
    EXPECT_EQ(station.ShowCard().value("end").toString(), end + " 09:30");
    EXPECT_EQ(Count("MakeCardRecord", "Rom='0000BEEF' AND CardType=5 AND Room=102"), 1);
    EXPECT_EQ(Count("GuestInRecord"), 1);
    EXPECT_EQ(Count("GuestInRecord", "enOverride=0 AND Room=101"), 1);
}

TEST_F(FiasLink, OneShotKeysLastTheConfiguredTimeWhenOneIsSet)
{
    StartLink({}, "OneShotMinutes=90\n");
    const QDateTime before = QDateTime::currentDateTime().addSecs(90 * 60 - 60);
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN103|KTO|GD" + Departure(5) + "|"),
              "KA|ASOK|CTOperation completed successfully|KC1|WS3|");
    const QDateTime end =
        QDateTime::fromString(station.ShowCard().value("end").toString(), QStringLiteral("yyyy-MM-dd HH:mm"));
    EXPECT_GE(end, before);
    EXPECT_LE(end, QDateTime::currentDateTime().addSecs(90 * 60));
}

TEST_F(FiasLink, RequestsThatCannotBeServedGetTheirAnswerStatus)
{
    StartLink();
    const QByteArray gd = Departure(1);
    const struct
    {
        QByteArray record;
        QString answer;
    } cases[] = {
        {"KR|WS3|KC1|RN999|KTN|GD" + gd + "|", "KA|ASNG|CTThe room number was not found|KC1|WS3|"},
        {"KR|WS3|KC1|RN10A|KTN|GD" + gd + "|", "KA|ASNG|CTThe room number was not found|KC1|WS3|"},
        {"KD|WS3|KC1|RN99999|G#7|", "KA|ASNG|CTThe room number was not found|KC1|WS3|G#7|"},
        {"KR|WS3|KC9|RN101|KTN|GD" + gd + "|G#|", "KA|ASUR|CTNo station for this key coder|KC9|WS3|G#|"},
        {"KR|WS3|RN101|KTN|GD" + gd + "|", "KA|ASUR|CTNo station for this key coder|WS3|"},
        {"KM|WS3|KC1|RN101|GD" + gd + "|", "KA|ASUR|CTKey changes need an online lock system|KC1|WS3|"},
        {"KR|WS3|KC1|RN101|KTX|GD" + gd + "|", "KA|ASUR|CTKey type not supported|KC1|WS3|"},
        {"KR|WS3|KC1|RN101|KTN|", "KA|ASUR|CTDeparture date missing or not valid|KC1|WS3|"},
        {"KR|WS3|KC1|RN101|KTN|GD241341|", "KA|ASUR|CTDeparture date missing or not valid|KC1|WS3|"},
        {"KR|WS3|KC1|RN101|KTN|GD" + Departure(-1) + "|",
         "KA|ASUR|CTThe departure lies in the past|KC1|WS3|"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rig.Ask(c.record), c.answer) << c.record.constData();
    EXPECT_EQ(Count("GuestInRecord"), 0);

    ASSERT_EQ(station.Card({"remove"}), 0);
    EXPECT_EQ(rig.Ask("KR|WS3|KC1|RN101|KTN|GD" + gd + "|"),
              "KA|ASRY|CTNo card on the encoder: place a card and|KC1|WS3|");
    EXPECT_EQ(rig.Ask("KZ|KC1|WS3|"), "KZ|ASRY|CTNo card on the encoder: place a card and|KC1|WS3|");
}

TEST_F(FiasLink, CodersWorkAtOnceAndABusyOrSilentOrMissingStationIsAnswered)
{
    SilentStation silent;
    const quint16 closed = ClosedPort();
    StartLink({{QStringLiteral("2"), silent.Port()}, {QStringLiteral("3"), closed}});

    const int from = int(rig.PmsLines().size());
    rig.ToPms("KZ|KC2|WSA|");
    rig.ToPms("KZ|KC2|WSB|");
    rig.ToPms("KZ|KC1|WSC|");
    const int other =
        rig.WaitPms(QStringLiteral("^< KZ\\|ASNG\\|CTThe card holds no key\\|KC1\\|WSC\\|"), from);
    const int silentAnswer = rig.WaitPms(
        QStringLiteral("^< KZ\\|ASUR\\|CTThe key station did not answer in time\\|KC2\\|WSA\\|"), from);
    const int busy =
        rig.WaitPms(QStringLiteral("^< KZ\\|ASBY\\|CTThe key coder is busy\\|KC2\\|WSB\\|"), from);
    ASSERT_GE(other, 0);
    ASSERT_GE(silentAnswer, 0);
    ASSERT_GE(busy, 0);
    EXPECT_LT(other, silentAnswer); // coder 1 did not wait for coder 2
    EXPECT_TRUE(silent.Received().startsWith(QByteArray::fromHex("020000000045")));

    EXPECT_EQ(rig.Ask("KD|WS3|KC3|RN101|"), "KA|ASRY|CTThe key station cannot be reached|KC3|WS3|");
    EXPECT_GE(rig.WaitLink(QStringLiteral("station 127.0.0.1:%1: ").arg(closed)), 0);
    // The link to the PMS stays up through all of it.
    EXPECT_EQ(rig.Ask("KZ|KC1|WS3|"), "KZ|ASNG|CTThe card holds no key|KC1|WS3|");
}

TEST_F(FiasLink, GarbageOnTheLinkIsSkippedAndTheLinkGoesOn)
{
    StartLink();
    const int from = int(rig.LinkLines().size());
    rig.ToPms("!raw 414243");                        // bytes outside a record
    rig.ToPms("!raw 02 58 03");                      // a record id of one character
    rig.ToPms("!raw 02 4b 5a 7c 4b 43 01 31 7c 03"); // a control byte inside
    rig.ToPms("!raw 02 4b 5a 7c 4b 43 31 7c 02");    // STX before ETX: the first is cut off
    rig.ToPms("!raw " + QByteArray(5000, 'A').toHex() + "03");
    rig.ToPms("!raw 58 59 7c 03 02 4b 5a 7c 4b 43 31"); // unknown record, then half a KZ
    rig.ToPms("!raw 7c 57 53 47 7c 5a 5a 31 7c 03");    // its other half, with an unknown field
    EXPECT_GE(rig.WaitPms(QStringLiteral("^< KZ\\|ASNG\\|CTThe card holds no key\\|KC1\\|WSG\\|")), 0);
    for (const char *line : {"3 bytes outside a record skipped", "malformed record \\(no record id\\)",
                             "malformed record \\(control byte", "record without ETX skipped",
                             "record longer than 4096 bytes skipped"})
        EXPECT_GE(rig.WaitLink(QString::fromLatin1(line), from), 0) << line;
    EXPECT_EQ(rig.Ask("KZ|KC1|WS3|"), "KZ|ASNG|CTThe card holds no key|KC1|WS3|");
}

TEST(FiasLinkCommandLine, AnswersHelpAndVersionAndRefusesBadArguments)
{
    const struct
    {
        const char *program;
        QStringList args;
        int exitCode;
        const char *output; // expected in standard output or error
    } cases[] = {
        {"fiaslink", {"--version"}, 0, "fiaslink 1."},
        {"fiaslink", {"--help"}, 0, "usage: fiaslink --pms HOST:PORT"},
        {"fias-pms", {"--version"}, 0, "fias-pms 1."},
        {"fias-pms", {"--help"}, 0, "usage: fias-pms --listen"},
        {"fiaslink", {}, 2, "--pms HOST:PORT is required"},
        {"fiaslink", {"--pms", "127.0.0.1:1"}, 2, "at least one --coder"},
        {"fiaslink", {"--pms", "127.0.0.1", "--coder", "1=127.0.0.1:7800"}, 2, "is not HOST:PORT"},
        {"fiaslink", {"--pms", "127.0.0.1:1", "--coder", "123456789=127.0.0.1:7800"}, 2, "not ID=HOST:PORT"},
        {"fiaslink", {"--pms", "127.0.0.1:1", "--coder", "1=h:1", "--coder", "1=h:2"}, 2, "given twice"},
        {"fiaslink",
         {"--pms", "127.0.0.1:1", "--coder", "1=h:1", "--config", "/nonexistent"},
         2,
         "cannot read the settings file"},
        {"fias-pms", {}, 2, "--listen ADDR:PORT is required"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.args.join(' ').toStdString());
        QProcess p;
        p.start(testproc::Program(QString::fromLatin1(c.program)), c.args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), c.exitCode);
        EXPECT_TRUE(
            QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).contains(c.output));
    }
}

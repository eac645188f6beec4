#include "e2efixture.h"

// The station reaches lockserver with a station key over TLS, through a relay
// that sees what a passive listener on the network would.
class SecureEndToEnd : public EndToEnd
{
protected:
    void Prepare() override
    {
        ASSERT_TRUE(system.UseKeysAndTls()) << system.error().toStdString();
        system.RecordWire();
    }
};

TEST_F(SecureEndToEnd, CardOperationsWorkWithKeysAndTlsAndTheWireShowsNoGuestData)
{
    ASSERT_EQ(CheckIn("101", "Zhang Wenjing"), ResultReply(0));
    TCardInterface card;
    ASSERT_TRUE(frontdesk::ParseCardReply(Read(), card));
    EXPECT_EQ(card.GuestName, "Zhang Wenjing");
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
    EXPECT_EQ(CheckIn("101", "Zhang Wenjing"), ResultReply(0)) << "the room was free again";
    EXPECT_EQ(Count(QStringLiteral("GuestInRecord")), 2);

    EXPECT_TRUE(LockSystem::WaitUntil([&] {
        return system.LockServerOutput().contains(QStringLiteral("station reception connected from"));
    })) << system.LockServerOutput().toStdString();
    const QByteArray wire = system.Wire();
    EXPECT_GT(wire.size(), 1000) << "the station's traffic went through the relay";
    for (const QByteArray &secret : {QByteArray("Zhang Wenjing"), QByteArray("GuestInRecord"),
                                     QByteArray("78563412"), QByteArray("hello")})
        EXPECT_EQ(wire.indexOf(secret), -1) << secret.constData() << " is readable on the wire";
}

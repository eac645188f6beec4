#include "e2efixture.h"

#include "server/peeraddress.h"

#include <QHostAddress>

namespace {

// kandrilox with every reverse lookup held until the test lets it answer.
class HostLookupEndToEnd : public EndToEnd
{
protected:
    void SetUp() override
    {
        system.SetEnvironment(QStringLiteral("LD_PRELOAD"), QStringLiteral(HELD_RESOLVER_PATH));
        system.SetEnvironment(QStringLiteral("KANDRILOX_TEST_RESOLVER_GATE"), Gate());
#ifdef __SANITIZE_ADDRESS__
        // The preloaded library comes before the sanitizer's runtime.
        system.SetEnvironment(QStringLiteral("ASAN_OPTIONS"),
                              qEnvironmentVariable("ASAN_OPTIONS") +
                                  QStringLiteral(":verify_asan_link_order=0"));
#endif
        EndToEnd::SetUp();
    }
    void TearDown() override
    {
        Release();
    }

    QString Gate() const
    {
        return m_gate.file(QStringLiteral("answer"));
    }
    void Release() const
    {
        m_gate.write(QStringLiteral("answer"), "now");
    }

    TempFolder m_gate;
};

// A name server that does not answer delays no reply: the check-in is
// answered while the lookups of its connection are still held. Once the
// lookups answer, every row is printed once, in event order, and the rows
// carry the name.
TEST_F(HostLookupEndToEnd, CheckInIsAnsweredWhileLookupsHangAndRowsFollowInOrder)
{
    EXPECT_EQ(CheckIn("101"), ResultReply(0));

    Release();
    EXPECT_EQ(CheckOut("101"), ResultReply(0));
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.LogOperations().size() >= 3; }));
    EXPECT_EQ(system.LogOperations(),
              QStringList({"Client connection", "Guest check in ok", "Guest check out ok"}));
    const QString name = kx::ReverseLookup(QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(system.LogHosts().last(), name);
}

} // namespace

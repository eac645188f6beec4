#include "e2efixture.h"

TEST_F(EndToEnd, LockDatabaseDownLeavesTheRequestUnansweredAndTheNextOneIsServed)
{
    const quint16 lockPort = system.LockServerPort();
    system.StopLockServer();
    const qsizetype errorsBefore = system.ErrorLines().size();

    // The request ends with the store's error on standard error and no reply.
    system.Connection().write(frontdesk::CheckInFrame(Stay("101")));
    ASSERT_TRUE(LockSystem::WaitUntil([&] { return system.ErrorLines().size() > errorsBefore; }))
        << "no error reported";
    // The report says which records store could not be reached.
    EXPECT_TRUE(system.ErrorLines().last().contains(QStringLiteral(":%1").arg(lockPort)))
        << system.ErrorLines().last().toStdString();
    EXPECT_EQ(system.Connection().bytesAvailable(), 0);
    EXPECT_EQ(system.ShowCard().value("room").toInt(), 0); // the room check came first: card untouched

    // lockserver back on the same port: the same connection is served again.
    ASSERT_TRUE(system.StartLockServer(lockPort)) << system.error().toStdString();
    EXPECT_EQ(CheckIn("101"), ResultReply(0));
    EXPECT_EQ(Count("GuestInRecord"), 1);
}

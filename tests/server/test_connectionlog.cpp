#include "server/connectionlog.h"
#include "server/headlesslogprinter.h"
#include "server/peeraddress.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

TEST(ConnectionLog, HasTheFourCaptionedColumns)
{
    kx::ConnectionLog log;
    ASSERT_EQ(log.columnCount(), 4);
    QStringList captions;
    for (int c = 0; c < log.columnCount(); ++c)
        captions << log.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(captions, QStringList({"IP Address", "Host", "Operation", "Time"}));

    // A caption can be translated; the rows are not touched.
    QSignalSpy changed(&log, &QAbstractItemModel::headerDataChanged);
    EXPECT_TRUE(log.setHeaderData(2, Qt::Horizontal, "操作"));
    EXPECT_EQ(log.headerData(2, Qt::Horizontal).toString(), "操作");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(log.setHeaderData(4, Qt::Horizontal, "x"));
    EXPECT_FALSE(log.setHeaderData(0, Qt::Vertical, "x"));
}

TEST(ConnectionLog, AppendsStampedRowsAndClears)
{
    kx::FixedClock clock(kx::EncodeDate(2024, 5, 20) + kx::EncodeTime(14, 5, 9, 600));
    kx::ConnectionLog log(clock);
    QSignalSpy added(&log, &kx::ConnectionLog::RowAdded);
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);

    log.AddLogRow("10.0.0.7", "desk", "Client connection");
    clock.Set(kx::EncodeDate(2024, 12, 31) + kx::EncodeTime(23, 59, 59, 0));
    log.AddLogRow("10.0.0.8", "", "");

    ASSERT_EQ(log.rowCount(), 2);
    const QStringList first = {"10.0.0.7", "desk", "Client connection", "2024-05-20 14:05:09"};
    EXPECT_EQ(log.Row(0), first);
    EXPECT_EQ(log.data(log.index(1, kx::ConnectionLog::TimeColumn)).toString(), "2024-12-31 23:59:59");
    EXPECT_EQ(log.data(log.index(1, kx::ConnectionLog::HostColumn)).toString(), "");
    ASSERT_EQ(added.count(), 2);
    EXPECT_EQ(added.at(0).at(0).toStringList(), first);
    EXPECT_EQ(inserted.count(), 2);

    log.Clear();
    EXPECT_EQ(log.rowCount(), 0);
    log.AddLogRow("1.2.3.4", "", "after");
    EXPECT_EQ(log.Row(0).at(2), "after");
}

// Headless: each row is announced for printing and then forgotten.
TEST(ConnectionLog, KeepsNoRowsWhenToldSo)
{
    kx::ConnectionLog log;
    log.AddLogRow("10.0.0.7", "desk", "before");
    log.SetKeepRows(false);
    EXPECT_EQ(log.rowCount(), 0);
    QSignalSpy added(&log, &kx::ConnectionLog::RowAdded);
    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 100; ++i)
        log.AddLogRow("10.0.0.7", "desk", "Guest check in ok");
    EXPECT_EQ(log.rowCount(), 0);
    EXPECT_EQ(added.count(), 100);
    EXPECT_EQ(inserted.count(), 0);
}

TEST(HeadlessLogPrinter, PrintsEachRowAsOneTabSeparatedLine)
{
    kx::FixedClock clock(kx::EncodeDate(2024, 5, 20) + kx::EncodeTime(14, 0, 0, 0));
    kx::ConnectionLog log(clock);
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> out(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(out);
    kx::HeadlessLogPrinter printer(log, out.get());

    log.AddLogRow("127.0.0.1", "localhost", "Guest check in ok");
    log.AddLogRow("127.0.0.1", "", "two\tlines\nof text");

    std::rewind(out.get());
    char text[256] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, out.get());
    EXPECT_EQ(QByteArray(text, static_cast<int>(n)),
              "127.0.0.1\tlocalhost\tGuest check in ok\t2024-05-20 14:00:00\n"
              "127.0.0.1\t\ttwo lines of text\t2024-05-20 14:00:00\n");
}

TEST(PeerAddress, ShowsIPv4PeersInDottedDecimal)
{
    const std::pair<const char *, const char *> cases[] = {
        {"192.168.1.20", "192.168.1.20"}, {"::ffff:10.0.0.7", "10.0.0.7"}, {"::1", "::1"}};
    for (const auto &[address, shown] : cases)
        EXPECT_EQ(kx::PeerAddressText(QHostAddress(QString::fromLatin1(address))), shown) << address;
}

TEST(PeerAddress, ReverseLookupNamesLoopbackAndLeavesUnnamedEmpty)
{
    // The loopback address is named in every hosts file; the mapped form is looked up as IPv4.
    EXPECT_FALSE(kx::ReverseLookup(QHostAddress("127.0.0.1")).isEmpty());
    EXPECT_EQ(kx::ReverseLookup(QHostAddress("::ffff:127.0.0.1")),
              kx::ReverseLookup(QHostAddress("127.0.0.1")));
    EXPECT_EQ(kx::ReverseLookup(QHostAddress()), QString());
}

} // namespace

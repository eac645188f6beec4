#include "common/tempfolder.h"
#include "recordingnotifier.h"
#include "store/lockserverprocess.h"

#include "platform/programfolder.h"
#include "server/interfaceserver.h"
#include "shell/mainwindow.h"
#include "shell/system.h"
#include "store/dmrmt.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

namespace {

// Bytes that connections to the port on loopback have received and their
// program has not read yet: a request waiting at a stopped records store.
qint64 UnreadBytesAt(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    qint64 unread = 0;
    table.readLine(); // the heading
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        // sl local_address rem_address st tx_queue:rx_queue ...
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5 || fields[1].split(':').value(1).toUInt(nullptr, 16) != port)
            continue;
        unread += fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return unread;
}

// The service as start-up builds it (records store on the real lockserver,
// an encoder library that insists on one thread) under the real main window.
class RequestWait : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString url = QStringLiteral("sqlite:") + m_folder.file(QStringLiteral("lock.db"));
        ASSERT_EQ(LockServerProcess::RunCommand(url, {"rooms", "add", "101"}), 0);
        m_store = std::make_unique<LockServerProcess>(url);
        ASSERT_NE(m_store->Start(), 0) << m_store->Output().toStdString();
        m_folder.write(QStringLiteral("Kandrilox.ini"),
                       QStringLiteral("[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=%1\n"
                                      "[Encoder]\nLibrary=%2\n")
                           .arg(m_store->Port())
                           .arg(QStringLiteral(THREAD_ENCODER_PATH))
                           .toUtf8());

        m_system.CreateDataModule();
        m_system.DataModule().ConnectServer();
        m_system.LoadSettingsAndEncoder();
        m_system.StartListener(0);
        ASSERT_TRUE(m_notifier.errors.isEmpty()) << m_notifier.errors.join('\n').toStdString();
        m_window = std::make_unique<Tfrm_main>(m_system.Log(), m_system.Server(), nullptr, nullptr);
        m_window->show();
    }

    void TearDown() override
    {
        if (m_stopped)
            ::kill(pid_t(m_store->Pid()), SIGCONT);
    }

    std::unique_ptr<QTcpSocket> Connect()
    {
        auto client = std::make_unique<QTcpSocket>();
        const int rows = Rows();
        client->connectToHost(QHostAddress::LocalHost, m_system.Server().ServerPort());
        EXPECT_TRUE(QTest::qWaitFor([&] { return Rows() > rows; }));
        return client;
    }

    // Rows the window's list shows.
    int Rows() const { return m_window->lstview_connectionlist->model()->rowCount(); }
    QString Operation(int row) const
    {
        const QAbstractItemModel *model = m_window->lstview_connectionlist->model();
        return model->index(row, kx::ConnectionLog::OperationColumn).data().toString();
    }

    void StopStore()
    {
        m_stopped = ::kill(pid_t(m_store->Pid()), SIGSTOP) == 0;
        ASSERT_TRUE(m_stopped);
    }
    void ContinueStore()
    {
        ::kill(pid_t(m_store->Pid()), SIGCONT);
        m_stopped = false;
    }

    TempFolder m_folder;
    kx::ProgramFolder m_programFolder{m_folder.path()};
    RecordingNotifier m_notifier;
    std::unique_ptr<LockServerProcess> m_store;
    bool m_stopped = false;
    kx::System m_system{m_programFolder, m_folder.path(), m_notifier};
    std::unique_ptr<Tfrm_main> m_window;
};

TEST_F(RequestWait, WindowGoesOnWhileACheckInWaitsForTheStoreAndRequestsKeepTheirOrder)
{
    auto desk = Connect();
    StopStore();
    desk->write(QByteArray::fromHex("0200000000497C523130317C4E4C697C44240520140000"
                                    "7C4F24052212000003"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return UnreadBytesAt(m_store->Port()) > 0; }));

    // The check-in waits at the stopped store. The window's thread still
    // takes a new connection and shows its row; the new connection's request
    // waits its turn.
    auto other = Connect();
    other->write(QByteArray::fromHex("02000000004703"));
    other->flush();
    EXPECT_EQ(desk->bytesAvailable(), 0);
    EXPECT_EQ(Operation(Rows() - 1), "Client connection");

    ContinueStore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return desk->bytesAvailable() >= 7; }, 30000));
    EXPECT_EQ(desk->readAll().toHex(' '), "02 00 00 00 00 00 03");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Operation(Rows() - 1) == "G Guest check in"; }));
    EXPECT_EQ(Operation(Rows() - 2), "Guest check in ok");
    EXPECT_TRUE(m_notifier.errors.isEmpty()) << m_notifier.errors.join('\n').toStdString();
}

// The library was initialised and then used for a check-in, a check-out and
// a card read, always from one thread, never the window's.
TEST_F(RequestWait, EncoderLibraryIsCalledFromOneThreadThatIsNotTheWindows)
{
    auto desk = Connect();
    const QList<QByteArray> frames = {
        QByteArray::fromHex("0200000000497C523130317C4E4C697C442405201400007C4F24052212000003"),
        QByteArray::fromHex("0200000000427C5231303103"),
        QByteArray::fromHex("020000000045"
                            "03")};
    for (const QByteArray &frame : frames) {
        desk->write(frame);
        ASSERT_TRUE(QTest::qWaitFor([&] { return desk->bytesAvailable() >= 7; }, 30000));
        const QByteArray reply = desk->readAll();
        EXPECT_NE(reply.toHex(' '), "02 00 00 00 00 0a 03") << "the library was called from another thread";
    }

    void *library = dlopen(THREAD_ENCODER_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    using Callers = int (*)(pthread_t *);
    const auto callers = reinterpret_cast<Callers>(dlsym(library, "ThreadEncoderCallers"));
    ASSERT_NE(callers, nullptr);
    pthread_t caller{};
    EXPECT_EQ(callers(&caller), 1);
    EXPECT_FALSE(pthread_equal(caller, pthread_self()));
    dlclose(library);
    EXPECT_TRUE(m_notifier.errors.isEmpty()) << m_notifier.errors.join('\n').toStdString();
}

} // namespace

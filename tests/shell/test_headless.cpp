#include "common/process.h"
#include "common/tempfolder.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

// kandrilox --headless as a real process in a temporary program folder.
class HeadlessKandrilox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // No records store listens on this port: start-up reports it and goes on.
        m_home.write("Kandrilox.ini", "[SystemInfo]\nServerIp=127.0.0.1\nRmtPort=1\n");
    }

    void Start(QProcess &process, quint16 port = 0)
    {
        process.setReadChannel(QProcess::StandardError);
        process.start(testproc::Program("kandrilox"),
                      {"--headless", "--home", m_home.path(), "--port", QString::number(port)});
        ASSERT_TRUE(process.waitForStarted());
    }

    void TearDown() override
    {
        for (QProcess *p : {&m_first}) {
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                p->waitForFinished(10000);
            }
        }
    }

    TempFolder m_home;
    QProcess m_first;
};

TEST_F(HeadlessKandrilox, ServesGFramesAndLogsTheConnectionOnStandardOutput)
{
    Start(m_first);
    QString earlier;
    const quint16 port = testproc::WaitForListening(m_first, &earlier);
    ASSERT_NE(port, 0) << earlier.toStdString();
    EXPECT_TRUE(earlier.contains("wrong: wrong 1 Server connect failed,please reset"))
        << earlier.toStdString();

    QTcpSocket client;
    client.connectToHost("127.0.0.1", port);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(QByteArray::fromHex("02000000004703"));
    client.waitForBytesWritten(5000);
    client.disconnectFromHost();

    QStringList operations;
    m_first.setReadChannel(QProcess::StandardOutput);
    QDeadlineTimer deadline(10000);
    while (operations.size() < 3 && !deadline.hasExpired()) {
        if (!m_first.canReadLine() && !m_first.waitForReadyRead(200))
            continue;
        const QStringList columns = QString::fromUtf8(m_first.readLine()).trimmed().split('\t');
        ASSERT_EQ(columns.size(), 4);
        EXPECT_EQ(columns[0], "127.0.0.1");
        EXPECT_TRUE(QDateTime::fromString(columns[3], "yyyy-MM-dd HH:mm:ss").isValid())
            << columns[3].toStdString();
        operations << columns[2];
    }
    EXPECT_EQ(operations, (QStringList{"Client connection", "G Guest check in", "Disclient connection"}));
    EXPECT_EQ(client.bytesAvailable(), 0); // a G frame gets no reply

    // SIGTERM ends it cleanly.
    m_first.terminate();
    ASSERT_TRUE(m_first.waitForFinished(10000));
    EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_first.exitCode(), 0);
}

TEST_F(HeadlessKandrilox, SecondCopyForTheSameFolderIsRefused)
{
    Start(m_first);
    ASSERT_NE(testproc::WaitForListening(m_first), 0);

    QProcess second;
    Start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError())
                    .contains("Sorry!: Hotel lock system interface client already running!"));
    EXPECT_EQ(m_first.state(), QProcess::Running);
}

TEST_F(HeadlessKandrilox, TakenPortEndsStartUpWithExitCodeOne)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::Any, 0));
    QProcess process;
    Start(process, taken.serverPort());
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("error: "));
}

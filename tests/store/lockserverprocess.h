#pragma once

#include "common/process.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// The real lockserver from the program folder, serving on a free loopback port.
class LockServerProcess
{
public:
    // extra: further options, for example {"--key-file", FILE}.
    explicit LockServerProcess(QString databaseUrl, QStringList extra = {})
        : m_url(std::move(databaseUrl)), m_extra(std::move(extra))
    {
    }
    ~LockServerProcess() { Stop(); }

    // Starts it on port (0: a free one) and gives the port it listens on, 0 on failure.
    quint16 Start(quint16 port = 0)
    {
        m_process.setProgram(testproc::Program(QStringLiteral("lockserver")));
        m_process.setArguments(QStringList{QStringLiteral("--listen"),
                                           QStringLiteral("127.0.0.1:%1").arg(port),
                                           QStringLiteral("--database"), m_url} +
                               m_extra);
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start();
        m_port = testproc::WaitForListening(m_process, &m_earlier);
        return m_port;
    }

    // Ends it with SIGTERM and gives its exit code (-1 when it did not end cleanly).
    int Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    quint16 Port() const { return m_port; }
    qint64 Pid() const { return m_process.processId(); }
    // What it wrote to standard error up to now.
    QString Output()
    {
        m_earlier += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_earlier;
    }

    // Runs "lockserver --database URL args..." to its end; gives exit code and output.
    static int RunCommand(const QString &url, const QStringList &args, QString *out = nullptr)
    {
        QProcess p;
        p.start(testproc::Program(QStringLiteral("lockserver")),
                QStringList{QStringLiteral("--database"), url} + args);
        if (!p.waitForFinished(30000))
            return -1;
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // Runs "lockserver --database URL args..." as a server that is expected
    // to refuse to start; gives its exit code and output (-1 when it ran on).
    static int RunServer(const QString &url, const QStringList &args, QString *out = nullptr)
    {
        QProcess p;
        p.start(testproc::Program(QStringLiteral("lockserver")),
                QStringList{QStringLiteral("--database"), url} + args);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QProcess &Process() { return m_process; }

private:
    QString m_url;
    QStringList m_extra;
    QProcess m_process;
    QString m_earlier;
    quint16 m_port = 0;
};

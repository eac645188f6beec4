#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>

// Helpers for tests that run the built programs as real processes.
namespace testproc {

inline QString BinDir()
{
    return qEnvironmentVariable("KANDRILOX_BIN_DIR");
}

inline QString Program(const QString &name)
{
    return BinDir() + QLatin1Char('/') + name;
}

// Reads standard error until the "listening on ADDR:PORT" line comes and
// gives the port, or 0 when the process ends or the wait times out. Lines
// read before it are appended to earlier (may be null).
inline quint16 WaitForListening(QProcess &process, QString *earlier = nullptr, int timeoutMs = 20000)
{
    static const QRegularExpression listening(QStringLiteral("^listening on .*:(\\d+)$"));
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            const QRegularExpressionMatch m = listening.match(line);
            if (m.hasMatch())
                return static_cast<quint16>(m.captured(1).toUInt());
            if (earlier)
                *earlier += line + QLatin1Char('\n');
        }
        if (process.state() == QProcess::NotRunning)
            return 0;
        process.waitForReadyRead(100);
    }
    return 0;
}

// Ends a started program with SIGTERM (SIGKILL when it does not end within
// 10 s) and lets it go.
inline void Stop(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(10000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    process.reset();
}

// Waits until the process has written text to its read channel; true when it did.
template <typename Server> bool WaitForOutput(Server &server, const QString &text, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!server.Output().contains(text)) {
        if (deadline.hasExpired() || server.Process().state() == QProcess::NotRunning)
            return false;
        server.Process().waitForReadyRead(100);
    }
    return true;
}

} // namespace testproc

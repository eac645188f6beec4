#pragma once

#include "common/process.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// Runs the real hotellock-card from the program folder and collects what it said.
struct CardToolRun
{
    int exitCode = -1; // -1: did not start, crashed or hung
    QString out;
    QString err;

    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

inline CardToolRun RunCardTool(const QStringList &args, const QString &workingDir = QString())
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(testproc::Program(QStringLiteral("hotellock-card")), args);
    CardToolRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// What a new user types first: every program answers --help and --version
// without a display, and kandrilox without one says what to do instead.

#include "common/process.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct ProgramRun
{
    int exitCode = -1;
    QString out, err;
};

ProgramRun RunWithoutDisplay(const QString &program, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(testproc::Program(program), args);
    ProgramRun run;
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

TEST(Programs, AnswerHelpAndVersionWithoutADisplay)
{
    for (const char *name : {"kandrilox", "lockserver", "hotellock-card", "frontdesk"}) {
        const QString program = QString::fromLatin1(name);
        SCOPED_TRACE(name);
        const ProgramRun help = RunWithoutDisplay(program, {QStringLiteral("--help")});
        EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: ") + program + u' '))
            << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(u"--version")) << help.out.toStdString();
        EXPECT_EQ(help.err, QString());

        const ProgramRun version = RunWithoutDisplay(program, {QStringLiteral("--version")});
        EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
        EXPECT_EQ(version.out, program + u' ' + QStringLiteral(KANDRILOX_TEST_VERSION) + u'\n');
        EXPECT_EQ(version.err, QString());
    }
}

TEST(Programs, KandriloxWithoutADisplaySaysSoInOneLineAndExits1)
{
    const ProgramRun run = RunWithoutDisplay(QStringLiteral("kandrilox"), {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QString());
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(u"kandrilox: no display")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"kandrilox --headless runs the service without windows"))
        << run.err.toStdString();
}

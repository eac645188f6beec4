#include "fiasrig.h"

#include "e2e/locksystem.h"

namespace {

void TakeLines(QProcess &process, QByteArray &partial, QStringList &lines)
{
    partial += process.readAllStandardOutput();
    qsizetype end;
    while ((end = partial.indexOf('\n')) >= 0) {
        lines << QString::fromLatin1(partial.left(end));
        partial.remove(0, end + 1);
    }
}

} // namespace

FiasRig::FiasRig() = default;

FiasRig::~FiasRig()
{
    testproc::Stop(m_link);
    testproc::Stop(m_pms);
}

bool FiasRig::StartPms(const QStringList &extraArgs, quint16 pmsPort)
{
    m_pms = std::make_unique<QProcess>();
    m_pms->setReadChannel(QProcess::StandardError);
    m_pms->start(testproc::Program(QStringLiteral("fias-pms")),
                 QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(pmsPort)} +
                     extraArgs);
    QString earlier;
    m_pmsPort = testproc::WaitForListening(*m_pms, &earlier);
    if (m_pmsPort == 0)
        m_error = QStringLiteral("fias-pms did not start: ") + earlier;
    return m_pmsPort != 0;
}

void FiasRig::StopPms()
{
    Collect();
    testproc::Stop(m_pms);
    m_pmsPartial.clear();
}

bool FiasRig::StartLink(const QList<Coder> &coders, const QByteArray &extraSettings)
{
    const QString config =
        m_folder.write(QStringLiteral("fiaslink.ini"),
                       "[FIAS]\nAnswerTimeout=3\nReconnectMin=1\nReconnectMax=2\n" + extraSettings);
    QStringList args{QStringLiteral("--pms"), QStringLiteral("127.0.0.1:%1").arg(m_pmsPort),
                     QStringLiteral("--config"), config};
    for (const Coder &c : coders)
        args << QStringLiteral("--coder") << QStringLiteral("%1=127.0.0.1:%2").arg(c.id).arg(c.port);
    m_link = std::make_unique<QProcess>();
    m_link->start(testproc::Program(QStringLiteral("fiaslink")), args);
    if (!m_link->waitForStarted(10000)) {
        m_error = QStringLiteral("fiaslink did not start: ") + m_link->errorString();
        return false;
    }
    return true;
}

int FiasRig::StopLink()
{
    if (!m_link)
        return -1;
    m_link->terminate();
    const bool ended = m_link->waitForFinished(10000);
    Collect();
    return ended && m_link->exitStatus() == QProcess::NormalExit ? m_link->exitCode() : -1;
}

void FiasRig::ToPms(const QByteArray &line)
{
    m_pms->write(line + '\n');
}

void FiasRig::Collect()
{
    if (m_pms)
        TakeLines(*m_pms, m_pmsPartial, m_pmsLines);
    if (m_link)
        TakeLines(*m_link, m_linkPartial, m_linkLines);
}

int FiasRig::Wait(const QStringList &lines, const QString &pattern, int from, int timeoutMs)
{
    const QRegularExpression expr(pattern);
    int found = -1;
    LockSystem::WaitUntil(
        [&] {
            Collect();
            for (int i = from; i < lines.size(); ++i) {
                if (expr.match(lines[i]).hasMatch()) {
                    found = i;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

int FiasRig::WaitPms(const QString &pattern, int from, int timeoutMs)
{
    return Wait(m_pmsLines, pattern, from, timeoutMs);
}

int FiasRig::WaitLink(const QString &pattern, int from, int timeoutMs)
{
    return Wait(m_linkLines, pattern, from, timeoutMs);
}

QString FiasRig::Ask(const QByteArray &record, int timeoutMs)
{
    const int from = int(PmsLines().size());
    ToPms(record);
    const int sent = WaitPms(QStringLiteral("^> ") + QRegularExpression::escape(QString::fromLatin1(record)),
                             from, timeoutMs);
    if (sent < 0)
        return QString();
    const int answer = WaitPms(QStringLiteral("^< K[AZ]\\|"), sent, timeoutMs);
    if (answer < 0)
        return QString();
    // The answer's own date and time are left out, so that it can be compared.
    static const QRegularExpression stamp(QStringLiteral("DA\\d{6}\\|TI\\d{6}\\|$"));
    return m_pmsLines[answer].mid(2).remove(stamp);
}

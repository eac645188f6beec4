#pragma once

#include "common/process.h"
#include "common/tempfolder.h"

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <functional>
#include <memory>

// fias-pms and fiaslink as real processes on loopback: the PMS simulator on
// a free port, fiaslink connected to it with the coders given and a settings
// file with short timeouts. Lines of both programs' standard output are
// collected as they come.
class FiasRig
{
public:
    struct Coder
    {
        QString id;
        quint16 port;
    };

    FiasRig();
    ~FiasRig();

    // Starts fias-pms (on pmsPort, 0 for a free one) and, when coders are
    // given, fiaslink. False with error() set when a program fails to start.
    bool StartPms(const QStringList &extraArgs = {}, quint16 pmsPort = 0);
    bool StartLink(const QList<Coder> &coders, const QByteArray &extraSettings = {});
    void StopPms();
    quint16 PmsPort() const { return m_pmsPort; }

    // One line to fias-pms's standard input.
    void ToPms(const QByteArray &line);
    // Waits until a line of fias-pms (or fiaslink) that matches pattern has
    // come, counting from line `from`; gives its index, or -1 on timeout.
    int WaitPms(const QString &pattern, int from = 0, int timeoutMs = 20000);
    int WaitLink(const QString &pattern, int from = 0, int timeoutMs = 20000);
    const QStringList &PmsLines()
    {
        Collect();
        return m_pmsLines;
    }
    const QStringList &LinkLines()
    {
        Collect();
        return m_linkLines;
    }

    // Sends a record and gives the first answer record (KA or KZ) fias-pms
    // prints after it, without the "< " prefix and without its DA and TI;
    // empty on timeout.
    QString Ask(const QByteArray &record, int timeoutMs = 30000);

    // Sends SIGTERM to fiaslink and gives its exit code (-1: did not end cleanly).
    int StopLink();

    QString error() const { return m_error; }

private:
    void Collect();
    int Wait(const QStringList &lines, const QString &pattern, int from, int timeoutMs);

    TempFolder m_folder;
    std::unique_ptr<QProcess> m_pms;
    std::unique_ptr<QProcess> m_link;
    quint16 m_pmsPort = 0;
    QByteArray m_pmsPartial, m_linkPartial;
    QStringList m_pmsLines, m_linkLines;
    QString m_error;
};

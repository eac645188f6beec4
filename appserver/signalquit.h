#pragma once

#include <QObject>

class QCoreApplication;
class QSocketNotifier;

namespace lockserver {

// Turns SIGTERM and SIGINT into a clean end of the event loop: the handler
// only writes to a pipe, and the loop quits when it reads from it.
class SignalQuit : public QObject
{
    Q_OBJECT
public:
    explicit SignalQuit(QCoreApplication &app);
    ~SignalQuit() override;

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace lockserver

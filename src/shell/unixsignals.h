#pragma once

#include <QObject>

class QSocketNotifier;

namespace kx {

// Turns SIGTERM and SIGINT into a Qt signal on the event-loop thread (through
// a self-pipe), so that the program ends cleanly from its own loop.
class UnixSignals : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

Q_SIGNALS:
    void TerminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace kx

#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs whileOpen once the event loop of a modal window is running, and closes
// every open window after timeoutMs so that a window nobody closes fails the
// test instead of hanging it. Returns through the caller's exec().
inline void WhenModalLoopRuns(std::function<void()> whileOpen)
{
    QTimer::singleShot(0, qApp, std::move(whileOpen));
}

class ModalWatchdog
{
public:
    explicit ModalWatchdog(int timeoutMs = 10000)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, qApp, [this] {
            fired = true;
            QApplication::closeAllWindows();
        });
        m_timer.start(timeoutMs);
    }
    bool fired = false;

private:
    QTimer m_timer;
};

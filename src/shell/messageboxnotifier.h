#pragma once

#include "platform/notifier.h"

class QWidget;

namespace kx {

// The windowed form of the notifier: modal message boxes, the system beep,
// and operator lines on standard error (the GUI has no log file either).
class MessageBoxNotifier : public Notifier
{
public:
    // parent: the window the boxes belong to; none gives boxes without an owner.
    explicit MessageBoxNotifier(QWidget *parent = nullptr) : m_parent(parent) {}

    // A box with the error's text, the application's title as caption and an error icon.
    void ReportError(const QString &text) override;
    void MessageBox(const QString &text, const QString &caption, Icon icon) override;
    void Beep() override;
    void LogLine(const QString &text) override;

private:
    QWidget *m_parent;
    StderrNotifier m_stderr;
};

} // namespace kx

#pragma once

#include <QString>

namespace kx {

// Where the user is told things: message boxes in the GUI, standard error
// when headless, a recorder in tests. Calls block until the user has
// answered, like a modal message box.
class Notifier
{
public:
    enum class Icon { Information, Warning, Error };

    virtual ~Notifier() = default;
    // The platform's default error report for an error nobody handled.
    virtual void ReportError(const QString &text) = 0;
    virtual void MessageBox(const QString &text, const QString &caption, Icon icon) = 0;
    virtual void Beep() = 0;
    // A plain informational line for the operator (no box in the GUI).
    virtual void LogLine(const QString &text) = 0;
};

// Headless form: every report is one line on standard error.
class StderrNotifier : public Notifier
{
public:
    void ReportError(const QString &text) override;
    void MessageBox(const QString &text, const QString &caption, Icon icon) override;
    void Beep() override {}
    void LogLine(const QString &text) override;
};

} // namespace kx

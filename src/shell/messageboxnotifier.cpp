#include "messageboxnotifier.h"

#include <QApplication>
#include <QMessageBox>

namespace kx {
namespace {

QMessageBox::Icon ToBoxIcon(Notifier::Icon icon)
{
    switch (icon) {
    case Notifier::Icon::Information: return QMessageBox::Information;
    case Notifier::Icon::Warning: return QMessageBox::Warning;
    case Notifier::Icon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBoxNotifier::ReportError(const QString &text)
{
    MessageBox(text, QGuiApplication::applicationDisplayName(), Icon::Error);
}

void MessageBoxNotifier::MessageBox(const QString &text, const QString &caption, Icon icon)
{
    QMessageBox box(ToBoxIcon(icon), caption, text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.exec();
}

void MessageBoxNotifier::Beep()
{
    QApplication::beep();
}

void MessageBoxNotifier::LogLine(const QString &text)
{
    m_stderr.LogLine(text);
}

} // namespace kx

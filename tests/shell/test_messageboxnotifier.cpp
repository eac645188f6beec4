#include "modal.h"

#include "shell/messageboxnotifier.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace {

struct Shown
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Reads the box that the notifier opens and presses its OK button.
Shown AnswerNextBox(const std::function<void()> &open)
{
    Shown shown;
    ModalWatchdog watchdog;
    WhenModalLoopRuns([&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = {box->icon(), box->windowTitle(), box->text(), box->standardButtons()};
        box->button(QMessageBox::Ok)->click();
    });
    open();
    EXPECT_FALSE(watchdog.fired) << "the box was not answered";
    return shown;
}

TEST(MessageBoxNotifier, ShowsTheTextCaptionAndIconWithAnOkButton)
{
    kx::MessageBoxNotifier notifier;
    const struct
    {
        kx::Notifier::Icon icon;
        QMessageBox::Icon expected;
    } cases[] = {{kx::Notifier::Icon::Information, QMessageBox::Information},
                 {kx::Notifier::Icon::Warning, QMessageBox::Warning},
                 {kx::Notifier::Icon::Error, QMessageBox::Critical}};
    for (const auto &c : cases) {
        const Shown shown = AnswerNextBox([&] {
            notifier.MessageBox(QStringLiteral("wrong 1 Server connect failed,please reset"),
                                QStringLiteral("wrong"), c.icon);
        });
        EXPECT_EQ(shown.icon, c.expected);
        EXPECT_EQ(shown.caption, QStringLiteral("wrong"));
        EXPECT_EQ(shown.text, QStringLiteral("wrong 1 Server connect failed,please reset"));
        EXPECT_EQ(shown.buttons, QMessageBox::Ok);
    }
}

TEST(MessageBoxNotifier, ReportsAnErrorWithItsTextUnderTheApplicationsTitle)
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Hotel lock system interface client"));
    kx::MessageBoxNotifier notifier;
    const Shown shown = AnswerNextBox([&] { notifier.ReportError(QStringLiteral("Unable to write to /x")); });
    EXPECT_EQ(shown.icon, QMessageBox::Critical);
    EXPECT_EQ(shown.caption, QStringLiteral("Hotel lock system interface client"));
    EXPECT_EQ(shown.text, QStringLiteral("Unable to write to /x"));
}

} // namespace

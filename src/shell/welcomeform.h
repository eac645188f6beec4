#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <optional>

class QTimer;
class TLanguage;
struct TLockSystemInfo;

namespace kx {
class Notifier;
class ProgramFolder;
} // namespace kx

// The start-up splash: a borderless window with the site's picture
// "pic/NetWorkWelCome.bmp", closing after two seconds, on a click or on Esc.
class TWelcomeForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int ShowMs = 2000;
    static constexpr int PlainWidth = 600;
    static constexpr int PlainHeight = 360;

    TWelcomeForm(const kx::ProgramFolder &folder, const TLockSystemInfo &info, kx::Notifier &notifier,
                 QWidget *parent = nullptr);
    ~TWelcomeForm() override;

    QTimer *Timer1;

    // The language component: made with the window, so making the splash
    // creates or opens the language database; its errors leave the constructor.
    TLanguage *Language1;

    // The picture painted as the background, when one was loaded.
    const std::optional<QImage> &WelcomeBitmap() const { return m_bitmap; }
    // The text drawn at 100,100 when the file is no bitmap; empty otherwise.
    QString NoticeText() const { return m_notice; }
    QFont CanvasFont() const { return m_canvasFont; }

    static QString NotBitmapText();

    // Every way of closing ends here, once: stops the timer and runs FormClose.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate(const TLockSystemInfo &info);
    void LoadBgImg();
    void Timer1Timer();
    void FormClick();
    void FormClose();

    const kx::ProgramFolder &m_folder;
    kx::Notifier &m_notifier;
    std::optional<QImage> m_bitmap;
    QString m_notice;
    QFont m_canvasFont;
    bool m_closed = false;
    bool m_timeUp = false; // the timer ran out before the window was shown
};

#include "common/tempfolder.h"
#include "modal.h"
#include "recordingnotifier.h"

#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "shell/welcomeform.h"

#include <QBuffer>
#include <QEventLoop>
#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QString PicturePath = QStringLiteral("pic/NetWorkWelCome.bmp");

QByteArray Encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage Filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The bounding box of the cyan pixels in a grab of the window.
QRect CyanArea(const QImage &grab)
{
    QRect area;
    for (int y = 0; y < grab.height(); ++y)
        for (int x = 0; x < grab.width(); ++x)
            if (grab.pixelColor(x, y) == QColor(0, 255, 255))
                area |= QRect(x, y, 1, 1);
    return area;
}

class WelcomeForm : public ::testing::Test
{
protected:
    WelcomeForm() : programFolder(folder.path()) { info.LanguageID = 1033; }

    std::unique_ptr<TWelcomeForm> MakeForm()
    {
        return std::make_unique<TWelcomeForm>(programFolder, info, notifier);
    }

    TempFolder folder;
    kx::ProgramFolder programFolder;
    TLockSystemInfo info;
    RecordingNotifier notifier;
};

TEST_F(WelcomeForm, WithoutPictureIsPlainAndClosesByItselfAfterTwoSeconds)
{
    auto form = MakeForm();
    EXPECT_EQ(form->objectName(), QStringLiteral("WelcomeForm"));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->size(), QSize(600, 360));
    EXPECT_FALSE(form->WelcomeBitmap().has_value());
    EXPECT_TRUE(form->NoticeText().isEmpty());
    EXPECT_TRUE(notifier.errors.isEmpty());
    EXPECT_EQ(form->Timer1->interval(), 2000);
    EXPECT_TRUE(form->Timer1->isActive());

    ModalWatchdog watchdog;
    QSignalSpy finished(form.get(), &QDialog::finished);
    form->exec();
    EXPECT_FALSE(watchdog.fired);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(WelcomeForm, BitmapSetsTheWindowSizeAndFillsIt)
{
    folder.write(PicturePath, Encoded(Filled(400, 300, QColor(200, 40, 40)), "BMP"));
    auto form = MakeForm();
    ASSERT_TRUE(notifier.errors.isEmpty()) << notifier.errors.join(';').toStdString();
    ASSERT_TRUE(form->WelcomeBitmap().has_value());
    EXPECT_EQ(form->size(), QSize(400, 300));
    EXPECT_TRUE(form->NoticeText().isEmpty());

    form->show();
    const QImage grab = form->grab().toImage();
    EXPECT_EQ(grab.pixelColor(0, 0), QColor(200, 40, 40));
    EXPECT_EQ(grab.pixelColor(399, 299), QColor(200, 40, 40));
    const QRect screen = form->screen()->availableGeometry();
    EXPECT_LE((form->frameGeometry().center() - screen.center()).manhattanLength(), 2);
}

TEST_F(WelcomeForm, PictureFolderAndFileMatchInAnyLetterCase)
{
    folder.write(QStringLiteral("PIC/networkwelcome.BMP"), Encoded(Filled(320, 200, Qt::blue), "BMP"));
    auto form = MakeForm();
    EXPECT_EQ(form->size(), QSize(320, 200));
}

TEST_F(WelcomeForm, NonBitmapShowsTheReplaceNoticeInCyanAt100_100)
{
    folder.write(PicturePath, Encoded(Filled(400, 300, Qt::red), "PNG"));
    auto form = MakeForm();
    EXPECT_TRUE(notifier.errors.isEmpty());
    EXPECT_EQ(form->size(), QSize(600, 360));
    EXPECT_EQ(form->NoticeText(), QStringLiteral("非BMP图片，请您重新替换welcome.bmp文件"));
    EXPECT_EQ(form->CanvasFont().pointSize(), 30);

    form->show();
    const QRect cyan = CyanArea(form->grab().toImage());
    ASSERT_TRUE(cyan.isValid()) << "no text drawn";
    EXPECT_GE(cyan.left(), 100);
    EXPECT_GE(cyan.top(), 100);
    EXPECT_LT(cyan.left(), 110);
    EXPECT_LT(cyan.top(), 130);
}

struct HeadCase
{
    const char *name;
    QByteArray content;
    bool reportsError; // taken for a bitmap, but none
    bool showsNotice;
};

class PictureHead : public WelcomeForm, public ::testing::WithParamInterface<HeadCase>
{
};

TEST_P(PictureHead, OnlyTheTextBeforeTheFirstZeroOfTheFirst101BytesIsTested)
{
    const HeadCase &c = GetParam();
    folder.write(PicturePath, c.content);
    auto form = MakeForm();
    EXPECT_EQ(notifier.errors.size(), c.reportsError ? 1 : 0) << notifier.errors.join(';').toStdString();
    if (c.reportsError) {
        EXPECT_TRUE(notifier.errors.value(0).contains(QStringLiteral("Bitmap image is not valid")));
    }
    EXPECT_EQ(!form->NoticeText().isEmpty(), c.showsNotice);
    EXPECT_FALSE(form->WelcomeBitmap().has_value());
    EXPECT_EQ(form->size(), QSize(600, 360));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PictureHead,
    ::testing::Values(HeadCase{"ShortFileWithSignature", "BM", true, false},
                      HeadCase{"ShortFileWithout", "GIF8", false, true},
                      HeadCase{"EmptyFile", "", false, true},
                      HeadCase{"SignatureLaterInText", "hello BM world", true, false},
                      HeadCase{"SignatureAfterZero", QByteArray("ab\0BM", 5), false, true},
                      HeadCase{"SignatureBeyond101Bytes", QByteArray(101, 'x') + "BM", false, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WelcomeForm, ClickOrEscClosesAtOnceAndOnlyOnce)
{
    folder.write(PicturePath, Encoded(Filled(200, 100, Qt::green), "BMP"));
    for (const bool byKey : {false, true}) {
        auto form = MakeForm();
        QSignalSpy finished(form.get(), &QDialog::finished);
        ModalWatchdog watchdog;
        WhenModalLoopRuns([&] {
            if (byKey)
                QTest::keyClick(form.get(), Qt::Key_Escape);
            else
                QTest::mouseClick(form.get(), Qt::LeftButton, {}, QPoint(150, 50));
            QTest::mouseClick(form.get(), Qt::LeftButton, {}, QPoint(10, 10));
        });
        form->exec();
        EXPECT_FALSE(watchdog.fired);
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(form->Timer1->isActive());
        EXPECT_FALSE(form->WelcomeBitmap().has_value()) << "released on close";
    }
}

// The error box of a damaged picture, left open by the operator for a while:
// the message box's own modal loop runs meanwhile, timers included.
class BoxLeftOpen : public RecordingNotifier
{
public:
    explicit BoxLeftOpen(int openMs) : m_openMs(openMs) {}
    void ReportError(const QString &text) override
    {
        RecordingNotifier::ReportError(text);
        QEventLoop box;
        QTimer::singleShot(m_openMs, &box, &QEventLoop::quit);
        box.exec();
    }

private:
    int m_openMs;
};

TEST_F(WelcomeForm, ClosesByItselfAfterAnErrorBoxHowLongEverItWasOpen)
{
    folder.write(PicturePath, QByteArray("BM") + QByteArray(200, '\x7f')); // passes the test, no bitmap
    for (const int openMs : {2500, 500}) {
        SCOPED_TRACE(openMs);
        BoxLeftOpen box(openMs);
        TWelcomeForm form(programFolder, info, box);
        ASSERT_EQ(box.errors.size(), 1);
        EXPECT_FALSE(form.WelcomeBitmap().has_value());

        ModalWatchdog watchdog(6000);
        QSignalSpy finished(&form, &QDialog::finished);
        form.exec();
        EXPECT_FALSE(watchdog.fired) << "the splash stayed open";
        EXPECT_EQ(finished.count(), 1);
        EXPECT_FALSE(form.isVisible());
    }
}

} // namespace

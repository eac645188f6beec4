#include "welcomeform.h"

#include "language/language.h"
#include "platform/notifier.h"
#include "platform/programfolder.h"
#include "shell/locksysteminfo.h"
#include "shell/windowplacement.h"

#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

namespace {

// How much of the file's start is looked at for the bitmap signature.
constexpr qint64 SignatureProbeBytes = 101;

// The colour of the text drawn on the window: cyan.
constexpr QColor CanvasColour(0, 255, 255);

} // namespace

TWelcomeForm::TWelcomeForm(const kx::ProgramFolder &folder, const TLockSystemInfo &info,
                           kx::Notifier &notifier, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), Timer1(new QTimer(this)), m_folder(folder),
      m_notifier(notifier)
{
    setObjectName(QStringLiteral("WelcomeForm"));
    setWindowTitle(QStringLiteral("欢迎使用．．．．．"));
    resize(PlainWidth, PlainHeight);

    // Button-face background, as the plain splash shows it.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(ShowMs);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TWelcomeForm::Timer1Timer);

    Language1 = new TLanguage(this, m_folder);
    Language1->setObjectName(QStringLiteral("Language1"));

    Timer1->start();

    FormCreate(info);
}

TWelcomeForm::~TWelcomeForm() = default;

QString TWelcomeForm::NotBitmapText()
{
    return QStringLiteral("非BMP图片，请您重新替换welcome.bmp文件");
}

void TWelcomeForm::FormCreate(const TLockSystemInfo &info)
{
    Language1->SetLanguageID(info.LanguageID);
    LoadBgImg();
}

void TWelcomeForm::LoadBgImg()
{
    m_canvasFont = font();
    m_canvasFont.setPointSize(30);

    const QString path = m_folder.Resolve(QStringLiteral("pic/NetWorkWelCome.bmp"));
    QFile file(path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_notifier.ReportError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
        return;
    }
    QByteArray head = file.read(SignatureProbeBytes);
    file.close();
    const qsizetype zero = head.indexOf('\0');
    if (zero >= 0)
        head.truncate(zero);

    if (!head.contains("BM")) {
        m_notice = NotBitmapText();
        update();
        return;
    }

    QImage image;
    if (!image.load(path, "BMP") || image.isNull()) {
        m_notifier.ReportError(QStringLiteral("Bitmap image is not valid: \"%1\"").arg(path));
        return;
    }
    m_bitmap = std::move(image);
    // No frame, so the picture fills the window exactly.
    resize(m_bitmap->size());
    update();
}

void TWelcomeForm::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    if (m_bitmap) {
        painter.drawImage(0, 0, *m_bitmap);
        return;
    }
    if (m_notice.isEmpty())
        return;
    painter.setFont(m_canvasFont);
    painter.setPen(CanvasColour);
    const QRect from(100, 100, qMax(0, width() - 100), qMax(0, height() - 100));
    painter.drawText(from, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, m_notice);
}

void TWelcomeForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        kx::CentreOnScreen(*this);
        // Its time ran out before it could be shown (an error box of the
        // picture stayed open that long): it closes at once.
        if (m_timeUp)
            QTimer::singleShot(0, this, &TWelcomeForm::close);
    }
}

void TWelcomeForm::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    FormClick();
}

void TWelcomeForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TWelcomeForm::Timer1Timer()
{
    // Not shown yet: closing now would leave the window that is shown next
    // open for good.
    if (!isVisible()) {
        m_timeUp = true;
        return;
    }
    close();
}

void TWelcomeForm::FormClick()
{
    close();
}

void TWelcomeForm::done(int result)
{
    if (m_closed)
        return;
    m_closed = true;
    Timer1->stop();
    FormClose();
    QDialog::done(result);
}

void TWelcomeForm::FormClose()
{
    m_bitmap.reset();
}

#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kx {

void CentreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

} // namespace kx

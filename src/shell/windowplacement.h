#pragma once

class QWidget;

namespace kx {

// Puts a top-level window in the middle of the available area of the screen
// it is on (the primary screen before it has one), frame included as far as
// the window system has told it.
void CentreOnScreen(QWidget &window);

} // namespace kx

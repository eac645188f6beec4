#pragma once

#include "options.h"

class Tfrm_main;
class Tfrm_setportipadder;
class TWelcomeForm;

// The windows' one instances, set only by the windowed start-up.
extern Tfrm_main *frm_main;
extern Tfrm_setportipadder *frm_setportipadder;
extern TWelcomeForm *WelcomeForm;

namespace kx {

// Runs Kandrilox with its windows: splash, tray icon, main window. Needs a
// QApplication. Returns the exit code.
int RunWithWindows(const Options &options);

} // namespace kx

// The message loop of the program, shared with the tests that drive the
// window, so that keystrokes go through the same accelerators.
#pragma once

#include <windows.h>

namespace zw::app {

// Accelerators first, translated for the top-level window of the one that
// received the message, so that a command typed in the search box reaches
// the main window (and one typed in a dialog, that dialog).
void DispatchWithAccelerators(MSG& message, HACCEL accelerators);

// Until WM_QUIT; returns its wParam.
int RunMessageLoop(HACCEL accelerators);

}  // namespace zw::app

// The message loop of the program, shared with the tests that drive the
// window, so that keystrokes go through the same accelerators.
#pragma once

#include <windows.h>

namespace zw::app {

// Accelerators first, translated for the window that received the message
// (so a command reaches the window that had the keystroke).
void DispatchWithAccelerators(MSG& message, HACCEL accelerators);

// Until WM_QUIT; returns its wParam.
int RunMessageLoop(HACCEL accelerators);

}  // namespace zw::app

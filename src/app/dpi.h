// The DPI the window is laid out for, on every Windows the program runs on.
#pragma once

#include <windows.h>

#include <cstdint>

namespace zw::app {

bool IsWindows10_1607OrLater();
uint32_t GetSystemDpi();
// GetDpiForWindow where the system has it (Windows 10 1607 on; looked up at
// run time so that the program still starts on Windows 7), the system DPI
// elsewhere; 96 when the answer is 0.
UINT DpiForWindow(HWND window);

}  // namespace zw::app

// The program's entry: one main window, the message loop, exit code 0. The
// command line is ignored; the options live in the registry.
#include <windows.h>

#include <memory>

#include "app/app_ids.h"
#include "app/main_window.h"
#include "app/message_loop.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  try {
    zw::app::SetAppInstance(instance);
    auto window = std::make_unique<zw::app::MainWindow>();
    if (!window->Create(showCommand)) return 0;
    HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_ZANDERWYN));
    const int code = zw::app::RunMessageLoop(accelerators);
    window.reset();
    return code;
  } catch (...) {
    return 0;  // no memory for the window itself: nothing was shown
  }
}

// The program's entry: one main window, the message loop, exit code 0. The
// command line is ignored; the options live in the registry.
#include <windows.h>

#include <memory>

#include "app/app_ids.h"
#include "app/main_window.h"
#include "app/message_loop.h"

namespace {

// DLLs load from the system folder only, never from the folder the exe was
// started from or the current one, where anybody may have put one. Looked
// up: Windows 7 has it only with KB2533623.
void RestrictDllSearch() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set == nullptr || !set(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  RestrictDllSearch();  // before anything loads a DLL
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

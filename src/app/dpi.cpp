#include "app/dpi.h"

namespace zw::app {

namespace {

int32_t g_windows10_1607 = -1;  // -1 unknown, then 1 or 0
uint32_t g_systemDpi = 0;       // 0 unknown

template <class Function>
Function User32Function(const char* name) {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

}  // namespace

bool IsWindows10_1607OrLater() {
  if (g_windows10_1607 >= 0) return g_windows10_1607 == 1;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwMajorVersion = 10;
  version.dwMinorVersion = 0;
  version.dwBuildNumber = 14393;
  ULONGLONG mask = 0;
  mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_BUILDNUMBER, VER_GREATER_EQUAL);
  const bool yes = ::VerifyVersionInfoW(
                       &version, VER_MAJORVERSION | VER_MINORVERSION | VER_BUILDNUMBER, mask) != 0;
  g_windows10_1607 = yes ? 1 : 0;
  return yes;
}

uint32_t GetSystemDpi() {
  if (g_systemDpi != 0) return g_systemDpi;
  if (IsWindows10_1607OrLater()) {
    using GetDpiForSystemFunction = UINT(WINAPI*)();
    if (auto f = User32Function<GetDpiForSystemFunction>("GetDpiForSystem")) return f();
  }
  HDC screen = ::GetDC(nullptr);
  g_systemDpi = uint32_t(::GetDeviceCaps(screen, LOGPIXELSY));
  ::ReleaseDC(nullptr, screen);
  return g_systemDpi;
}

UINT DpiForWindow(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto f = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  const UINT dpi = f != nullptr ? f(window) : UINT(GetSystemDpi());
  return dpi != 0 ? dpi : 96;
}

}  // namespace zw::app

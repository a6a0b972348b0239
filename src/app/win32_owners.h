// One owner for each Win32 resource the window makes: destroyed with its
// owner, never twice, never after the system has already destroyed it.
#pragma once

#include <windows.h>

#include <utility>

namespace zw::app {

// A handle closed by `Close` when its owner goes away.
template <class Handle, BOOL(WINAPI* Close)(Handle)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle h) : h_(h) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : h_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~Owned() { Reset(); }

  Handle Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset(Handle h = nullptr) {
    if (h_ != nullptr) Close(h_);
    h_ = h;
  }
  // For a handle the system has destroyed already (a child window whose
  // parent is gone): forgotten, so that a reused handle is never destroyed.
  Handle Release() { return std::exchange(h_, nullptr); }

 private:
  Handle h_ = nullptr;
};

inline BOOL WINAPI DeleteFontHandle(HFONT font) {
  return ::DeleteObject(font);
}

using OwnedWindow = Owned<HWND, ::DestroyWindow>;
using OwnedFont = Owned<HFONT, DeleteFontHandle>;
using OwnedHook = Owned<HHOOK, ::UnhookWindowsHookEx>;

// A window timer, killed when its owner goes away.
class WindowTimer {
 public:
  WindowTimer(UINT_PTR id) : id_(id) {}
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;
  ~WindowTimer() { Stop(); }

  void Start(HWND window, UINT milliseconds) {
    window_ = window;
    if (::SetTimer(window, id_, milliseconds, nullptr) != 0) armed_ = true;
  }
  void Stop() {
    if (armed_) ::KillTimer(window_, id_);
    armed_ = false;
  }
  // The window is being destroyed, and its timers with it.
  void Forget() { armed_ = false; }
  UINT_PTR Id() const { return id_; }

 private:
  UINT_PTR id_;
  HWND window_ = nullptr;
  bool armed_ = false;
};

}  // namespace zw::app

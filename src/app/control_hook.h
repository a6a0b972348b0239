// A window procedure put in front of a control's own, the plain way: what it
// needs is read from the window's own user data. comctl32's subclassing looks
// its data up as a window property on every message, and under Wine that is
// a call to its server each time: about half a millisecond of every keystroke in
// the search box.
#pragma once

#include <windows.h>

namespace zw::app {

struct ControlHook {
  WNDPROC own = nullptr;  // the control's procedure
  void* owner = nullptr;  // what the hook's procedure acts for
};

// Puts `proc` in front of `control`'s procedure. `hook` must outlive the
// control; the control's own user data must be free. Should the system
// refuse, the control goes on alone.
inline void HookControl(HWND control, WNDPROC proc, ControlHook& hook, void* owner) {
  hook.owner = owner;
  ::SetWindowLongPtrW(control, GWLP_USERDATA, LONG_PTR(&hook));
  hook.own = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(control, GWLP_WNDPROC, LONG_PTR(proc)));
}

inline const ControlHook* HookOf(HWND control) {
  return reinterpret_cast<const ControlHook*>(::GetWindowLongPtrW(control, GWLP_USERDATA));
}

template <class Owner>
Owner* HookOwner(HWND control) {
  const ControlHook* hook = HookOf(control);
  return hook != nullptr ? static_cast<Owner*>(hook->owner) : nullptr;
}

// The control's own handling of what the hook leaves; the hook takes itself
// out as the control goes.
inline LRESULT PassToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlHook* hook = HookOf(control);
  if (hook == nullptr || hook->own == nullptr)
    return ::DefWindowProcW(control, message, wParam, lParam);
  const WNDPROC own = hook->own;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(control, GWLP_WNDPROC, LONG_PTR(own));
    ::SetWindowLongPtrW(control, GWLP_USERDATA, 0);
  }
  return ::CallWindowProcW(own, control, message, wParam, lParam);
}

}  // namespace zw::app

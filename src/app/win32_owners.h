// One owner for each Win32 resource the window makes: destroyed with its
// owner, never twice, never after the system has already destroyed it.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <string>
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

inline BOOL WINAPI FreeGlobal(HGLOBAL memory) {
  return ::GlobalFree(memory) == nullptr;
}

using OwnedWindow = Owned<HWND, ::DestroyWindow>;
using OwnedFont = Owned<HFONT, DeleteFontHandle>;
using OwnedHook = Owned<HHOOK, ::UnhookWindowsHookEx>;
using OwnedMenu = Owned<HMENU, ::DestroyMenu>;
// Until the clipboard takes it over (Release).
using OwnedGlobal = Owned<HGLOBAL, FreeGlobal>;

// For memory the shell hands out (an item id list).
struct CoTaskMemFreer {
  void operator()(void* memory) const noexcept { ::CoTaskMemFree(memory); }
};

// A COM interface pointer, released when its owner goes away.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  // For an out parameter: whatever was held is released first.
  T** Put() {
    Reset();
    return &p_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  // The same object's interface U, or nothing.
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> out;
    if (p_ != nullptr && FAILED(p_->QueryInterface(__uuidof(U), out.PutVoid()))) out.Reset();
    return out;
  }

 private:
  T* p_ = nullptr;
};

// A BSTR, freed when its owner goes away.
class OwnedBstr {
 public:
  explicit OwnedBstr(const std::wstring& text)
      : b_(::SysAllocStringLen(text.data(), UINT(text.size()))) {}
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  ~OwnedBstr() { ::SysFreeString(b_); }
  BSTR Get() const { return b_; }

 private:
  BSTR b_;
};

// COM on this thread, single-threaded, for as long as the owner lives
// (balanced only when this call was the one that started it).
class ComApartment {
 public:
  ComApartment()
      : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }

 private:
  HRESULT result_;
};

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

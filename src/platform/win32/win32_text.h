// The core's char16_t text at the Win32 API's wchar_t, for the platform layer
// (the window has its own, in app/wide_text.h).
#pragma once

#include <windows.h>

// The platform layer has functions of these names; <windows.h> would rename
// them to the W functions. Those are called by their full names here.
#undef GetVolumeInformation
#undef GetDiskFreeSpace

#include <string>
#include <string_view>

namespace zw::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline const wchar_t* AsWide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline std::u16string_view AsU16(const wchar_t* text, size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

// A kernel handle with one owner. INVALID_HANDLE_VALUE and null both mean none.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (Valid()) {
      // Closing must not disturb the error of the call that failed before.
      const DWORD saved = ::GetLastError();
      ::CloseHandle(h_);
      ::SetLastError(saved);
    }
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace zw::platform

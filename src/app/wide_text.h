// The core's UTF-16 text (char16_t) at the Win32 API (wchar_t).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zw::app {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline std::wstring ToWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}
inline std::u16string FromWide(std::wstring_view text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}
inline wchar_t* AsWideBuffer(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

inline std::u16string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(size_t(length) + 1, L'\0');
  const int got = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(size_t(got > 0 ? got : 0));
  return FromWide(text);
}

}  // namespace zw::app

#include <string>

#include "base/utf.h"
#include "platform/last_error.h"
#include "platform/win32/win32_text.h"

namespace zw::platform {

uint32_t LastError() noexcept {
  return ::GetLastError();
}
void SetLastError(uint32_t code) noexcept {
  ::SetLastError(code);
}

std::string SystemErrorMessage(uint32_t code) {
  const DWORD saved = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text),
      0, nullptr);
  std::string out;
  if (length != 0 && text != nullptr) {
    std::u16string_view view = AsU16(text, length);
    while (!view.empty() && (view.back() == u'\n' || view.back() == u'\r' || view.back() == u'.' ||
                             view.back() == u' '))
      view.remove_suffix(1);
    out = ToUtf8(view);
  }
  if (text != nullptr) ::LocalFree(text);
  ::SetLastError(saved);
  return out;
}

}  // namespace zw::platform

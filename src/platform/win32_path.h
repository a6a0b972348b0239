// Whether a path built from on-disk names reaches that very file through the
// Win32 path rules. NTFS keeps names Win32 would rewrite ("a." opens "a",
// "x:y" names a stream, "CON" a device), so such a path must never be opened
// or asked about: the answer would come from another object.
#pragma once

#include <string_view>

#include "base/ascii.h"

namespace zw::platform {

namespace win32_path_detail {

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension.
inline bool IsDeviceName(std::u16string_view name) {
  const size_t dot = name.find(u'.');
  std::u16string_view base = name.substr(0, dot);
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  auto is = [&](std::u16string_view word) {
    if (base.size() != word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
      if (UpperAscii(base[i]) != word[i]) return false;
    return true;
  };
  if (is(u"CON") || is(u"PRN") || is(u"AUX") || is(u"NUL")) return true;
  if (base.size() != 4) return false;
  const std::u16string_view head = base.substr(0, 3);
  const bool com =
      UpperAscii(head[0]) == u'C' && UpperAscii(head[1]) == u'O' && UpperAscii(head[2]) == u'M';
  const bool lpt =
      UpperAscii(head[0]) == u'L' && UpperAscii(head[1]) == u'P' && UpperAscii(head[2]) == u'T';
  return (com || lpt) && base[3] >= u'1' && base[3] <= u'9';
}

inline bool ComponentIsAltered(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return true;
  if (name.back() == u'.' || name.back() == u' ') return true;
  for (char16_t c : name) {
    if (c < 0x20) return true;
    switch (c) {
      case u'<':
      case u'>':
      case u':':
      case u'"':
      case u'/':
      case u'|':
      case u'?':
      case u'*':
        return true;
      default:
        break;
    }
  }
  return IsDeviceName(name);
}

}  // namespace win32_path_detail

// `path` is "X:\a\b" (a drive root "X:\" alone is fine). True when some part
// of it would be rewritten, so that Win32 would name another object.
inline bool Win32AltersPath(std::u16string_view path) {
  if (path.size() < 2 || path[1] != u':') return true;
  std::u16string_view rest = path.substr(2);
  if (rest.empty() || rest == u"\\") return false;
  if (rest.front() != u'\\') return true;
  rest.remove_prefix(1);
  while (true) {
    const size_t end = rest.find(u'\\');
    if (win32_path_detail::ComponentIsAltered(rest.substr(0, end))) return true;
    if (end == std::u16string_view::npos) return false;
    rest.remove_prefix(end + 1);
  }
}

}  // namespace zw::platform

// Case folding of the 26 ASCII letters only: every other code unit is kept,
// so no locale can change what matches. Used in the search's inner loops,
// hence inline and branch-light.
#pragma once

#include <string>
#include <string_view>

namespace zw {

inline constexpr char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

inline std::u16string FoldAscii(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldAscii(c);
  return out;
}

inline constexpr char16_t UpperAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

}  // namespace zw

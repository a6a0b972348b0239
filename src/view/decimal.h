// Numbers as decimal UTF-16 text. The window's texts are built with these
// rather than with wide printf, whose %zu, %c and %s differ between C
// runtimes (MinGW's msvcrt knows no %zu).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zw::view {

// Enough for 2^64 - 1.
inline constexpr size_t kDecimalCapacity = 20;

// Writes `value` with at least `width` digits (zeros in front) into `out`,
// which holds kDecimalCapacity units; returns the length. Not terminated.
inline size_t WriteDecimal(uint64_t value, int width, char16_t* out) {
  char16_t reversed[kDecimalCapacity];
  size_t n = 0;
  do {
    reversed[n++] = char16_t(u'0' + value % 10);
    value /= 10;
  } while (value != 0 && n < kDecimalCapacity);
  while (n < size_t(width) && n < kDecimalCapacity) reversed[n++] = u'0';
  for (size_t k = 0; k < n; ++k) out[k] = reversed[n - 1 - k];
  return n;
}

inline void AppendDecimal(std::u16string& out, uint64_t value) {
  char16_t digits[kDecimalCapacity];
  out.append(digits, WriteDecimal(value, 1, digits));
}

}  // namespace zw::view

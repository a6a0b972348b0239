#include "view/size_text.h"

#include <cstdio>

namespace zw::view {

size_t FormatSize(uint64_t bytes, char16_t* out, size_t capacity) {
  if (capacity == 0) return 0;
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double x = double(bytes);
  int i = 0;
  while (x >= 1024.0 && i < 4) {
    x *= 0.0009765625;
    ++i;
  }
  char text[32];
  std::snprintf(text, sizeof text, i == 0 ? "%.0f %s" : "%.1f %s", x, kUnits[i]);
  size_t n = 0;
  // A decimal comma from a user locale would change a text that others parse.
  for (const char* p = text; *p && n + 1 < capacity; ++p)
    out[n++] = *p == ',' ? u'.' : char16_t(static_cast<unsigned char>(*p));
  out[n] = 0;
  return n;
}

std::u16string FormatSize(uint64_t bytes) {
  char16_t text[kSizeTextCapacity];
  return std::u16string(text, FormatSize(bytes, text, kSizeTextCapacity));
}

}  // namespace zw::view

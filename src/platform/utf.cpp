#include "platform/utf.h"

namespace zw {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += char16_t(c);
  } else {
    c -= 0x10000;
    out += char16_t(0xD800 + (c >> 10));
    out += char16_t(0xDC00 + (c & 0x3FF));
  }
}
}  // namespace

void AppendUtf8(std::string& out, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out += char(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(out, text);
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    size_t need = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      need = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      need = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      need = 3, c = b & 0x07, min = 0x10000;
    } else {
      out += char16_t(kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need; ++j) {
      if (i + j >= text.size()) break;
      const auto cb = static_cast<unsigned char>(text[i + j]);
      if ((cb & 0xC0) != 0x80) break;
      c = (c << 6) | (cb & 0x3F);
    }
    if (j <= need || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += char16_t(kReplacement);
      i += j;  // resynchronise at the first byte that did not continue
      continue;
    }
    AppendUtf16(out, c);
    i += need + 1;
  }
  return out;
}

}  // namespace zw

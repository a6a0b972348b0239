#include "base/utf.h"

#include <algorithm>

namespace zw {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

// Writes the 1 to 4 bytes of `c` at `p`; returns the end.
char* EncodeUtf8(char* p, char32_t c) {
  if (c < 0x80) {
    *p++ = char(c);
  } else if (c < 0x800) {
    *p++ = char(0xC0 | (c >> 6));
    *p++ = char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *p++ = char(0xE0 | (c >> 12));
    *p++ = char(0x80 | ((c >> 6) & 0x3F));
    *p++ = char(0x80 | (c & 0x3F));
  } else {
    *p++ = char(0xF0 | (c >> 18));
    *p++ = char(0x80 | ((c >> 12) & 0x3F));
    *p++ = char(0x80 | ((c >> 6) & 0x3F));
    *p++ = char(0x80 | (c & 0x3F));
  }
  return p;
}
}  // namespace

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += char16_t(c);
  } else {
    c -= 0x10000;
    out += char16_t(0xD800 + (c >> 10));
    out += char16_t(0xDC00 + (c & 0x3FF));
  }
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  // Encoded a piece at a time into a buffer on the stack and appended in one
  // go: a million paths byte by byte into the string cost more than the scan.
  constexpr size_t kPiece = 256;
  char piece[kPiece * 3 + 1];  // +1: a pair may start at the last unit
  size_t i = 0;
  while (i < text.size()) {
    char* p = piece;
    const size_t end = std::min(text.size(), i + kPiece);
    for (; i < end; ++i) {
      char32_t c = text[i];
      if (c < 0x80) {
        *p++ = char(c);
        continue;
      }
      if (c >= 0xD800 && c <= 0xDBFF) {
        // A pair is read whole even when its second unit lies past the
        // piece: 4 bytes, one more than the last unit was given.
        if (i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
          ++i;
        } else {
          c = kReplacement;
        }
      } else if (c >= 0xDC00 && c <= 0xDFFF) {
        c = kReplacement;
      }
      p = EncodeUtf8(p, c);
    }
    out.append(piece, size_t(p - piece));
  }
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendUtf8(out, text);
  return out;
}

Utf8Step DecodeUtf8At(std::string_view text, size_t i) noexcept {
  const auto b = static_cast<unsigned char>(text[i]);
  size_t need = 0;
  char32_t c = 0;
  char32_t min = 0;
  if (b < 0x80) return {b, 1, true};
  if ((b & 0xE0) == 0xC0) {
    need = 1, c = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    need = 2, c = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    need = 3, c = b & 0x07, min = 0x10000;
  } else {
    return {kReplacement, 1, false};
  }
  size_t j = 1;
  for (; j <= need; ++j) {
    if (i + j >= text.size()) break;
    const auto cb = static_cast<unsigned char>(text[i + j]);
    if ((cb & 0xC0) != 0x80) break;
    c = (c << 6) | (cb & 0x3F);
  }
  if (j <= need || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    return {kReplacement, j, false};  // picks up at the first byte that did not continue
  return {c, need + 1, true};
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8At(text, i);
    AppendUtf16(out, step.ok ? step.codePoint : kReplacement);
    i += step.length;
  }
  return out;
}

}  // namespace zw

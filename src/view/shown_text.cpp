#include "view/shown_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zw::view {

namespace {

bool IsHigh(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Spaces of any width and dots: at the end of a name they are invisible, or
// stripped by Win32, so "a." and "a " would pass for "a".
bool IsBlank(char16_t c) {
  if (c == u' ' || c == u'.') return true;
  if (c < 0xA0) return false;
  return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// Characters that draw nothing or reorder the text around them.
bool IsInvisibleFormat(char16_t c) {
  if (c < 0x2000) return c == 0xAD || c == 0x34F || c == 0x61C || c == 0x180E;
  if (c <= 0x206F) {
    return (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || c >= 0x2060;
  }
  return c == 0x3164 || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF9 && c <= 0xFFFB);
}

// Whether unit i, neither plain ASCII nor blank, must be escaped.
bool IsHidden(std::u16string_view text, size_t i) {
  const char16_t c = text[i];
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  if (c == u'{') return text.substr(i + 1, 2) == u"U+";
  if (c < 0xA0 || (c >= 0x2070 && c < 0xD800 && c != 0x3164)) return false;
  if (IsHigh(c)) return i + 1 == text.size() || !IsLow(text[i + 1]);
  if (IsLow(c)) return i == 0 || !IsHigh(text[i - 1]);
  if (c == 0x200C || c == 0x200D) {
    // Joiners belong between letters of scripts that use them, or emoji.
    return i == 0 || i + 1 == text.size() || text[i - 1] < 0x80 || text[i + 1] < 0x80;
  }
  return IsInvisibleFormat(c);
}

// Calls keep(from, to) for the stretches shown as they are and escape(c)
// for each unit that is not, in order; stops when escape returns false.
template <class Keep, class Escape>
bool Walk(std::u16string_view text, Keep&& keep, Escape&& escape) {
  const size_t n = text.size();
  size_t kept = 0;
  size_t i = 0;
  while (i < n) {
    const char16_t c = text[i];
    if (c >= 0x20 && c < 0x7F && c != u'{' && c != u' ' && c != u'.') {
      ++i;
      continue;
    }
    if (IsBlank(c)) {
      size_t end = i + 1;
      while (end < n && IsBlank(text[end])) ++end;
      if (end == n || text[end] == u'\\') {
        keep(kept, i);
        for (; i < end; ++i) {
          if (!escape(text[i])) return false;
        }
        kept = end;
      }
      i = end;
      continue;
    }
    if (IsHidden(text, i)) {
      keep(kept, i);
      if (!escape(c)) return false;
      kept = i + 1;
    }
    ++i;
  }
  keep(kept, n);
  return true;
}

}  // namespace

// Four UTF-16 units in one word: the lanes' top bits hold the answers.
constexpr uint64_t kOnes = 0x0001000100010001ull;
constexpr uint64_t kTops = kOnes * 0x8000;
constexpr uint64_t kLows = kOnes * 0x7FFF;

uint64_t LanesAtLeast(uint64_t w, uint16_t v) {  // v <= 0x8000
  return (((w & kLows) + kOnes * uint16_t(0x8000 - v)) | w) & kTops;
}
uint64_t LanesEqual(uint64_t w, uint16_t v) {
  const uint64_t z = w ^ (kOnes * v);
  return ~(((z & kLows) + kLows) | z) & kTops;
}

// Walk's answer without its work: a million paths are checked per listing.
// Printable ASCII needs no look but for "{" and a blank before "\\", and
// is tested four units at a time.
bool ShowsAsIs(std::u16string_view text) {
  constexpr size_t kStride = 4;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (i > 0 && i + kStride <= n) {
      uint64_t w = 0;
      uint64_t before = 0;  // the units one place earlier
      std::memcpy(&w, text.data() + i, sizeof w);
      std::memcpy(&before, text.data() + i - 1, sizeof before);
      const uint64_t look =
          (LanesAtLeast(w, 0x7F) | (~LanesAtLeast(w, 0x20) & kTops) | LanesEqual(w, u'{')) |
          (LanesEqual(w, u'\\') & (LanesEqual(before, u' ') | LanesEqual(before, u'.')));
      if (look == 0) {
        i += kStride;
        continue;
      }
    }
    for (const size_t end = std::min(n, i + kStride); i < end; ++i) {
      const char16_t c = text[i];
      if (c == u'\\') {
        if (i > 0 && IsBlank(text[i - 1])) return false;
      } else if ((c < 0x20 || c >= 0x7F || c == u'{') && IsHidden(text, i)) {
        return false;
      }
    }
  }
  return n == 0 || !IsBlank(text[n - 1]);
}

void AppendShown(std::u16string& out, std::u16string_view text) {
  Walk(
      text, [&](size_t from, size_t to) { out.append(text.substr(from, to - from)); },
      [&](char16_t c) {
        static constexpr char16_t kHex[] = u"0123456789ABCDEF";
        const char16_t escaped[] = {
            u'{',          u'U', u'+', kHex[c >> 12], kHex[(c >> 8) & 0xF], kHex[(c >> 4) & 0xF],
            kHex[c & 0xF], u'}'};
        out.append(escaped, sizeof escaped / sizeof escaped[0]);
        return true;
      });
}

std::u16string_view Shown(std::u16string_view text, std::u16string& scratch) {
  if (ShowsAsIs(text)) return text;
  scratch.clear();
  AppendShown(scratch, text);
  return scratch;
}

}  // namespace zw::view

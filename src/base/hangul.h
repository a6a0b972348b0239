// Hangul as the search compares it: runs of conjoining jamo (what a Mac
// writes) composed into the syllables they spell, and a name's initials form
// (each syllable as the letter of its leading consonant). Nothing else is
// normalised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zw::hangul {

inline constexpr char16_t kSyllableFirst = 0xAC00;
inline constexpr char16_t kSyllableLast = 0xD7A3;
inline constexpr char16_t kLeadFirst = 0x1100;   // 19 leading consonants
inline constexpr char16_t kVowelFirst = 0x1161;  // 21 vowels
inline constexpr char16_t kTailBase = 0x11A7;    // trailing consonants follow, 27 of them
inline constexpr uint32_t kLeadCount = 19, kVowelCount = 21, kTailCount = 28;

inline constexpr bool IsSyllable(char16_t c) {
  return c >= kSyllableFirst && c <= kSyllableLast;
}
inline constexpr bool IsJamo(char16_t c) {
  return c >= 0x1100 && c <= 0x11FF;
}
inline constexpr bool IsLead(char16_t c) {
  return c >= kLeadFirst && c < kLeadFirst + kLeadCount;
}
inline constexpr bool IsVowel(char16_t c) {
  return c >= kVowelFirst && c < kVowelFirst + kVowelCount;
}
inline constexpr bool IsTail(char16_t c) {
  return c > kTailBase && c < kTailBase + kTailCount;
}

// The compatibility letters of the 19 leading consonants, in jamo order.
inline constexpr char16_t kInitialLetters[kLeadCount] = {
    0x3131, 0x3132, 0x3134, 0x3137, 0x3138, 0x3139, 0x3141, 0x3142, 0x3143, 0x3145,
    0x3146, 0x3147, 0x3148, 0x3149, 0x314A, 0x314B, 0x314C, 0x314D, 0x314E};

// Which of the 19 letters `c` is, or -1.
inline constexpr int InitialIndex(char16_t c) {
  if (c < kInitialLetters[0] || c > kInitialLetters[kLeadCount - 1]) return -1;
  for (int k = 0; k < int(kLeadCount); ++k) {
    if (kInitialLetters[k] == c) return k;
  }
  return -1;
}

inline constexpr char16_t InitialOf(char16_t syllable) {
  return kInitialLetters[(syllable - kSyllableFirst) / (kVowelCount * kTailCount)];
}

// Reads units through `at(i)` for i < n and appends them to `out` with each
// leading consonant + vowel (+ trailing consonant) run composed. Returns
// whether anything composed.
template <class At>
bool AppendComposed(size_t n, At&& at, std::u16string& out) {
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = at(i);
    if (IsLead(c) && i + 1 < n && IsVowel(at(i + 1))) {
      uint32_t s = kSyllableFirst +
                   ((c - kLeadFirst) * kVowelCount + (at(i + 1) - kVowelFirst)) * kTailCount;
      ++i;
      if (i + 1 < n && IsTail(at(i + 1))) {
        s += at(i + 1) - kTailBase;
        ++i;
      }
      out.push_back(static_cast<char16_t>(s));
      any = true;
    } else {
      out.push_back(c);
    }
  }
  return any;
}

inline std::u16string Composed(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  AppendComposed(
      s.size(), [&](size_t i) { return s[i]; }, out);
  return out;
}

// In place: each syllable becomes the letter of its leading consonant.
inline void ToInitials(std::u16string& s) {
  for (char16_t& c : s) {
    if (IsSyllable(c)) c = InitialOf(c);
  }
}

// A text of one or more of the 19 letters and nothing else.
inline bool IsInitialsText(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (InitialIndex(c) < 0) return false;
  }
  return true;
}

inline bool HoldsHangul(std::u16string_view s) {
  for (char16_t c : s) {
    if (IsSyllable(c) || IsJamo(c)) return true;
  }
  return false;
}

}  // namespace zw::hangul

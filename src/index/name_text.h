// A name as the store keeps it: one byte a code unit when every unit is below
// 0x100 (Latin-1, so U+00E9 stays one byte), else its UTF-16 units as they
// came, unpaired surrogates included. A view may fold A-Z as it reads, so no
// folded copy of a name is ever kept. Cheap to copy; it points into the
// store (or a string) and lives no longer than that.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/ascii.h"

namespace zw {

// The units of one stored form, folded or not: what a hot loop reads once
// the form is known (NameText::Visit), with no test per unit.
template <class Unit, bool Fold>
struct UnitReader {
  const Unit* p;
  size_t n;
  size_t size() const { return n; }
  char16_t operator[](size_t i) const {
    const auto u = static_cast<char16_t>(p[i]);
    return Fold ? FoldAscii(u) : u;
  }
};

class NameText {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  constexpr NameText() = default;
  // UTF-16 units, e.g. a folded name kept beside the store.
  NameText(std::u16string_view units)  // NOLINT(google-explicit-constructor)
      : data_(units.data()), size_(static_cast<uint32_t>(units.size())), wide_(true) {}
  static NameText Narrow(const unsigned char* bytes, size_t size) {
    NameText t;
    t.data_ = bytes;
    t.size_ = static_cast<uint32_t>(size);
    return t;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool narrow() const { return !wide_; }
  bool folds() const { return fold_; }
  // The same name read with A-Z folded.
  NameText Folded() const {
    NameText t = *this;
    t.fold_ = true;
    return t;
  }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(data_); }
  const char16_t* units() const { return static_cast<const char16_t*>(data_); }

  char16_t operator[](size_t i) const {
    const char16_t u = wide_ ? units()[i] : char16_t(bytes()[i]);
    return fold_ ? FoldAscii(u) : u;
  }
  NameText substr(size_t pos, size_t count = npos) const {
    NameText t = *this;
    pos = std::min<size_t>(pos, size_);
    t.data_ = wide_ ? static_cast<const void*>(units() + pos) : bytes() + pos;
    t.size_ = static_cast<uint32_t>(std::min<size_t>(count, size_ - pos));
    return t;
  }
  // Positions of raw units (a fold never makes or removes these).
  size_t find(char16_t c) const {
    for (size_t i = 0; i < size_; ++i) {
      if (Raw(i) == c) return i;
    }
    return npos;
  }
  size_t rfind(char16_t c) const {
    if (!wide_) {
      if (c >= 0x100) return npos;
      for (size_t i = size_; i-- > 0;) {
        if (bytes()[i] == c) return i;
      }
      return npos;
    }
    for (size_t i = size_; i-- > 0;) {
      if (Raw(i) == c) return i;
    }
    return npos;
  }
  size_t find_first_of(std::u16string_view set) const {
    for (size_t i = 0; i < size_; ++i) {
      if (set.find(Raw(i)) != std::u16string_view::npos) return i;
    }
    return npos;
  }

  // f(reader) with the UnitReader of this view's form.
  template <class F>
  decltype(auto) Visit(F&& f) const {
    if (wide_) {
      if (fold_) return f(UnitReader<char16_t, true>{units(), size_});
      return f(UnitReader<char16_t, false>{units(), size_});
    }
    if (fold_) return f(UnitReader<unsigned char, true>{bytes(), size_});
    return f(UnitReader<unsigned char, false>{bytes(), size_});
  }

  // The units as read (folded where this view folds).
  void AppendTo(std::u16string& out) const {
    const size_t at = out.size();
    out.resize(at + size_);
    char16_t* o = out.data() + at;
    if (wide_) {
      const char16_t* u = units();
      if (fold_) {
        for (size_t i = 0; i < size_; ++i) o[i] = FoldAscii(u[i]);
      } else {
        std::copy_n(u, size_, o);
      }
    } else {
      const unsigned char* b = bytes();
      for (size_t i = 0; i < size_; ++i) o[i] = fold_ ? FoldByte(b[i]) : b[i];
    }
  }
  void AssignTo(std::u16string& out) const {
    out.clear();
    AppendTo(out);
  }
  std::u16string str() const {
    std::u16string out;
    AppendTo(out);
    return out;
  }

  // Matching against a folded pattern (no A-Z): the name's units fold as
  // they are read, whether this view folds or not.
  bool StartsWithFolded(std::u16string_view p) const {
    return p.size() <= size_ && MatchesAt(0, p);
  }
  bool EndsWithFolded(std::u16string_view p) const {
    return p.size() <= size_ && MatchesAt(size_ - p.size(), p);
  }
  bool EqualsFolded(std::u16string_view p) const { return p.size() == size_ && MatchesAt(0, p); }
  // Position of the first occurrence of `p`, or npos. An empty `p` is found at 0.
  size_t FindFolded(std::u16string_view p) const;

 private:
  // A Latin-1 byte folds as the unit it stands for.
  static unsigned char FoldByte(unsigned char b) {
    return static_cast<unsigned char>(FoldAscii(char16_t{b}));
  }
  char16_t Raw(size_t i) const { return wide_ ? units()[i] : char16_t(bytes()[i]); }
  bool MatchesAt(size_t at, std::u16string_view p) const {
    if (wide_) {
      const char16_t* h = units() + at;
      for (size_t k = 0; k < p.size(); ++k) {
        if (FoldAscii(h[k]) != p[k]) return false;
      }
    } else {
      const unsigned char* h = bytes() + at;
      for (size_t k = 0; k < p.size(); ++k) {
        if (FoldByte(h[k]) != p[k]) return false;
      }
    }
    return true;
  }

  const void* data_ = nullptr;
  uint32_t size_ = 0;
  bool wide_ = false;
  bool fold_ = false;
};

inline size_t NameText::FindFolded(std::u16string_view p) const {
  if (p.empty()) return 0;
  if (p.size() > size_) return npos;
  const size_t lastStart = size_ - p.size();
  const char16_t head = p[0];
  if (wide_) {
    const char16_t* h = units();
    for (size_t i = 0; i <= lastStart; ++i) {
      if (FoldAscii(h[i]) == head && MatchesAt(i, p)) return i;
    }
    return npos;
  }
  // No byte holds a unit from 0x100 up: such a pattern is not in a narrow name.
  for (char16_t c : p) {
    if (c >= 0x100) return npos;
  }
  const unsigned char* h = bytes();
  const auto first = static_cast<unsigned char>(head);
  for (size_t i = 0; i <= lastStart; ++i) {
    if (FoldByte(h[i]) != first) continue;
    size_t k = 1;
    while (k < p.size() && FoldByte(h[i + k]) == p[k]) ++k;
    if (k == p.size()) return i;
  }
  return npos;
}

namespace name_text_detail {

template <class A, class B>
int CompareUnits(const A* a, bool foldA, const B* b, bool foldB, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    char16_t x = a[k], y = b[k];
    if (foldA) x = FoldAscii(x);
    if (foldB) y = FoldAscii(y);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

}  // namespace name_text_detail

// Ordinal order of the units as read (16-bit code-unit order; a proper
// prefix first): negative, zero or positive.
inline int Compare(NameText a, NameText b) {
  using name_text_detail::CompareUnits;
  const size_t common = std::min(a.size(), b.size());
  int c = 0;
  if (a.narrow() && b.narrow()) {
    // Latin-1 bytes are the units: byte order is unit order.
    if (!a.folds() && !b.folds()) {
      c = common == 0 ? 0 : std::memcmp(a.bytes(), b.bytes(), common);
    } else {
      c = CompareUnits(a.bytes(), a.folds(), b.bytes(), b.folds(), common);
    }
  } else if (a.narrow()) {
    c = CompareUnits(a.bytes(), a.folds(), b.units(), b.folds(), common);
  } else if (b.narrow()) {
    c = CompareUnits(a.units(), a.folds(), b.bytes(), b.folds(), common);
  } else {
    c = CompareUnits(a.units(), a.folds(), b.units(), b.folds(), common);
  }
  if (c != 0) return c;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool operator==(NameText a, NameText b) {
  return a.size() == b.size() && Compare(a, b) == 0;
}
inline bool operator<(NameText a, NameText b) {
  return Compare(a, b) < 0;
}
inline bool operator==(NameText a, std::u16string_view b) {
  return a == NameText(b);
}

// The text after the last dot; empty with no dot or a dot at the end.
inline NameText FileExtension(NameText name) {
  const size_t dot = name.rfind(u'.');
  if (dot == NameText::npos || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

}  // namespace zw

// Orders entry numbers by a text of each entry (ordinal, code unit by code
// unit, a proper prefix first), read forwards or backwards. Used for the name
// order, the order of names read from their ends, and the rank arrays that let
// a result sort compare integers instead of strings.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "index/entry_store.h"
#include "index/name_text.h"

namespace zw {

// Entry numbers 0..n-1 ascending by text(i) (a u16string_view or a
// NameText, which is compared as it reads, folded or not), or by the
// text read from its last code unit to its first when `Backwards`; equal
// texts by tie(i, j), by default ascending by number.
template <bool Backwards = false, class Text, class Tie = std::less<uint32_t>>
std::vector<uint32_t> OrderByText(size_t n, Text&& text, Tie tie = {});

// rank[order[k]] = k.
std::vector<uint32_t> RanksOf(const std::vector<uint32_t>& order);

// `a` read backwards against `b` read backwards: negative, zero or positive.
template <class TextA, class TextB>
int BackwardsCompare(const TextA& a, const TextB& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t k = 1; k <= common; ++k) {
    const char16_t x = a[a.size() - k], y = b[b.size() - k];
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The same with each name's stored form settled once, not per unit.
inline int BackwardsCompare(const NameText& a, const NameText& b) {
  return a.Visit([&](const auto& x) {
    return b.Visit([&](const auto& y) { return BackwardsCompare(x, y); });
  });
}

// Whether `a` read backwards sorts before `b` read backwards.
template <class Text>
bool BackwardsLess(const Text& a, const Text& b) {
  return BackwardsCompare(a, b) < 0;
}

namespace detail {

struct OrderItem {
  uint64_t key;  // four code units from the current depth, big-endian
  uint32_t entry;
  uint32_t size;  // of the text, kept here so that a tie is split without reading it
};

inline int Ordinal(std::u16string_view a, std::u16string_view b) {
  return a.compare(b);
}
inline int Ordinal(NameText a, NameText b) {
  return Compare(a, b);
}

template <bool Backwards, class Text>
char16_t UnitAt(const Text& s, size_t pos) {
  return Backwards ? s[s.size() - 1 - pos] : s[pos];
}

template <bool Backwards, class Text>
uint64_t KeyAt(const Text& s, size_t depth) {
  uint64_t key = 0;
  for (size_t k = 0; k < 4; ++k) {
    const size_t pos = depth + k;
    key = (key << 16) | (pos < s.size() ? UnitAt<Backwards>(s, pos) : 0u);
  }
  return key;
}

template <bool Backwards>
uint64_t KeyAt(const NameText& s, size_t depth) {
  return s.Visit([&](const auto& units) { return KeyAt<Backwards>(units, depth); });
}

// Texts equal in [0, depth): the rest of a against the rest of b, as
// negative, zero or positive.
template <bool Backwards, class Text>
int CompareFrom(Text a, Text b, size_t depth) {
  if constexpr (Backwards) {
    a = a.substr(0, a.size() - std::min(depth, a.size()));
    b = b.substr(0, b.size() - std::min(depth, b.size()));
    return BackwardsCompare(a, b);
  } else {
    a = a.substr(std::min(depth, a.size()));
    b = b.substr(std::min(depth, b.size()));
    return Ordinal(a, b);
  }
}

}  // namespace detail

// Most texts differ within a few code units, so sorting cached 64-bit keys
// settles nearly every comparison without touching the text; runs that tie go
// one level deeper (MSD style), which keeps long shared prefixes cheap.
template <bool Backwards, class Text, class Tie>
std::vector<uint32_t> OrderByText(size_t n, Text&& text, Tie tie) {
  using detail::OrderItem;
  constexpr size_t kSmallRun = 32;  // finished with whole-text comparisons
  std::vector<OrderItem> items(n);
  for (size_t i = 0; i < n; ++i) {
    const auto t = text(static_cast<uint32_t>(i));
    items[i] = {detail::KeyAt<Backwards>(t, 0), static_cast<uint32_t>(i),
                static_cast<uint32_t>(t.size())};
  }
  auto textOf = [&](const OrderItem& it) { return text(it.entry); };
  auto lessFrom = [&](const OrderItem& a, const OrderItem& b, size_t depth) {
    const int c = detail::CompareFrom<Backwards>(textOf(a), textOf(b), depth);
    return c != 0 ? c < 0 : tie(a.entry, b.entry);
  };
  auto byKey = [](const OrderItem& a, const OrderItem& b) { return a.key < b.key; };

  struct Run {
    size_t begin, end, depth;
  };
  std::vector<Run> work;
  std::sort(items.begin(), items.end(), byKey);
  work.push_back({0, n, 0});
  bool first = true;
  while (!work.empty()) {
    Run run = work.back();
    work.pop_back();
    if (!first) {
      // Every text of the run equals the others in [0, depth).
      if (run.end - run.begin < kSmallRun) {
        const size_t d = run.depth;
        std::sort(items.begin() + run.begin, items.begin() + run.end,
                  [&](const OrderItem& a, const OrderItem& b) { return lessFrom(a, b, d); });
        continue;
      }
      for (size_t k = run.begin; k < run.end; ++k) {
        items[k].key = detail::KeyAt<Backwards>(textOf(items[k]), run.depth);
      }
      std::sort(items.begin() + run.begin, items.begin() + run.end, byKey);
    }
    first = false;
    // Split into runs of equal keys; a run whose texts all end inside this
    // key is finished.
    size_t k = run.begin;
    while (k < run.end) {
      size_t e = k + 1;
      while (e < run.end && items[e].key == items[k].key) ++e;
      if (e - k > 1) {
        // Texts that end inside this key are proper prefixes of the longer
        // ones with the same key, so they go first; the rest go deeper.
        const size_t limit = run.depth + 4;
        auto mid = std::partition(items.begin() + k, items.begin() + e,
                                  [&](const OrderItem& it) { return it.size <= limit; });
        const size_t m = static_cast<size_t>(mid - items.begin());
        if (m - k > 1) {
          std::sort(items.begin() + k, mid,
                    [&](const OrderItem& a, const OrderItem& b) { return lessFrom(a, b, 0); });
        }
        if (e - m > 1) work.push_back({m, e, limit});
      }
      k = e;
    }
  }

  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = items[i].entry;
  return order;
}

}  // namespace zw

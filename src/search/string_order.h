// Orders entry numbers by a text of each entry (ordinal, code unit by code
// unit, a proper prefix first), read forwards or backwards. Used for the name
// order, the order of names read from their ends, and the rank arrays that let
// a result sort compare integers instead of strings.
#pragma once

#include <algorithm>
#include <array>
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
  uint32_t form;  // size << 2 | wide << 1 | folds
};

// Where each entry's text lies, by entry, kept beside the items: going
// deeper then reads the text alone, and both reads can be asked for ahead.
// Looking a text up again through its entry costs a cache miss or two an
// item once the items are shuffled. Apart from the items, not in them: items
// of 16 bytes keep the sort's arrays as large as they always were, which is
// what the heap's choices (mapped or not, returned or not) were measured with.
using TextUnits = std::vector<const void*>;

inline OrderItem ItemOf(NameText t, uint32_t entry) {
  return {0, entry,
          static_cast<uint32_t>(t.size() << 2 | (t.narrow() ? 0u : 2u) | (t.folds() ? 1u : 0u))};
}

inline const void* UnitsOf(NameText t) {
  return t.narrow() ? static_cast<const void*>(t.bytes()) : t.units();
}

inline size_t SizeOf(const OrderItem& it) {
  return it.form >> 2;
}

inline NameText TextOf(const OrderItem& it, const TextUnits& units) {
  const void* u = units[it.entry];
  const NameText t =
      (it.form & 2) != 0
          ? NameText(std::u16string_view(static_cast<const char16_t*>(u), SizeOf(it)))
          : NameText::Narrow(static_cast<const unsigned char*>(u), SizeOf(it));
  return (it.form & 1) != 0 ? t.Folded() : t;
}

// Asks for where the text of `it` lies.
inline void PrefetchUnits(const OrderItem& it, const TextUnits& units) {
  __builtin_prefetch(&units[it.entry]);
}

// Asks for the line that holds the key at `depth` ahead of reading it.
template <bool Backwards>
void PrefetchKey(const OrderItem& it, const TextUnits& units, size_t depth) {
  const size_t size = SizeOf(it);
  const size_t pos = Backwards ? size - std::min(depth + 4, size) : std::min(depth, size);
  __builtin_prefetch(static_cast<const char*>(units[it.entry]) + (pos << ((it.form >> 1) & 1)));
}

// Items ascending by key, equal keys in no particular order (the caller
// splits those by text). An in-place radix sort a byte at a time from the
// top: on millions of items it reads and moves each a few times where a
// comparison sort moves it some twenty, and it needs no second array.
inline void SortByKey(OrderItem* first, OrderItem* last, int shift = 56) {
  constexpr size_t kFew = 128;  // sorted by comparison
  while (shift >= 0) {
    const size_t n = static_cast<size_t>(last - first);
    if (n < kFew) {
      std::sort(first, last, [](const OrderItem& a, const OrderItem& b) { return a.key < b.key; });
      return;
    }
    auto digit = [shift](const OrderItem& it) { return (it.key >> shift) & 0xFF; };
    std::array<size_t, 256> count{};
    for (const OrderItem* p = first; p != last; ++p) ++count[digit(*p)];
    if (count[digit(*first)] == n) {  // one value here (the high byte of an ASCII unit)
      shift -= 8;
      continue;
    }
    std::array<size_t, 256> next{}, end{};
    size_t at = 0;
    for (size_t b = 0; b < 256; ++b) {
      next[b] = at;
      at += count[b];
      end[b] = at;
    }
    // Each item swapped straight into its bucket until the bucket's own turns up.
    for (size_t b = 0; b < 256; ++b) {
      while (next[b] < end[b]) {
        OrderItem item = first[next[b]];
        for (size_t d = digit(item); d != b; d = digit(item)) std::swap(item, first[next[d]++]);
        first[next[b]++] = item;
      }
    }
    for (size_t b = 0, from = 0; b < 256; from = end[b++]) {
      if (end[b] - from > 1) SortByKey(first + from, first + end[b], shift - 8);
    }
    return;
  }
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
template <bool Backwards>
int CompareFrom(NameText a, NameText b, size_t depth) {
  if constexpr (Backwards) {
    a = a.substr(0, a.size() - std::min(depth, a.size()));
    b = b.substr(0, b.size() - std::min(depth, b.size()));
    return BackwardsCompare(a, b);
  } else {
    a = a.substr(std::min(depth, a.size()));
    b = b.substr(std::min(depth, b.size()));
    return Compare(a, b);
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
  // Items a loop over a run asks for ahead of reading their texts.
  constexpr size_t kAhead = 8;
  std::vector<OrderItem> items;
  detail::TextUnits units;
  items.reserve(n);  // written once, not zeroed first: hundreds of MB at ten million
  units.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const NameText t = text(static_cast<uint32_t>(i));
    items.push_back(detail::ItemOf(t, static_cast<uint32_t>(i)));
    items.back().key = detail::KeyAt<Backwards>(t, 0);
    units.push_back(detail::UnitsOf(t));
  }
  auto lessFrom = [&](const OrderItem& a, const OrderItem& b, size_t depth) {
    const int c =
        detail::CompareFrom<Backwards>(detail::TextOf(a, units), detail::TextOf(b, units), depth);
    return c != 0 ? c < 0 : tie(a.entry, b.entry);
  };

  struct Run {
    size_t begin, end, depth;
  };
  std::vector<Run> work;
  detail::SortByKey(items.data(), items.data() + n);
  work.push_back({0, n, 0});
  bool first = true;
  while (!work.empty()) {
    Run run = work.back();
    work.pop_back();
    if (!first) {
      // Every text of the run equals the others in [0, depth).
      if (run.end - run.begin < kSmallRun) {
        const size_t d = run.depth;
        for (size_t k = run.begin; k < run.end; ++k) detail::PrefetchUnits(items[k], units);
        for (size_t k = run.begin; k < run.end; ++k) {
          detail::PrefetchKey<Backwards>(items[k], units, d);
        }
        std::sort(items.begin() + run.begin, items.begin() + run.end,
                  [&](const OrderItem& a, const OrderItem& b) { return lessFrom(a, b, d); });
        continue;
      }
      for (size_t k = run.begin; k < run.end; ++k) {
        if (k + 2 * kAhead < run.end) detail::PrefetchUnits(items[k + 2 * kAhead], units);
        if (k + kAhead < run.end) {
          detail::PrefetchKey<Backwards>(items[k + kAhead], units, run.depth);
        }
        items[k].key = detail::KeyAt<Backwards>(detail::TextOf(items[k], units), run.depth);
      }
      detail::SortByKey(items.data() + run.begin, items.data() + run.end);
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
        // Among themselves each is a prefix of the longer ones (the key pads
        // with zeros), so the shorter goes first and equal texts by the tie,
        // with no text read again: the many copies of a common name.
        const size_t limit = run.depth + 4;
        auto mid = std::partition(items.begin() + k, items.begin() + e,
                                  [&](const OrderItem& it) { return detail::SizeOf(it) <= limit; });
        const size_t m = static_cast<size_t>(mid - items.begin());
        if (m - k > 1) {
          std::sort(items.begin() + k, mid, [&](const OrderItem& a, const OrderItem& b) {
            const size_t sa = detail::SizeOf(a), sb = detail::SizeOf(b);
            return sa != sb ? sa < sb : tie(a.entry, b.entry);
          });
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

#include "search/string_order.h"

#include <algorithm>
#include <string_view>

namespace zw {

namespace {

struct Item {
  uint64_t key;  // four code units from the current depth, big-endian
  uint32_t entry;
};

// Runs shorter than this are finished with whole-string comparisons.
constexpr size_t kSmallRun = 32;

uint64_t KeyAt(const std::u16string& s, size_t depth) {
  uint64_t key = 0;
  for (size_t k = 0; k < 4; ++k) {
    const size_t pos = depth + k;
    key = (key << 16) | (pos < s.size() ? s[pos] : 0u);
  }
  return key;
}

}  // namespace

// Most strings differ within a few code units, so sorting cached 64-bit keys
// settles nearly every comparison without touching the string; runs that tie
// go one level deeper (MSD style), which keeps long shared path prefixes cheap.
std::vector<uint32_t> OrderBy(const std::vector<FileEntry>& entries,
                              std::u16string FileEntry::*field) {
  const size_t n = entries.size();
  std::vector<Item> items(n);
  for (size_t i = 0; i < n; ++i) items[i] = {KeyAt(entries[i].*field, 0), static_cast<uint32_t>(i)};

  auto text = [&](const Item& it) -> const std::u16string& { return entries[it.entry].*field; };
  auto byKey = [](const Item& a, const Item& b) { return a.key < b.key; };

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
      // Every string of the run equals the others in [0, depth).
      if (run.end - run.begin < kSmallRun) {
        const size_t d = run.depth;
        std::sort(items.begin() + run.begin, items.begin() + run.end,
                  [&](const Item& a, const Item& b) {
                    std::u16string_view sa(text(a)), sb(text(b));
                    sa.remove_prefix(std::min(d, sa.size()));
                    sb.remove_prefix(std::min(d, sb.size()));
                    return sa < sb;
                  });
        continue;
      }
      for (size_t k = run.begin; k < run.end; ++k) items[k].key = KeyAt(text(items[k]), run.depth);
      std::sort(items.begin() + run.begin, items.begin() + run.end, byKey);
    }
    first = false;
    // Split into runs of equal keys; a run whose strings all end inside this
    // key is finished (equal strings, any order will do).
    size_t k = run.begin;
    while (k < run.end) {
      size_t e = k + 1;
      while (e < run.end && items[e].key == items[k].key) ++e;
      if (e - k > 1) {
        // Strings that end inside this key are proper prefixes of the longer
        // ones with the same key, so they go first; the rest go deeper.
        const size_t limit = run.depth + 4;
        auto mid = std::partition(items.begin() + k, items.begin() + e,
                                  [&](const Item& it) { return text(it).size() <= limit; });
        const size_t m = static_cast<size_t>(mid - items.begin());
        if (m - k > 1) {
          std::sort(items.begin() + k, mid,
                    [&](const Item& a, const Item& b) { return text(a) < text(b); });
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

std::vector<uint32_t> RanksOf(const std::vector<uint32_t>& order) {
  std::vector<uint32_t> rank(order.size());
  for (uint32_t k = 0; k < order.size(); ++k) rank[order[k]] = k;
  return rank;
}

}  // namespace zw

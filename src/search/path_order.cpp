#include "search/path_order.h"

#include <algorithm>
#include <string_view>

namespace zw {

namespace {

// An item among a folder's children: the child itself, or (top bit) the
// block of everything below it, whose paths all continue name + "\".
constexpr uint32_t kBlock = 0x80000000u;
constexpr size_t kDriveSlots = 256;

// Ordinal order of name (+ "\" for a block).
bool ItemLess(NameText a, bool aBlock, NameText b, bool bBlock) {
  const size_t common = std::min(a.size(), b.size());
  if (const int c = Compare(a.substr(0, common), b.substr(0, common)); c != 0) return c < 0;
  // One is a prefix of the other: what follows it, if anything, is the "\".
  if (a.size() == b.size()) return !aBlock && bBlock;
  if (a.size() < b.size()) return !aBlock || u'\\' < b[a.size()];
  return bBlock && a[b.size()] < u'\\';
}

}  // namespace

std::optional<std::vector<uint32_t>> TreePathOrder(const EntryStore& entries) {
  const size_t n = entries.size();
  if (n >= kBlock) return std::nullopt;
  // Nodes: the entries, one root per drive slot, and the root of the cut
  // paths: these begin with kCutPathMark, which sorts after every "X:\".
  const size_t cutRoot = n + kDriveSlots;
  const size_t nodes = cutRoot + 1;
  std::vector<uint32_t> start(nodes + 1, 0);
  auto nodeOf = [&](uint32_t i) -> size_t {
    const EntryRecord& r = entries.Record(i);
    if (r.parent != kNoEntry) return r.parent;
    return (r.flags & EntryStore::kPathCut) != 0 ? cutRoot : n + r.driveSlot;
  };
  for (uint32_t i = 0; i < n; ++i) {
    const EntryRecord& r = entries.Record(i);
    if ((r.flags & (EntryStore::kKeptPath | EntryStore::kDeleted)) != 0) return std::nullopt;
    if (entries.RawName(i).find(u'\\') != std::u16string_view::npos) return std::nullopt;
    ++start[nodeOf(i) + 1];
  }
  std::vector<bool> hasChildren(n, false);
  for (uint32_t i = 0; i < n; ++i) {
    const EntryRecord& r = entries.Record(i);
    if (r.parent != kNoEntry) hasChildren[r.parent] = true;
  }
  // Each node's items: a child, and its block when it has children.
  std::vector<uint32_t> itemStart(nodes + 1, 0);
  for (size_t v = 0; v < nodes; ++v) itemStart[v + 1] = start[v + 1];  // counts of children
  for (uint32_t i = 0; i < n; ++i) {
    if (hasChildren[i]) ++itemStart[nodeOf(i) + 1];
  }
  for (size_t v = 0; v < nodes; ++v) itemStart[v + 1] += itemStart[v];
  std::vector<uint32_t> items(itemStart[nodes]);
  std::vector<uint32_t> fill(itemStart.begin(), itemStart.end() - 1);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t v = nodeOf(i);
    items[fill[v]++] = i;
    if (hasChildren[i]) items[fill[v]++] = i | kBlock;
  }
  start.clear();
  start.shrink_to_fit();
  fill.clear();
  fill.shrink_to_fit();

  auto less = [&](uint32_t a, uint32_t b) {
    return ItemLess(entries.RawName(a & ~kBlock), (a & kBlock) != 0, entries.RawName(b & ~kBlock),
                    (b & kBlock) != 0);
  };
  for (size_t v = 0; v < nodes; ++v) {
    const auto first = items.begin() + itemStart[v], last = items.begin() + itemStart[v + 1];
    if (last - first < 2) continue;
    std::sort(first, last, less);
    // Two children of one name: their blocks would interleave.
    for (auto it = first; it + 1 != last; ++it) {
      if (((*it | it[1]) & kBlock) == 0 && !less(*it, it[1])) return std::nullopt;
    }
  }

  // Drives in letter order: every path starts with the letter and ":\".
  std::vector<size_t> slots;
  for (size_t s = 0; s < kDriveSlots; ++s) {
    if (itemStart[n + s] != itemStart[n + s + 1]) slots.push_back(s);
  }
  std::sort(slots.begin(), slots.end(), [&](size_t a, size_t b) {
    return entries[items[itemStart[n + a]] & ~kBlock].drive() <
           entries[items[itemStart[n + b]] & ~kBlock].drive();
  });
  std::vector<size_t> roots;
  for (size_t s : slots) roots.push_back(n + s);
  roots.push_back(cutRoot);
  std::vector<uint32_t> order;
  order.reserve(n);
  std::vector<std::pair<size_t, uint32_t>> stack;  // node, next item
  for (size_t root : roots) {
    stack.push_back({root, itemStart[root]});
    while (!stack.empty()) {
      auto& [v, next] = stack.back();
      if (next == itemStart[v + 1]) {
        stack.pop_back();
        continue;
      }
      const uint32_t item = items[next++];
      if ((item & kBlock) == 0) {
        order.push_back(item);
      } else {
        const uint32_t c = item & ~kBlock;
        stack.push_back({c, itemStart[c]});
      }
    }
  }
  if (order.size() != n) return std::nullopt;
  return order;
}

}  // namespace zw

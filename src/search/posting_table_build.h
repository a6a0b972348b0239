// The counting-sort build of a PostingTable (template, included by
// posting_table.h only).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace zw {
namespace detail {

// Open addressing from n-gram key to a dense id. Keys never have all bits set,
// so that value marks a free slot.
class KeyIds {
 public:
  static constexpr uint64_t kFree = ~uint64_t{0};

  KeyIds() { Resize(1u << 12); }

  uint32_t IdOf(uint64_t key) {
    size_t slot = Hash(key) & mask_;
    while (true) {
      const uint64_t k = slots_[slot];
      if (k == key) return ids_[slot];
      if (k == kFree) break;
      slot = (slot + 1) & mask_;
    }
    if ((keys_.size() + 1) * 2 > slots_.size()) {
      Resize(slots_.size() * 2);
      return IdOf(key);
    }
    slots_[slot] = key;
    ids_[slot] = static_cast<uint32_t>(keys_.size());
    keys_.push_back(key);
    return ids_[slot];
  }

  std::vector<uint64_t>& Keys() { return keys_; }

 private:
  static size_t Hash(uint64_t k) {
    k ^= k >> 29;
    k *= 0xBF58476D1CE4E5B9ull;
    k ^= k >> 32;
    return static_cast<size_t>(k);
  }

  void Resize(size_t capacity) {
    std::vector<uint64_t> slots(capacity, kFree);
    std::vector<uint32_t> ids(capacity);
    const size_t mask = capacity - 1;
    for (uint32_t id = 0; id < keys_.size(); ++id) {
      size_t slot = Hash(keys_[id]) & mask;
      while (slots[slot] != kFree) slot = (slot + 1) & mask;
      slots[slot] = keys_[id];
      ids[slot] = id;
    }
    slots_ = std::move(slots);
    ids_ = std::move(ids);
    mask_ = mask;
  }

  std::vector<uint64_t> slots_;
  std::vector<uint32_t> ids_;
  std::vector<uint64_t> keys_;
  size_t mask_ = 0;
};

inline void PutVarint(std::vector<uint8_t>& out, uint32_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<uint8_t>(v));
}

}  // namespace detail

template <class ForEachKey>
bool BuildPostingTable(PostingTable& table, uint32_t entryCount, ForEachKey&& forEachKey) {
  table.Release();
  detail::KeyIds keyIds;
  std::vector<uint32_t> counts;
  std::vector<uint32_t> lastEntry;  // per id: the last entry that listed it
  std::vector<uint32_t> gramIds;    // every (entry, key) pair's id, entry by entry
  std::vector<uint32_t> entryEnd(entryCount);
  gramIds.reserve(static_cast<size_t>(entryCount) * 8);

  for (uint32_t i = 0; i < entryCount; ++i) {
    forEachKey(i, [&](uint64_t key) {
      const uint32_t id = keyIds.IdOf(key);
      if (id == counts.size()) {
        counts.push_back(0);
        lastEntry.push_back(std::numeric_limits<uint32_t>::max());
      }
      if (lastEntry[id] == i) return;
      lastEntry[id] = i;
      ++counts[id];
      gramIds.push_back(id);
    });
    entryEnd[i] = static_cast<uint32_t>(gramIds.size());
  }
  std::vector<uint32_t>().swap(lastEntry);

  // Counting sort by id; entries go in ascending, so each list is ascending.
  const size_t idCount = counts.size();
  std::vector<uint32_t> start(idCount + 1, 0);
  for (size_t id = 0; id < idCount; ++id) start[id + 1] = start[id] + counts[id];
  std::vector<uint32_t> postings(gramIds.size());
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    uint32_t k = 0;
    for (uint32_t i = 0; i < entryCount; ++i) {
      for (; k < entryEnd[i]; ++k) postings[fill[gramIds[k]]++] = i;
    }
  }
  std::vector<uint32_t>().swap(gramIds);
  std::vector<uint32_t>().swap(entryEnd);

  std::vector<uint64_t>& keys = keyIds.Keys();
  std::vector<uint32_t> order(idCount);
  for (uint32_t id = 0; id < idCount; ++id) order[id] = id;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });

  table.keys.resize(idCount);
  table.offsets.resize(idCount + 1);
  table.counts.resize(idCount);
  table.bitmaps.assign(idCount, false);
  table.data.reserve(postings.size() + postings.size() / 2);
  const size_t bitmapBytes = (size_t{entryCount} + 7) / 8;
  for (size_t n = 0; n < idCount; ++n) {
    const uint32_t id = order[n];
    table.keys[n] = keys[id];
    table.counts[n] = counts[id];
    const size_t offset = table.data.size();
    table.offsets[n] = static_cast<uint32_t>(offset);
    uint32_t previous = 0;
    for (uint32_t p = start[id]; p < start[id + 1]; ++p) {
      detail::PutVarint(table.data, postings[p] - previous);
      previous = postings[p];
    }
    if (table.data.size() - offset > bitmapBytes) {
      table.data.resize(offset);
      table.data.resize(offset + bitmapBytes, 0);
      for (uint32_t p = start[id]; p < start[id + 1]; ++p) {
        table.data[offset + postings[p] / 8] |= static_cast<uint8_t>(1u << (postings[p] % 8));
      }
      table.bitmaps[n] = true;
    }
    if (table.data.size() > std::numeric_limits<uint32_t>::max() - 8) {
      table.Release();
      return false;
    }
  }
  table.offsets[idCount] = static_cast<uint32_t>(table.data.size());
  table.data.shrink_to_fit();
  return true;
}

}  // namespace zw

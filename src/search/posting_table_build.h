// The build of a PostingTable: lists grown per key as entries arrive, then
// joined in key order, each in its smallest form (template, included by
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

// Each list is delta-coded as its entries arrive, in a buffer of its own:
// entries come in ascending order, so nothing is sorted or scattered, and
// the lists are joined in key order at the end.
template <class ForEachKey>
[[nodiscard]] bool BuildPostingTable(PostingTable& table, uint32_t entryCount,
                                     ForEachKey&& forEachKey) {
  table.Release();
  struct Growing {
    std::vector<uint8_t> bytes;
    uint32_t last = 0;  // the last entry listed
    uint32_t count = 0;
  };
  detail::KeyIds keyIds;
  std::vector<Growing> lists;  // by id
  for (uint32_t i = 0; i < entryCount; ++i) {
    forEachKey(i, [&](uint64_t key) {
      const uint32_t id = keyIds.IdOf(key);
      if (id == lists.size()) lists.emplace_back();
      Growing& list = lists[id];
      if (list.count != 0 && list.last == i) return;  // a repeat within one entry
      detail::PutVarint(list.bytes, i - list.last);
      list.last = i;
      ++list.count;
    });
  }

  const size_t idCount = lists.size();
  std::vector<uint64_t>& keys = keyIds.Keys();
  std::vector<uint32_t> order(idCount);
  for (uint32_t id = 0; id < idCount; ++id) order[id] = id;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });

  // Each list in its smallest form.
  const size_t bitmapBytes = (size_t{entryCount} + 7) / 8;
  std::vector<uint8_t> forms(idCount);
  size_t total = 0;
  for (size_t id = 0; id < idCount; ++id) {
    const size_t deltas = lists[id].bytes.size();
    const size_t eliasFano = EliasFanoBytes(entryCount, lists[id].count);
    const size_t smallest = std::min({deltas, eliasFano, bitmapBytes});
    forms[id] = smallest == deltas      ? PostingTable::kDeltas
                : smallest == eliasFano ? PostingTable::kEliasFano
                                        : PostingTable::kBitmap;
    total += smallest;
  }
  if (total > std::numeric_limits<uint32_t>::max() - 8) return false;
  table.universe = entryCount;
  table.keys.resize(idCount);
  table.offsets.resize(idCount + 1);
  table.counts.resize(idCount);
  table.forms.resize(idCount);
  table.data.reserve(total);
  std::vector<uint32_t> entries;
  for (size_t n = 0; n < idCount; ++n) {
    Growing& list = lists[order[n]];
    table.keys[n] = keys[order[n]];
    table.counts[n] = list.count;
    const size_t offset = table.data.size();
    table.offsets[n] = static_cast<uint32_t>(offset);
    const auto form = PostingTable::Form(forms[order[n]]);
    table.forms[n] = form;
    if (form == PostingTable::kDeltas) {
      table.data.insert(table.data.end(), list.bytes.begin(), list.bytes.end());
    } else {
      entries.clear();
      DecodeList({list.bytes.data(), list.bytes.data() + list.bytes.size(), list.count,
                  PostingTable::kDeltas, entryCount},
                 entries);
      if (form == PostingTable::kEliasFano) {
        table.data.resize(offset + EliasFanoBytes(entryCount, list.count), 0);
        EncodeEliasFano(entries, entryCount, table.data.data() + offset);
      } else {
        table.data.resize(offset + bitmapBytes, 0);
        for (uint32_t e : entries) {
          table.data[offset + e / 8] |= static_cast<uint8_t>(1u << (e % 8));
        }
      }
    }
    std::vector<uint8_t>().swap(list.bytes);
  }
  table.offsets[idCount] = static_cast<uint32_t>(table.data.size());
  return true;
}

}  // namespace zw

// The build of a PostingTable in two passes over the keys: the first counts
// each list, so that its form, size and place in the table are known; the
// second writes every entry straight into its place. Nothing grows, nothing
// is copied or coded twice, and the build needs little beyond the table
// itself (template, included by posting_table.h only).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace zw {

// Keys not known to be dense: every key is hashed.
struct NoDirectKeys {
  static constexpr size_t kSize = 0;
  static size_t SlotOf(uint64_t) { return 0; }
};

namespace detail {

inline constexpr uint32_t kNoId = UINT32_MAX;

// Key to dense id. Keys the policy `Direct` gives a slot below its kSize
// index a plain array; the rest go through open addressing. Keys never
// have all bits set, so that value marks a free slot.
template <class Direct>
class KeyIds {
 public:
  static constexpr uint64_t kFree = ~uint64_t{0};

  KeyIds() : direct_(Direct::kSize, kNoId) { Resize(1u << 12); }

  uint32_t IdOf(uint64_t key) { return IdOf(key, Direct::SlotOf(key)); }

  // With the key's slot known (`d`, as Direct::SlotOf gives it), from a
  // caller that works it out for less than the policy can. Inlined for a
  // direct key: a call a posting cost the unigrams a tenth of their build.
  [[gnu::always_inline]] uint32_t IdOf(uint64_t key, size_t d) {
    if constexpr (Direct::kSize != 0) {
      if (d < Direct::kSize) {
        uint32_t& id = direct_[d];
        if (id == kNoId) id = Add(key);
        return id;
      }
    }
    return HashedIdOf(key);
  }

  std::vector<uint64_t>& Keys() { return keys_; }

 private:
  struct Slot {
    uint64_t key;
    uint32_t id;
  };

  [[gnu::noinline]] uint32_t HashedIdOf(uint64_t key) {
    size_t slot = Hash(key) & mask_;
    while (true) {
      const Slot& s = slots_[slot];
      if (s.key == key) return s.id;
      if (s.key == kFree) break;
      slot = (slot + 1) & mask_;
    }
    if ((hashed_ + 1) * 2 > slots_.size()) {
      Resize(slots_.size() * 2);
      return HashedIdOf(key);
    }
    ++hashed_;
    slots_[slot] = {key, Add(key)};
    return slots_[slot].id;
  }

  uint32_t Add(uint64_t key) {
    keys_.push_back(key);
    return static_cast<uint32_t>(keys_.size() - 1);
  }

  static size_t Hash(uint64_t k) {
    k ^= k >> 29;
    k *= 0xBF58476D1CE4E5B9ull;
    k ^= k >> 32;
    return static_cast<size_t>(k);
  }

  void Resize(size_t capacity) {
    std::vector<Slot> slots(capacity, Slot{kFree, 0});
    const size_t mask = capacity - 1;
    for (const Slot& s : slots_) {
      if (s.key == kFree) continue;
      size_t slot = Hash(s.key) & mask;
      while (slots[slot].key != kFree) slot = (slot + 1) & mask;
      slots[slot] = s;
    }
    slots_ = std::move(slots);
    mask_ = mask;
  }

  std::vector<uint32_t> direct_;
  std::vector<Slot> slots_;
  std::vector<uint64_t> keys_;
  size_t hashed_ = 0;
  size_t mask_ = 0;
};

inline size_t VarintBytes(uint32_t v) {
  size_t n = 1;
  while (v >= 0x80) {
    v >>= 7;
    ++n;
  }
  return n;
}

inline uint8_t* PutVarint(uint8_t* out, uint32_t v) {
  while (v >= 0x80) {
    *out++ = static_cast<uint8_t>(v | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<uint8_t>(v);
  return out;
}

// Entry `e`, the `k`th of its list, into an Elias-Fano list at `out` (zeros
// where nothing was written yet), as EncodeEliasFano lays it out.
inline void PutEliasFano(uint8_t* out, uint32_t low, size_t lowBytes, uint32_t k, uint32_t e) {
  if (low != 0) {
    const size_t at = size_t{k} * low;
    const size_t from = at / 8;
    const uint64_t bits = (e & ((uint64_t{1} << low) - 1)) << (at % 8);
    if (from + 8 <= lowBytes) {
      uint64_t word;
      std::memcpy(&word, out + from, 8);  // little-endian, as the reader
      word |= bits;
      std::memcpy(out + from, &word, 8);
    } else {
      for (size_t b = 0; from + b < lowBytes; ++b) out[from + b] |= uint8_t(bits >> (8 * b));
    }
  }
  const size_t bit = size_t{e >> low} + k;
  out[lowBytes + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
}

// Calls forEachKey over the entries a block at a time, and then, for each
// list id the block touched, perList(id, entries, n) with its entries
// ascending (repeats within one entry included). Grouping a block by list
// first means each list is written in runs, not one cache miss a posting.
template <class Direct, class ForEachKey, class PerList>
void ForEachListOfBlocks(KeyIds<Direct>& keyIds, uint32_t entryCount, ForEachKey& forEachKey,
                         PerList&& perList) {
  constexpr uint32_t kBlock = 16384;
  std::vector<uint32_t> ids;      // of the block's postings, entry by entry
  std::vector<uint32_t> firstId;  // per entry of the block: where its ids begin
  std::vector<uint32_t> grouped;
  std::vector<uint32_t> ends;
  for (uint32_t begin = 0; begin < entryCount; begin += std::min(kBlock, entryCount - begin)) {
    const uint32_t end = begin + std::min(kBlock, entryCount - begin);
    ids.clear();
    firstId.clear();
    for (uint32_t i = begin; i < end; ++i) {
      firstId.push_back(static_cast<uint32_t>(ids.size()));
      forEachKey(i, [&](uint64_t key, auto... slot) { ids.push_back(keyIds.IdOf(key, slot...)); });
    }
    firstId.push_back(static_cast<uint32_t>(ids.size()));
    // A counting sort by id, stable, so entries stay ascending in a list.
    const size_t idCount = keyIds.Keys().size();
    ends.assign(idCount + 1, 0);
    for (uint32_t id : ids) ++ends[id + 1];
    for (size_t id = 1; id <= idCount; ++id) ends[id] += ends[id - 1];
    grouped.resize(ids.size());
    for (uint32_t i = begin; i < end; ++i) {
      for (uint32_t k = firstId[i - begin]; k < firstId[i - begin + 1]; ++k) {
        grouped[ends[ids[k]]++] = i;
      }
    }
    // Now ends[id] is where list id's run ends, and ends[id - 1] where it begins.
    uint32_t from = 0;
    for (size_t id = 0; id < idCount; ++id) {
      if (ends[id] != from)
        perList(static_cast<uint32_t>(id), grouped.data() + from, ends[id] - from);
      from = ends[id];
    }
  }
}

}  // namespace detail

template <class Direct, class ForEachKey>
[[nodiscard]] bool BuildPostingTable(PostingTable& table, uint32_t entryCount,
                                     ForEachKey&& forEachKey) {
  table.Release();
  detail::KeyIds<Direct> keyIds;

  // First pass: every list's length and delta-coded size. `last` is the
  // entry last listed plus one, so that 0 means none yet. Counted posting by
  // posting: the counts of all lists stay in cache, so grouping by list (as
  // the second pass must, for its writes) would only cost here.
  struct Count {
    uint32_t last = 0;
    uint32_t count = 0;
    uint64_t deltaBytes = 0;
  };
  std::vector<Count> counts(1024);
  for (uint32_t i = 0; i < entryCount; ++i) {
    forEachKey(i, [&](uint64_t key, auto... slot) {
      const uint32_t id = keyIds.IdOf(key, slot...);
      if (id >= counts.size()) counts.resize(counts.size() * 2);
      Count& c = counts[id];
      if (c.last == i + 1) return;  // a repeat within one entry
      c.deltaBytes += detail::VarintBytes(i - (c.last == 0 ? 0 : c.last - 1));
      c.last = i + 1;
      ++c.count;
    });
  }

  const size_t idCount = keyIds.Keys().size();
  counts.resize(idCount);
  std::vector<uint64_t>& keys = keyIds.Keys();
  std::vector<uint32_t> order(idCount);
  for (uint32_t id = 0; id < idCount; ++id) order[id] = id;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });

  // Each list in its smallest form, at its place in key order.
  struct Fill {
    uint32_t last = 0;    // as in Count
    uint32_t at = 0;      // delta bytes written, or Elias-Fano entries
    uint32_t offset = 0;  // of the list in the table's data
    uint32_t lowBytes = 0;
    uint8_t form = PostingTable::kDeltas;
    uint8_t low = 0;
  };
  std::vector<Fill> fills(idCount);
  table.universe = entryCount;
  table.keys.resize(idCount);
  table.offsets.resize(idCount + 1);
  table.counts.resize(idCount);
  table.forms.resize(idCount);
  const size_t bitmapBytes = (size_t{entryCount} + 7) / 8;
  size_t total = 0;
  for (size_t n = 0; n < idCount; ++n) {
    const uint32_t id = order[n];
    const uint32_t count = counts[id].count;
    const size_t deltas = counts[id].deltaBytes;
    const size_t eliasFano = EliasFanoBytes(entryCount, count);
    const size_t smallest = std::min({deltas, eliasFano, bitmapBytes});
    const auto form = smallest == deltas      ? PostingTable::kDeltas
                      : smallest == eliasFano ? PostingTable::kEliasFano
                                              : PostingTable::kBitmap;
    if (total + smallest > std::numeric_limits<uint32_t>::max() - 8) return false;
    Fill& f = fills[id];
    f.offset = static_cast<uint32_t>(total);
    f.form = form;
    if (form == PostingTable::kEliasFano) {
      f.low = static_cast<uint8_t>(EliasFanoLowBits(entryCount, count));
      f.lowBytes = static_cast<uint32_t>(EliasFanoLowBytes(entryCount, count));
    }
    table.keys[n] = keys[id];
    table.counts[n] = count;
    table.forms[n] = form;
    table.offsets[n] = f.offset;
    total += smallest;
  }
  table.offsets[idCount] = static_cast<uint32_t>(total);
  std::vector<Count>().swap(counts);
  std::vector<uint32_t>().swap(order);
  table.data.assign(total, 0);

  // Second pass: the same keys, each entry written into its list.
  uint8_t* data = table.data.data();
  detail::ForEachListOfBlocks(
      keyIds, entryCount, forEachKey, [&](uint32_t id, const uint32_t* entries, uint32_t n) {
        // A copy, kept in registers: the list's bytes could alias the state.
        Fill f = fills[id];
        uint8_t* list = data + f.offset;
        const uint32_t* end = entries + n;
        if (f.form == PostingTable::kDeltas) {
          for (; entries != end; ++entries) {
            const uint32_t i = *entries;
            if (f.last == i + 1) continue;
            const uint32_t delta = i - (f.last == 0 ? 0 : f.last - 1);
            f.at = static_cast<uint32_t>(detail::PutVarint(list + f.at, delta) - list);
            f.last = i + 1;
          }
        } else if (f.form == PostingTable::kEliasFano) {
          for (; entries != end; ++entries) {
            const uint32_t i = *entries;
            if (f.last == i + 1) continue;
            detail::PutEliasFano(list, f.low, f.lowBytes, f.at++, i);
            f.last = i + 1;
          }
        } else {
          // A repeat sets its bit again.
          for (; entries != end; ++entries) list[*entries / 8] |= uint8_t(1u << (*entries % 8));
        }
        fills[id] = f;
      });
  return true;
}

template <class ForEachKey>
[[nodiscard]] bool BuildPostingTable(PostingTable& table, uint32_t entryCount,
                                     ForEachKey&& forEachKey) {
  return BuildPostingTable<NoDirectKeys>(table, entryCount, std::forward<ForEachKey>(forEachKey));
}

}  // namespace zw

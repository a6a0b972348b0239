// Posting lists of n-gram keys stored flat: the keys ascending, one byte offset
// per key, and every list in one byte array, in whichever of three forms is
// smallest for it: delta-coded variable-length integers (short lists),
// Elias-Fano (a fixed number of low bits per entry plus the high parts in
// unary: under a byte a posting for most lists), or a bitmap over the
// entries (lists that hold more than one entry in eight: 'e', '.', digits).
// That is what lets a million names keep their n-grams within budget.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zw {

struct PostingTable {
  enum Form : uint8_t { kDeltas, kBitmap, kEliasFano };

  std::vector<uint64_t> keys;     // ascending
  std::vector<uint32_t> offsets;  // keys.size() + 1 byte offsets into data
  std::vector<uint32_t> counts;   // number of entries in each list
  std::vector<uint8_t> forms;     // per key: how its list is stored
  std::vector<uint8_t> data;
  uint32_t universe = 0;  // entries the table was built over

  struct List {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    uint32_t count = 0;
    Form form = kDeltas;
    uint32_t universe = 0;
  };

  // The list of `key`; an empty list when the key never occurs.
  List Find(uint64_t key) const;
  // The lists of every key in [first, last], in key order.
  std::vector<List> FindRange(uint64_t first, uint64_t last) const;
  size_t Bytes() const;
  void Release();
};

// Low bits an Elias-Fano list of `count` entries below `universe` keeps per
// entry: floor(log2(universe / count)), 0 when count >= universe.
inline uint32_t EliasFanoLowBits(uint32_t universe, uint32_t count) {
  uint32_t low = 0;
  while (count != 0 && (uint64_t{count} << (low + 1)) <= universe) ++low;
  return low;
}

// Bytes of an Elias-Fano list: the low bits, then the unary high parts.
inline size_t EliasFanoLowBytes(uint32_t universe, uint32_t count) {
  return (size_t{count} * EliasFanoLowBits(universe, count) + 7) / 8;
}
inline size_t EliasFanoBytes(uint32_t universe, uint32_t count) {
  const uint32_t low = EliasFanoLowBits(universe, count);
  return EliasFanoLowBytes(universe, count) + (size_t{count} + (universe >> low) + 1 + 7) / 8;
}

// Writes `entries` (ascending, each below `universe`) as an Elias-Fano list
// of EliasFanoBytes() bytes at `out`, which holds zeros.
void EncodeEliasFano(const std::vector<uint32_t>& entries, uint32_t universe, uint8_t* out);

// Appends every entry number of `list` to `out`, ascending.
void DecodeList(PostingTable::List list, std::vector<uint32_t>& out);

// One bit for each entry of `list`, entry e at bit e % 64 of word e / 64,
// over the list's universe: membership without a search.
std::vector<uint64_t> ListBits(PostingTable::List list);

// Keeps in `running` (ascending) only the numbers that also occur in `list`.
void IntersectWith(std::vector<uint32_t>& running, PostingTable::List list);

// The entries in every one of `lists`, ascending; the shortest list is decoded
// and the others intersect it. Empty when there is no list.
std::vector<uint32_t> IntersectAll(std::vector<PostingTable::List> lists);

// The entries in any of `lists`, ascending, each once.
std::vector<uint32_t> UniteAll(const std::vector<PostingTable::List>& lists);

// Builds a table from (entry, key) pairs. `forEachKey(i, sink)` must call
// sink(key) for every key of entry i; repeats within one entry are dropped.
// Entries are visited in ascending order, so every list comes out ascending.
// Returns false when the lists would not fit 32-bit offsets.
template <class ForEachKey>
[[nodiscard]] bool BuildPostingTable(PostingTable& table, uint32_t entryCount,
                                     ForEachKey&& forEachKey);

}  // namespace zw

#include "search/posting_table_build.h"

// Posting lists of n-gram keys stored flat: the keys ascending, one byte offset
// per key, and every list as delta-coded variable-length integers in one byte
// array. About a quarter of the memory of plain 32-bit lists, which is what
// lets a million names keep their n-grams within budget. A list that holds
// more than one entry in eight ('e', '.', digits) is a bitmap instead: one
// bit an entry is less than a byte a posting, and faster to intersect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zw {

struct PostingTable {
  std::vector<uint64_t> keys;     // ascending
  std::vector<uint32_t> offsets;  // keys.size() + 1 byte offsets into data
  std::vector<uint32_t> counts;   // number of entries in each list
  std::vector<uint8_t> data;
  std::vector<bool> bitmaps;  // per key: its list is a bitmap over the entries

  struct List {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    uint32_t count = 0;
    bool bitmap = false;  // bit i of the bytes: entry i is listed
  };

  // The list of `key`; an empty list when the key never occurs.
  List Find(uint64_t key) const;
  size_t Bytes() const;
  void Release();
};

// Appends every entry number of `list` to `out`, ascending.
void DecodeList(PostingTable::List list, std::vector<uint32_t>& out);

// Keeps in `running` (ascending) only the numbers that also occur in `list`.
void IntersectWith(std::vector<uint32_t>& running, PostingTable::List list);

// Builds a table from (entry, key) pairs. `forEachKey(i, sink)` must call
// sink(key) for every key of entry i; repeats within one entry are dropped.
// Entries are visited in ascending order, so every list comes out ascending.
// Returns false when the lists would not fit 32-bit offsets.
template <class ForEachKey>
bool BuildPostingTable(PostingTable& table, uint32_t entryCount, ForEachKey&& forEachKey);

}  // namespace zw

#include "search/posting_table_build.h"

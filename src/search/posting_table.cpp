#include "search/posting_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zw {

PostingTable::List PostingTable::Find(uint64_t key) const {
  auto it = std::lower_bound(keys.begin(), keys.end(), key);
  if (it == keys.end() || *it != key) return {};
  const size_t n = static_cast<size_t>(it - keys.begin());
  return {data.data() + offsets[n], data.data() + offsets[n + 1], counts[n],
          n < bitmaps.size() && bitmaps[n]};
}

size_t PostingTable::Bytes() const {
  return keys.capacity() * sizeof(uint64_t) + offsets.capacity() * sizeof(uint32_t) +
         counts.capacity() * sizeof(uint32_t) + data.capacity() + bitmaps.capacity() / 8;
}

void PostingTable::Release() {
  std::vector<uint64_t>().swap(keys);
  std::vector<uint32_t>().swap(offsets);
  std::vector<uint32_t>().swap(counts);
  std::vector<uint8_t>().swap(data);
  std::vector<bool>().swap(bitmaps);
}

namespace {

// Reads one delta; the table is built by this program, but a truncated list
// must still end the walk rather than read past its end.
inline bool NextDelta(const uint8_t*& p, const uint8_t* end, uint32_t& value) {
  uint32_t v = 0;
  int shift = 0;
  while (p < end) {
    const uint8_t b = *p++;
    v |= static_cast<uint32_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) {
      value = v;
      return true;
    }
    shift += 7;
    if (shift > 28) return false;
  }
  return false;
}

}  // namespace

bool BitSet(PostingTable::List list, uint32_t entry) {
  const size_t byte = entry / 8;
  return byte < size_t(list.end - list.begin) && ((list.begin[byte] >> (entry % 8)) & 1) != 0;
}

void DecodeList(PostingTable::List list, std::vector<uint32_t>& out) {
  out.reserve(out.size() + list.count);
  if (list.bitmap) {
    const size_t bytes = size_t(list.end - list.begin);
    for (size_t at = 0; at < bytes; at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, list.begin + at, std::min<size_t>(8, bytes - at));  // little-endian
      while (word != 0) {
        out.push_back(uint32_t(at * 8 + size_t(std::countr_zero(word))));
        word &= word - 1;
      }
    }
    return;
  }
  uint32_t current = 0;
  uint32_t delta = 0;
  const uint8_t* p = list.begin;
  while (NextDelta(p, list.end, delta)) {
    current += delta;
    out.push_back(current);
  }
}

void IntersectWith(std::vector<uint32_t>& running, PostingTable::List list) {
  if (list.bitmap) {
    running.erase(std::remove_if(running.begin(), running.end(),
                                 [&](uint32_t e) { return !BitSet(list, e); }),
                  running.end());
    return;
  }
  size_t kept = 0;
  size_t r = 0;
  uint32_t current = 0;
  uint32_t delta = 0;
  const uint8_t* p = list.begin;
  while (r < running.size() && NextDelta(p, list.end, delta)) {
    current += delta;
    while (r < running.size() && running[r] < current) ++r;
    if (r < running.size() && running[r] == current) running[kept++] = running[r++];
  }
  running.resize(kept);
}

}  // namespace zw

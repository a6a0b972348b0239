#include "search/posting_table.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zw {

PostingTable::List PostingTable::Find(uint64_t key) const {
  auto it = std::lower_bound(keys.begin(), keys.end(), key);
  if (it == keys.end() || *it != key) return {};
  const size_t n = static_cast<size_t>(it - keys.begin());
  const Form form = n < forms.size() ? Form(forms[n]) : kDeltas;
  return {data.data() + offsets[n], data.data() + offsets[n + 1], counts[n], form, universe};
}

std::vector<PostingTable::List> PostingTable::FindRange(uint64_t first, uint64_t last) const {
  std::vector<List> lists;
  auto it = std::lower_bound(keys.begin(), keys.end(), first);
  for (; it != keys.end() && *it <= last; ++it) {
    const size_t n = static_cast<size_t>(it - keys.begin());
    const Form form = n < forms.size() ? Form(forms[n]) : kDeltas;
    lists.push_back(
        {data.data() + offsets[n], data.data() + offsets[n + 1], counts[n], form, universe});
  }
  return lists;
}

size_t PostingTable::Bytes() const {
  return keys.capacity() * sizeof(uint64_t) + offsets.capacity() * sizeof(uint32_t) +
         counts.capacity() * sizeof(uint32_t) + forms.capacity() + data.capacity();
}

void PostingTable::Release() {
  std::vector<uint64_t>().swap(keys);
  std::vector<uint32_t>().swap(offsets);
  std::vector<uint32_t>().swap(counts);
  std::vector<uint8_t>().swap(forms);
  std::vector<uint8_t>().swap(data);
  universe = 0;
}

void EncodeEliasFano(const std::vector<uint32_t>& entries, uint32_t universe, uint8_t* out) {
  const uint32_t count = static_cast<uint32_t>(entries.size());
  const uint32_t low = EliasFanoLowBits(universe, count);
  const size_t lowBytes = EliasFanoLowBytes(universe, count);
  for (uint32_t i = 0; i < count; ++i) detail::PutEliasFano(out, low, lowBytes, i, entries[i]);
}

namespace {

// The low part of an Elias-Fano list's entry `index`: `low` bits at bit
// index * low of the `lowBytes` bytes at `begin`.
uint64_t EliasFanoLowPart(const uint8_t* begin, size_t lowBytes, uint32_t index, uint32_t low) {
  if (low == 0) return 0;
  const size_t at = size_t{index} * low;
  const size_t from = at / 8;
  uint64_t part = 0;
  if (from + 8 <= lowBytes) {
    std::memcpy(&part, begin + from, 8);  // little-endian
  } else {
    for (size_t k = 0; from + k < lowBytes; ++k) part |= uint64_t{begin[from + k]} << (8 * k);
  }
  return (part >> (at % 8)) & ((uint64_t{1} << low) - 1);
}

// The entries of a delta-coded or Elias-Fano list, one at a time. The
// tables are built by this program, but a truncated list must still end the
// walk rather than read past its end.
class ListReader {
 public:
  explicit ListReader(PostingTable::List list) : list_(list), p_(list.begin) {
    if (list.form != PostingTable::kEliasFano) return;
    low_ = EliasFanoLowBits(list.universe, list.count);
    const size_t lowBytes = EliasFanoLowBytes(list.universe, list.count);
    if (lowBytes > size_t(list.end - list.begin)) {
      list_.count = 0;  // damaged: nothing to read
      return;
    }
    high_ = list.begin + lowBytes;
  }

  bool Next(uint32_t& value) {
    return list_.form == PostingTable::kEliasFano ? NextEliasFano(value) : NextDelta(value);
  }

 private:
  bool NextDelta(uint32_t& value) {
    uint32_t v = 0;
    int shift = 0;
    while (p_ < list_.end) {
      const uint8_t b = *p_++;
      v |= static_cast<uint32_t>(b & 0x7F) << shift;
      if ((b & 0x80) == 0) {
        current_ += v;
        value = current_;
        return true;
      }
      shift += 7;
      if (shift > 28) return false;
    }
    return false;
  }

  bool NextEliasFano(uint32_t& value) {
    if (index_ >= list_.count) return false;
    const size_t highBytes = size_t(list_.end - high_);
    size_t byte = bit_ / 8;
    if (byte >= highBytes) return false;
    uint32_t bits = uint32_t(high_[byte]) >> (bit_ % 8);
    while (bits == 0) {
      if (++byte >= highBytes) return false;
      bits = high_[byte];
      bit_ = byte * 8;
    }
    bit_ += size_t(std::countr_zero(bits));
    const uint64_t highPart = bit_ - index_;
    const uint64_t lowPart =
        EliasFanoLowPart(list_.begin, size_t(high_ - list_.begin), index_, low_);
    value = static_cast<uint32_t>((highPart << low_) | lowPart);
    ++index_;
    ++bit_;
    return true;
  }

  PostingTable::List list_;
  const uint8_t* p_;
  uint32_t current_ = 0;
  const uint8_t* high_ = nullptr;
  uint32_t low_ = 0;
  uint32_t index_ = 0;
  size_t bit_ = 0;
};

// Calls f(entry) for every entry of Elias-Fano `list`, ascending, taking the
// high parts a word at a time: far quicker than the reader over a long list.
template <class F>
void ForEachEliasFano(PostingTable::List list, F&& f) {
  const uint32_t low = EliasFanoLowBits(list.universe, list.count);
  const size_t lowBytes = EliasFanoLowBytes(list.universe, list.count);
  const size_t bytes = size_t(list.end - list.begin);
  if (lowBytes > bytes) return;  // damaged: nothing to read
  const uint8_t* high = list.begin + lowBytes;
  const size_t highBytes = bytes - lowBytes;
  uint32_t index = 0;
  for (size_t at = 0; at < highBytes && index < list.count; at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, high + at, std::min<size_t>(8, highBytes - at));  // little-endian
    for (; word != 0 && index < list.count; word &= word - 1, ++index) {
      const uint64_t highPart = at * 8 + size_t(std::countr_zero(word)) - index;
      const uint64_t lowPart = EliasFanoLowPart(list.begin, lowBytes, index, low);
      f(static_cast<uint32_t>(highPart << low | lowPart));
    }
  }
}

bool BitSet(PostingTable::List list, uint32_t entry) {
  const size_t byte = entry / 8;
  return byte < size_t(list.end - list.begin) && ((list.begin[byte] >> (entry % 8)) & 1) != 0;
}

// Calls f(entry) for every entry of `list`, ascending, in whichever form.
template <class F>
void ForEachEntry(PostingTable::List list, F&& f) {
  if (list.form == PostingTable::kBitmap) {
    const size_t bytes = size_t(list.end - list.begin);
    for (size_t at = 0; at < bytes; at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, list.begin + at, std::min<size_t>(8, bytes - at));  // little-endian
      for (; word != 0; word &= word - 1) f(uint32_t(at * 8 + size_t(std::countr_zero(word))));
    }
  } else if (list.form == PostingTable::kEliasFano) {
    ForEachEliasFano(list, f);
  } else {
    ListReader reader(list);
    for (uint32_t e = 0; reader.Next(e);) f(e);
  }
}

// Sets in `bits` (entry e at bit e % 64 of word e / 64) every entry of
// `list` that fits: a bitmap a word at a time.
void MarkBits(PostingTable::List list, std::vector<uint64_t>& bits) {
  if (list.form == PostingTable::kBitmap) {
    const size_t bytes = std::min(size_t(list.end - list.begin), bits.size() * 8);
    for (size_t at = 0; at < bytes; at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, list.begin + at, std::min<size_t>(8, bytes - at));  // little-endian
      bits[at / 8] |= word;
    }
    return;
  }
  ForEachEntry(list, [&](uint32_t e) {
    if (e / 64 < bits.size()) bits[e / 64] |= uint64_t{1} << (e % 64);
  });
}

}  // namespace

void DecodeList(PostingTable::List list, std::vector<uint32_t>& out) {
  out.reserve(out.size() + list.count);
  ForEachEntry(list, [&](uint32_t e) { out.push_back(e); });
}

std::vector<uint64_t> ListBits(PostingTable::List list) {
  std::vector<uint64_t> bits((size_t{list.universe} + 63) / 64, 0);
  MarkBits(list, bits);
  return bits;
}

void IntersectWith(std::vector<uint32_t>& running, PostingTable::List list) {
  if (list.form == PostingTable::kBitmap) {
    running.erase(std::remove_if(running.begin(), running.end(),
                                 [&](uint32_t e) { return !BitSet(list, e); }),
                  running.end());
    return;
  }
  size_t kept = 0;
  size_t r = 0;
  uint32_t current = 0;
  ListReader reader(list);
  while (r < running.size() && reader.Next(current)) {
    while (r < running.size() && running[r] < current) ++r;
    if (r < running.size() && running[r] == current) running[kept++] = running[r++];
  }
  running.resize(kept);
}

std::vector<uint32_t> IntersectAll(std::vector<PostingTable::List> lists) {
  std::vector<uint32_t> result;
  if (lists.empty()) return result;
  std::sort(
      lists.begin(), lists.end(),
      [](const PostingTable::List& a, const PostingTable::List& b) { return a.count < b.count; });
  DecodeList(lists[0], result);
  for (size_t k = 1; k < lists.size() && !result.empty(); ++k) IntersectWith(result, lists[k]);
  return result;
}

std::vector<uint32_t> UniteAll(const std::vector<PostingTable::List>& lists) {
  std::vector<uint32_t> result;
  size_t total = 0;
  uint32_t universe = 0;
  for (const PostingTable::List& list : lists) {
    total += list.count;
    universe = std::max(universe, list.universe);
  }
  // Many postings against the entries: marking bits beats sorting them.
  if (total * 1024 < universe || lists.size() == 1) {
    for (const PostingTable::List& list : lists) DecodeList(list, result);
    if (lists.size() > 1) {
      std::sort(result.begin(), result.end());
      result.erase(std::unique(result.begin(), result.end()), result.end());
    }
    return result;
  }
  // Each list straight into the bits.
  std::vector<uint64_t> bits((size_t{universe} + 63) / 64);
  for (const PostingTable::List& list : lists) MarkBits(list, bits);
  if (universe % 64 != 0) bits.back() &= (uint64_t{1} << (universe % 64)) - 1;
  result.reserve(total);
  for (size_t w = 0; w < bits.size(); ++w) {
    for (uint64_t word = bits[w]; word != 0; word &= word - 1) {
      result.push_back(static_cast<uint32_t>(w * 64 + size_t(std::countr_zero(word))));
    }
  }
  return result;
}

}  // namespace zw

#include "search/result_set.h"

#include <algorithm>

#include "search/name_index.h"
#include "search/type_filter.h"

namespace zw {

uint64_t ResultSet::Clear() {
  std::lock_guard hold(mutex_);
  entries_.clear();
  return ++generation_;
}

uint64_t ResultSet::ClearInto(std::vector<uint32_t>& previous) {
  std::lock_guard hold(mutex_);
  previous.swap(entries_);
  entries_.clear();
  return ++generation_;
}

void ResultSet::Replace(std::vector<uint32_t> entryNumbers) {
  std::lock_guard hold(mutex_);
  entries_ = std::move(entryNumbers);
}

void ResultSet::Append(std::span<const uint32_t> entryNumbers) {
  std::lock_guard hold(mutex_);
  entries_.insert(entries_.end(), entryNumbers.begin(), entryNumbers.end());
}

size_t ResultSet::Count() const {
  std::lock_guard hold(mutex_);
  return entries_.size();
}

uint32_t ResultSet::At(size_t row) const {
  std::lock_guard hold(mutex_);
  return row < entries_.size() ? entries_[row] : kNoEntry;
}

std::vector<uint32_t> ResultSet::Snapshot() const {
  std::lock_guard hold(mutex_);
  return entries_;
}

void ResultSet::KeepIf(const std::function<bool(uint32_t)>& predicate) {
  std::lock_guard hold(mutex_);
  std::erase_if(entries_, [&](uint32_t e) { return !predicate(e); });
}

namespace {

struct SortItem {
  uint32_t entry;
  bool folder;
  std::u16string text;
  uint64_t size;
  uint64_t modified;
};

int CompareTexts(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(*a) - static_cast<int>(*b);
}

int CompareItems(const SortItem& a, const SortItem& b, uint32_t column) {
  switch (column) {
    case kColumnName:
    case kColumnFolder:
      return CompareTexts(a.text.c_str(), b.text.c_str());
    case kColumnSize:
      return a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
    case kColumnDate:
      return a.modified < b.modified ? -1 : (a.modified > b.modified ? 1 : 0);
    default:
      return 0;
  }
}

void SortByItems(std::vector<uint32_t>& entries, const SortSpec& order, const EntryLookup& lookup) {
  std::vector<SortItem> items;
  items.reserve(entries.size());
  for (uint32_t n : entries) {
    SortItem item{n, false, {}, 0, 0};
    if (const std::optional<EntryRef> e = lookup(n)) {
      item.folder = e->isFolder();
      if (order.sortColumn == kColumnName) item.text = e->name();
      if (order.sortColumn == kColumnFolder) e->PathInto(item.text);
      if (order.sortColumn == kColumnSize) item.size = e->size();
      if (order.sortColumn == kColumnDate) item.modified = e->modificationTime();
    }
    items.push_back(std::move(item));
  }
  std::sort(items.begin(), items.end(), [&](const SortItem& a, const SortItem& b) {
    if (order.foldersFirst && a.folder != b.folder) return a.folder;
    const int cmp = CompareItems(a, b, order.sortColumn);
    return order.sortDescending ? cmp > 0 : cmp < 0;
  });
  for (size_t k = 0; k < items.size(); ++k) entries[k] = items[k].entry;
}

struct KeyedEntry {
  uint64_t key;
  uint32_t entry;
};

// LSD radix sort on the low `bits` bits of the keys; stable, so equal keys
// keep their order.
void RadixSort(std::vector<KeyedEntry>& items, int bits) {
  std::vector<KeyedEntry> buffer(items.size());
  constexpr int kDigit = 11;
  for (int shift = 0; shift < bits; shift += kDigit) {
    std::vector<size_t> count((size_t{1} << kDigit) + 1, 0);
    for (const KeyedEntry& it : items) ++count[((it.key >> shift) & ((1u << kDigit) - 1)) + 1];
    if (std::count(count.begin(), count.end(), items.size()) == 1) continue;  // one bucket
    for (size_t d = 1; d < count.size(); ++d) count[d] += count[d - 1];
    for (const KeyedEntry& it : items)
      buffer[count[(it.key >> shift) & ((1u << kDigit) - 1)]++] = it;
    items.swap(buffer);
  }
}

// Folders-first group in bit 32, the (possibly inverted) rank below.
void SortByRanks(std::vector<uint32_t>& entries, const SortSpec& order, const EntryStore& all,
                 const std::vector<uint32_t>& rank) {
  std::vector<KeyedEntry> items(entries.size());
  for (size_t k = 0; k < entries.size(); ++k) {
    const uint32_t n = entries[k];
    // A number past the end (left from before a new indexing run) has no
    // entry: it sorts as a file with the last rank.
    const bool known = n < all.size() && n < rank.size();
    const uint64_t group = (order.foldersFirst && !(known && all[n].isFolder())) ? 1 : 0;
    const uint32_t value = known ? rank[n] : UINT32_MAX;
    const uint32_t r = order.sortDescending ? ~value : value;
    items[k] = {group << 32 | r, n};
  }
  RadixSort(items, 33);
  for (size_t k = 0; k < items.size(); ++k) entries[k] = items[k].entry;
}

}  // namespace

void ResultSet::SortResults(const SortSpec& order, const EntryLookup& lookup) {
  std::lock_guard hold(mutex_);
  if (entries_.empty()) return;
  SortByItems(entries_, order, lookup);
}

void SortResults(ResultSet& results, const SortSpec& order, const NameIndex& index) {
  const EntryReadView indexHold(index.Guarded());
  std::lock_guard hold(results.mutex_);
  std::vector<uint32_t>& entries = results.entries_;
  if (entries.empty()) return;
  const bool byText = order.sortColumn == kColumnName || order.sortColumn == kColumnFolder;
  if (byText && index.Attached(indexHold)) {
    SortByRanks(entries, order, indexHold.entries(),
                EntryRanks(index, indexHold, order.sortColumn));
  } else {
    SortByItems(entries, order, [&](uint32_t n) { return LookupEntry(indexHold, n); });
  }
}

void FilterResults(ResultSet& results, const GuardedEntries& entries,
                   const TypeFilterState& state) {
  const EntryReadView indexHold(entries);
  results.KeepIf([&](uint32_t n) { return TypeFilter(indexHold, n, state); });
}

std::vector<uint32_t> AllPassing(const GuardedEntries& entries, const TypeFilterState& state) {
  const EntryReadView indexHold(entries);
  std::vector<uint32_t> out;
  const uint32_t n = static_cast<uint32_t>(indexHold.entries().size());
  for (uint32_t i = 0; i < n; ++i) {
    if (TypeFilter(indexHold, i, state)) out.push_back(i);
  }
  return out;
}

}  // namespace zw

#include "search/result_set.h"

#include <algorithm>
#include <bit>
#include <string>

#include "search/name_index.h"
#include "search/type_filter.h"

namespace zw {

uint64_t ResultSet::Clear() {
  std::lock_guard hold(mutex_);
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

uint64_t ResultSet::Numbering() const {
  std::lock_guard hold(mutex_);
  return numbering_;
}

bool ResultSet::RestartIfRenumbered(uint64_t generation, uint64_t& numbering) {
  std::lock_guard hold(mutex_);
  if (generation != generation_ || numbering == numbering_) return false;
  entries_.clear();
  numbering = numbering_;
  return true;
}

void ResultSet::Renumber(const std::vector<uint32_t>& oldToNew, uint32_t count) {
  auto map = [&](uint32_t& n) { n = n < oldToNew.size() ? oldToNew[n] : kNoEntry; };
  std::lock_guard hold(mutex_);
  std::for_each(entries_.begin(), entries_.end(), map);
  std::for_each(kept_.begin(), kept_.end(), map);
  std::erase(kept_, kNoEntry);
  // The first entry not seen yet, or the end: numbers keep their order.
  uint64_t seen = count;
  for (uint64_t i = seen_; i < oldToNew.size(); ++i) {
    if (oldToNew[i] != kNoEntry) {
      seen = oldToNew[i];
      break;
    }
  }
  seen_ = std::min<uint64_t>(seen, count);
  ++numbering_;
}

uint64_t ResultSet::SeenEntries() const {
  std::lock_guard hold(mutex_);
  return seen_;
}

void ResultSet::SetSeenEntries(uint64_t count) {
  std::lock_guard hold(mutex_);
  seen_ = count;
}

uint64_t ResultSet::ClearKeeping() {
  std::lock_guard hold(mutex_);
  kept_.swap(entries_);
  entries_.clear();
  return ++generation_;
}

void ResultSet::RestoreKept() {
  std::lock_guard hold(mutex_);
  entries_ = std::move(kept_);
  kept_.clear();
}

void ResultSet::DropKept() {
  std::lock_guard hold(mutex_);
  std::vector<uint32_t>().swap(kept_);
}

void ResultSet::KeepIf(const std::function<bool(uint32_t)>& predicate) {
  std::lock_guard hold(mutex_);
  std::erase_if(entries_, [&](uint32_t e) { return !predicate(e); });
}

namespace {

// Entries alike in the sort key follow in path order, paths alike by drive,
// then by entry number; descending reverses the whole order, these included.
// Fixed so that the same search lists the same way every time.

// The path ranks, which order equal paths by drive and number already.
using PathRanksSource = std::function<const PackedUints&()>;

// Results lie far apart in the store: a pass that reads each one's record
// asks for the record some results ahead.
void RecordAhead(const EntryStore& all, const std::vector<uint32_t>& entries, size_t k) {
  constexpr size_t kAhead = 16;
  if (k + kAhead < entries.size() && entries[k + kAhead] < all.size()) {
    __builtin_prefetch(&all.Record(entries[k + kAhead]));
  }
}

// Path rank above, entry number below: one integer compared per step.
uint64_t PathKey(const PackedUints& rank, uint32_t n) {
  const uint64_t r = n < rank.size() ? rank[n] : UINT32_MAX;
  return r << 32 | n;
}

// The runs [first, last) of neighbours that `alike` pairs.
template <class Alike>
std::vector<std::pair<size_t, size_t>> TieRuns(size_t count, Alike&& alike) {
  std::vector<std::pair<size_t, size_t>> runs;
  for (size_t k = 0; k < count;) {
    size_t e = k + 1;
    while (e < count && alike(e - 1, e)) ++e;
    if (e - k > 1) runs.emplace_back(k, e);
    k = e;
  }
  return runs;
}

template <class It, class Less>
void SortRun(It first, It last, bool descending, Less&& less) {
  if (descending) {
    std::sort(first, last, [&](const auto& a, const auto& b) { return less(b, a); });
  } else {
    std::sort(first, last, less);
  }
}

struct SortItem {
  uint32_t entry;
  bool known;  // the lookup found it
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

// Ties in path order by `rankedPaths` when given (it is asked for only when
// there is a tie, as making it may cost), else by paths built for the ties.
void SortByItems(std::vector<uint32_t>& entries, const SortSpec& order, const EntryLookup& lookup,
                 const PathRanksSource& rankedPaths) {
  std::vector<SortItem> items;
  items.reserve(entries.size());
  for (uint32_t n : entries) {
    SortItem item{n, false, false, {}, 0, 0};
    if (const std::optional<EntryRef> e = lookup(n)) {
      item.known = true;
      item.folder = e->isFolder();
      if (order.sortColumn == kColumnName) e->name().AssignTo(item.text);
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
  const auto runs = TieRuns(items.size(), [&](size_t a, size_t b) {
    return (!order.foldersFirst || items[a].folder == items[b].folder) &&
           CompareItems(items[a], items[b], order.sortColumn) == 0;
  });
  const PackedUints* pathRanks = runs.empty() || !rankedPaths ? nullptr : &rankedPaths();
  for (const auto& [first, last] : runs) {
    const auto begin = items.begin() + std::ptrdiff_t(first);
    const auto end = items.begin() + std::ptrdiff_t(last);
    if (pathRanks) {
      // The runs are known, so the size field is free to carry the path key.
      for (auto it = begin; it != end; ++it) it->size = PathKey(*pathRanks, it->entry);
      SortRun(begin, end, order.sortDescending,
              [](const SortItem& a, const SortItem& b) { return a.size < b.size; });
      continue;
    }
    // Drive above, entry number below, in the freed size field.
    for (auto it = begin; it != end; ++it) {
      const std::optional<EntryRef> e = it->known ? lookup(it->entry) : std::nullopt;
      if (e && order.sortColumn != kColumnFolder) e->PathInto(it->text);
      it->size = uint64_t(e ? e->drive() : 0) << 32 | it->entry;
    }
    SortRun(begin, end, order.sortDescending, [&](const SortItem& a, const SortItem& b) {
      const int c = a.text.compare(b.text);
      return c != 0 ? c < 0 : a.size < b.size;
    });
  }
  for (size_t k = 0; k < items.size(); ++k) entries[k] = items[k].entry;
}

// LSD radix sort of the values on their bits [from, from + bits); stable, so
// equal keys keep their order. Keys of up to 26 bits (ten million ranks and
// a group) take two passes, with counts that still fit a core's cache.
void RadixSort(std::vector<uint64_t>& items, int from, int bits) {
  std::vector<uint64_t> buffer(items.size());
  const int digit = bits <= 26 ? std::max(1, (bits + 1) / 2) : 11;
  const uint64_t mask = (uint64_t{1} << digit) - 1;
  std::vector<size_t> count(size_t(mask) + 2);
  for (int shift = from; shift < from + bits; shift += digit) {
    std::fill(count.begin(), count.end(), 0);
    for (const uint64_t it : items) ++count[((it >> shift) & mask) + 1];
    if (std::count(count.begin(), count.end(), items.size()) == 1) continue;  // one bucket
    for (size_t d = 1; d < count.size(); ++d) count[d] += count[d - 1];
    for (const uint64_t it : items) buffer[count[(it >> shift) & mask]++] = it;
    items.swap(buffer);
  }
}

// The (possibly inverted) rank in as few bits as the ranks need, the
// folders-first group above it; sorted with the entry number in the same
// eight bytes, so that each pass moves half as much as key and entry apart.
void SortByRanks(std::vector<uint32_t>& entries, const SortSpec& order, const EntryStore& all,
                 const PackedUints& rank) {
  const int width = std::bit_width(rank.size());
  const auto last = static_cast<uint32_t>((uint64_t{1} << width) - 1);  // above every rank
  const auto keyOf = [&](uint32_t n) {
    // A number past the end (left from before a new indexing run) has no
    // entry: it sorts as a file with the last rank.
    const bool known = n < all.size() && n < rank.size();
    const uint64_t group = (order.foldersFirst && !(known && all[n].isFolder())) ? 1 : 0;
    const uint32_t value = known ? std::min<uint32_t>(rank[n], last) : last;
    return group << width | (order.sortDescending ? last - value : value);
  };
  if (width > 31) {  // 2^31 entries and more: a key no longer fits beside an entry
    std::stable_sort(entries.begin(), entries.end(),
                     [&](uint32_t a, uint32_t b) { return keyOf(a) < keyOf(b); });
    return;
  }
  std::vector<uint64_t> items(entries.size());
  for (size_t k = 0; k < entries.size(); ++k) {
    if (order.foldersFirst) RecordAhead(all, entries, k);  // else no record is read
    items[k] = keyOf(entries[k]) << 32 | entries[k];
  }
  RadixSort(items, 32, width + 1);
  for (size_t k = 0; k < items.size(); ++k) entries[k] = static_cast<uint32_t>(items[k]);
}

}  // namespace

void ResultSet::SortResults(const SortSpec& order, const EntryLookup& lookup) {
  std::lock_guard hold(mutex_);
  if (entries_.empty()) return;
  SortByItems(entries_, order, lookup, {});
}

void SortResults(ResultSet& results, const SortSpec& order, const NameIndex& index) {
  const EntryReadView indexHold(index.Guarded());
  std::lock_guard hold(results.mutex_);
  std::vector<uint32_t>& entries = results.entries_;
  if (entries.empty()) return;
  const bool ranked = index.Attached(indexHold);
  const bool byText = order.sortColumn == kColumnName || order.sortColumn == kColumnFolder;
  if (!byText || !ranked) {
    PathRanksSource rankedPaths;
    if (ranked) {
      rankedPaths = [&]() -> const PackedUints& {
        return EntryRanks(index, indexHold, kColumnFolder);
      };
    }
    SortByItems(
        entries, order, [&](uint32_t n) { return LookupEntry(indexHold, n); }, rankedPaths);
    return;
  }
  // Both rank arrays are one order: equal names by path, equal paths by
  // drive, then by entry number.
  SortByRanks(entries, order, indexHold.entries(), EntryRanks(index, indexHold, order.sortColumn));
}

void FilterResults(ResultSet& results, const GuardedEntries& entries,
                   const TypeFilterState& state) {
  const EntryReadView indexHold(entries);
  std::lock_guard hold(results.mutex_);
  std::vector<uint32_t>& found = results.entries_;
  size_t kept = 0;
  for (size_t k = 0; k < found.size(); ++k) {
    RecordAhead(indexHold.entries(), found, k);
    if (TypeFilter(indexHold, found[k], state)) found[kept++] = found[k];
  }
  found.resize(kept);
}

namespace {

std::vector<uint32_t> AllPassingIn(const EntryAccess& hold, const TypeFilterState& state) {
  std::vector<uint32_t> out;
  const uint32_t n = static_cast<uint32_t>(hold.entries().size());
  for (uint32_t i = 0; i < n; ++i) {
    if (TypeFilter(hold, i, state)) out.push_back(i);
  }
  return out;
}

}  // namespace

std::vector<uint32_t> AllPassing(const GuardedEntries& entries, const TypeFilterState& state) {
  const EntryReadView indexHold(entries);
  return AllPassingIn(indexHold, state);
}

size_t AppendAllPassing(ResultSet& results, const GuardedEntries& entries,
                        const TypeFilterState& state) {
  const EntryReadView indexHold(entries);
  const std::vector<uint32_t> out = AllPassingIn(indexHold, state);
  results.Append(out);
  results.SetSeenEntries(indexHold.entries().size());
  return out.size();
}

}  // namespace zw

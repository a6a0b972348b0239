#include "search/name_index.h"

#include <algorithm>
#include <bit>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/columns.h"
#include "search/path_order.h"
#include "search/string_order.h"

namespace zw {

namespace {

// Changes beyond which a writer folds them in by a rebuild, at the least.
constexpr size_t kMinDeltaLimit = 65536;

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// The entry texts the index reads, in one place.
std::u16string_view FoldedName(EntryRef e) {
  return e.lowerName();
}
std::u16string_view FoldedExtension(EntryRef e) {
  return e.lowerExtension();
}
std::u16string_view ShownName(EntryRef e) {
  return e.name();
}
bool IsDeleted(EntryRef e) {
  return e.isDeleted();
}

void BuildExtensionLists(NameTables& tables, const EntryStore& entries) {
  const uint32_t n = static_cast<uint32_t>(entries.size());
  constexpr uint32_t kNone = UINT32_MAX;  // no extension
  std::vector<uint32_t> idOf(n, kNone);
  for (uint32_t i = 0; i < n; ++i) {
    const std::u16string_view x = FoldedExtension(entries[i]);
    // A deleted entry keeps its extension, but no search may find it.
    if (x.empty() || IsDeleted(entries[i])) continue;
    const uint32_t next = static_cast<uint32_t>(tables.extensionIds.size());
    idOf[i] = tables.extensionIds.try_emplace(std::u16string(x), next).first->second;
  }
  BuildPostingTable(tables.extensionLists, n, [&](uint32_t i, auto&& sink) {
    if (idOf[i] != kNone) sink(idOf[i]);
  });
}

// One n-gram table of order 1, 2 or 3 over the folded names. Unigrams are
// distinct per name by the table's own rule (repeats within an entry drop).
bool BuildNgramTable(PostingTable& table, const EntryStore& entries, int order) {
  const uint32_t n = static_cast<uint32_t>(entries.size());
  if (order == 1) {
    return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
      for (char16_t c : FoldedName(entries[i])) sink(c);
    });
  }
  if (order == 2) {
    return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
      const std::u16string_view f = FoldedName(entries[i]);
      for (size_t j = 1; j < f.size(); ++j) sink(uint64_t{f[j - 1]} << 16 | f[j]);
    });
  }
  return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
    const std::u16string_view f = FoldedName(entries[i]);
    for (size_t j = 2; j < f.size(); ++j) {
      sink(uint64_t{f[j - 2]} << 32 | uint64_t{f[j - 1]} << 16 | f[j]);
    }
  });
}

// Positions in the name order, ascending by name read backwards.
std::vector<uint32_t> SuffixOrder(const EntryStore& entries,
                                  const std::vector<uint32_t>& nameOrder) {
  return OrderByText<true>(nameOrder.size(),
                           [&](uint32_t pos) { return FoldedName(entries[nameOrder[pos]]); });
}

// The ranks as the tables were built, for the entries they describe.
void ResetRanks(NameIndex& index) {
  std::lock_guard hold(index.ranks.mutex);
  Release(index.ranks.nameMoved);
  Release(index.ranks.pathMoved);
  index.ranks.nameCount = index.nameRanks.size() == index.builtCount ? index.builtCount : 0;
  index.ranks.pathCount = index.pathRanks.size() == index.builtCount ? index.builtCount : 0;
}

void DropRanks(NameIndex& index) {
  std::lock_guard hold(index.ranks.mutex);
  Release(index.nameRanks);
  Release(index.pathRanks);
  Release(index.ranks.nameMoved);
  Release(index.ranks.pathMoved);
  index.ranks.nameCount = 0;
  index.ranks.pathCount = 0;
}

// Entries whose text changed, beyond which ordering them all again is cheaper
// than placing each.
size_t MovedLimit(size_t count) {
  return count / 8 + 64;
}

void NoteMoved(std::vector<uint32_t>& rank, size_t& count, std::vector<uint32_t>& moved,
               uint32_t n) {
  if (n >= count) return;  // unranked: placed as an appended one
  moved.push_back(n);
  if (moved.size() > MovedLimit(count)) {
    Release(rank);
    Release(moved);
    count = 0;
  }
}

// Brings one rank array up to date: the entries whose text stayed keep their
// order, the changed and the appended ones are placed among them by binary
// search. False when it is not worth it.
template <class Less>
bool UpdateRanks(const EntryStore& entries, Less&& less, std::vector<uint32_t>& rank, size_t count,
                 std::vector<uint32_t>& moved) {
  const size_t n = entries.size();
  if (count == 0 || count > n || rank.size() != count) return false;
  for (size_t e = count; e < n; ++e) moved.push_back(static_cast<uint32_t>(e));
  std::sort(moved.begin(), moved.end());
  moved.erase(std::unique(moved.begin(), moved.end()), moved.end());
  if (moved.size() > MovedLimit(n)) return false;
  std::vector<bool> isMoved(count, false);
  for (uint32_t m : moved) {
    if (m < count) isMoved[m] = true;
  }
  std::vector<uint32_t> order(count);
  for (uint32_t e = 0; e < count; ++e) order[rank[e]] = e;
  std::erase_if(order, [&](uint32_t e) { return isMoved[e]; });
  std::sort(moved.begin(), moved.end(), less);
  std::vector<uint32_t> merged;
  merged.reserve(n);
  auto kept = order.begin();
  for (uint32_t m : moved) {
    const auto at = std::upper_bound(kept, order.end(), m, less);
    merged.insert(merged.end(), kept, at);
    merged.push_back(m);
    kept = at;
  }
  merged.insert(merged.end(), kept, order.end());
  rank = RanksOf(merged);
  return true;
}

bool HasExtension(EntryRef e, std::u16string_view x) {
  return !IsDeleted(e) && !FoldedExtension(e).empty() && FoldedExtension(e) == x;
}

uint32_t EntryCount(const NameIndex& index) {
  return index.entries ? static_cast<uint32_t>(index.entries->size()) : 0;
}

bool IsChanged(const NameIndex& index, uint32_t e) {
  const size_t word = e >> 6;
  return word < index.changedBits.size() && (index.changedBits[word] >> (e & 63) & 1) != 0;
}

// The folded name the tables placed `e` by.
std::u16string_view BuiltName(const NameIndex& index, uint32_t e) {
  if (IsChanged(index, e)) return index.builtNames.find(e)->second;
  return FoldedName((*index.entries)[e]);
}

void DropChanged(const NameIndex& index, std::vector<uint32_t>& result) {
  if (index.builtNames.empty()) return;
  std::erase_if(result, [&](uint32_t e) { return IsChanged(index, e); });
}

// The entries the tables do not describe as they stand (changed ones, then
// those appended since the build) that pass `keep`, ascending. Caller holds
// `lock` shared and the index is attached.
template <class Keep>
std::vector<uint32_t> DeltaMatches(const NameIndex& index, Keep&& keep) {
  const auto& entries = *index.entries;
  std::vector<uint32_t> found;
  for (size_t word = 0; word < index.changedBits.size(); ++word) {
    for (uint64_t bits = index.changedBits[word]; bits != 0; bits &= bits - 1) {
      const auto e = static_cast<uint32_t>(word * 64 + size_t(std::countr_zero(bits)));
      if (keep(entries[e])) found.push_back(e);
    }
  }
  const uint32_t n = EntryCount(index);
  for (uint32_t e = std::min(index.builtCount, n); e < n; ++e) {
    if (keep(entries[e])) found.push_back(e);
  }
  return found;
}

// Both ascending by entry number.
void MergeAscending(std::vector<uint32_t>& result, const std::vector<uint32_t>& delta) {
  if (delta.empty()) return;
  const auto middle = static_cast<std::ptrdiff_t>(result.size());
  result.insert(result.end(), delta.begin(), delta.end());
  std::inplace_merge(result.begin(), result.begin() + middle, result.end());
}

// `result` in name order, `delta` ascending by number; equal names keep the
// built ones first.
void MergeByName(const NameIndex& index, std::vector<uint32_t>& result,
                 std::vector<uint32_t> delta) {
  if (delta.empty()) return;
  const auto& entries = *index.entries;
  auto byName = [&](uint32_t a, uint32_t b) {
    return FoldedName(entries[a]) < FoldedName(entries[b]);
  };
  std::stable_sort(delta.begin(), delta.end(), byName);
  const auto middle = static_cast<std::ptrdiff_t>(result.size());
  result.insert(result.end(), delta.begin(), delta.end());
  std::inplace_merge(result.begin(), result.begin() + middle, result.end(), byName);
}

// Appends every entry in [first, last) whose name contains `p`. Caller holds
// `lock` shared. Reads names as they stand, so it needs no delta.
void ScanNames(const NameIndex& index, std::u16string_view p, uint32_t first, uint32_t last,
               std::vector<uint32_t>& result) {
  const auto& entries = *index.entries;
  for (uint32_t i = first; i < last; ++i) {
    if (FindSubstring(FoldedName(entries[i]), p) != kNotFound) result.push_back(i);
  }
}

// Entries scanned per hold of the lock by the linear scan: a writer waits for
// one piece, not for a scan of a million names.
constexpr uint32_t kLinearScanPiece = 16384;

// ScanNames over every entry, a piece at a time, each under the lock shared.
// Entries appended meanwhile are scanned too; the scan ends if the entries
// are detached.
std::vector<uint32_t> ContainsScan(const NameIndex& index, std::u16string_view p) {
  std::vector<uint32_t> result;
  for (uint32_t i = 0;;) {
    std::shared_lock hold(index.lock);
    if (!index.entries) return result;
    const uint32_t end = std::min(EntryCount(index), i + kLinearScanPiece);
    if (i >= end) return result;
    ScanNames(index, p, i, end, result);
    i = end;
  }
}

// Walks the name order from the first name not less than `p` and stops at the
// first name that does not begin with it, both by the names as built; takes
// only entries that kept their name.
template <class Take>
void PrefixWalk(const NameIndex& index, std::u16string_view p, Take&& take) {
  const uint32_t n = EntryCount(index);
  auto it = std::lower_bound(
      index.nameOrder.begin(), index.nameOrder.end(), p,
      [&](uint32_t e, std::u16string_view v) { return e < n && BuiltName(index, e) < v; });
  for (; it != index.nameOrder.end(); ++it) {
    if (*it >= n || !BuiltName(index, *it).starts_with(p)) break;
    if (!IsChanged(index, *it)) take(*it);
  }
}

// The built entries that kept their name and whose name ends in `tail`, in
// name order: the run of the suffix order that ends in it, by the names as
// built, turned back into name-order positions.
std::vector<uint32_t> SuffixWalk(const NameIndex& index, std::u16string_view tail) {
  const uint32_t n = EntryCount(index);
  const auto& order = index.nameOrder;
  auto nameAt = [&](uint32_t pos) { return BuiltName(index, order[pos]); };
  // Both ends by binary search, so only the names at the probes are read.
  const auto first = std::partition_point(
      index.suffixOrder.begin(), index.suffixOrder.end(),
      [&](uint32_t pos) { return order[pos] < n && BackwardsLess(nameAt(pos), tail); });
  const auto last = std::partition_point(first, index.suffixOrder.end(), [&](uint32_t pos) {
    return order[pos] < n && nameAt(pos).ends_with(tail);
  });
  std::vector<uint32_t> positions;
  positions.reserve(static_cast<size_t>(last - first));
  for (auto it = first; it != last; ++it) {
    if (!IsChanged(index, order[*it])) positions.push_back(*it);
  }
  if (positions.size() > order.size() / 128) {
    // Many positions: one pass over a bit per position beats sorting them.
    std::vector<uint64_t> bits((order.size() + 63) / 64, 0);
    for (uint32_t pos : positions) bits[pos >> 6] |= uint64_t{1} << (pos & 63);
    positions.clear();
    for (size_t word = 0; word < bits.size(); ++word) {
      for (uint64_t b = bits[word]; b != 0; b &= b - 1) {
        positions.push_back(static_cast<uint32_t>(word * 64 + size_t(std::countr_zero(b))));
      }
    }
  } else {
    std::sort(positions.begin(), positions.end());
  }
  for (uint32_t& pos : positions) pos = order[pos];
  return positions;
}

std::vector<uint32_t> ExtensionLookupLocked(const NameIndex& index, std::u16string_view x) {
  if (!index.entries || x.empty()) return {};
  std::vector<uint32_t> result;
  auto it = index.extensionIds.find(std::u16string(x));
  if (it != index.extensionIds.end()) {
    DecodeList(index.extensionLists.Find(it->second), result);
  }
  DropChanged(index, result);
  MergeAscending(result, DeltaMatches(index, [&](EntryRef e) { return HasExtension(e, x); }));
  return result;
}

void KeepWithExtension(const NameIndex& index, std::vector<uint32_t>& result,
                       std::u16string_view x) {
  std::vector<uint32_t> withExt = ExtensionLookup(index, x);  // ascending already
  std::erase_if(result,
                [&](uint32_t e) { return !std::binary_search(withExt.begin(), withExt.end(), e); });
}

}  // namespace

std::vector<uint32_t> NameRanks(const EntryStore& entries) {
  return RanksOf(OrderByText(entries.size(), [&](uint32_t i) { return ShownName(entries[i]); }));
}

std::vector<uint32_t> PathRanks(const EntryStore& entries) {
  if (auto order = TreePathOrder(entries)) return RanksOf(*order);
  return PathRanksByText(entries);
}

std::vector<uint32_t> PathRanksByText(const EntryStore& entries) {
  // Paths are built once into one buffer: the sort reads each many times.
  std::vector<char16_t> text;
  text.reserve(entries.size() * 64);
  std::vector<size_t> start(entries.size() + 1, 0);
  std::u16string path;
  PathBuilder paths(entries);
  for (size_t i = 0; i < entries.size(); ++i) {
    paths.PathInto(uint32_t(i), path);
    text.insert(text.end(), path.begin(), path.end());
    start[i + 1] = text.size();
  }
  return RanksOf(OrderByText(entries.size(), [&](uint32_t i) {
    return std::u16string_view(text.data() + start[i], start[i + 1] - start[i]);
  }));
}

NameTables BuildNameTables(const EntryStore& entries, bool ngrams) {
  NameTables tables;
  tables.builtCount = static_cast<uint32_t>(entries.size());
  tables.ngramEnabled = ngrams;
  tables.deltaLimit = std::max<size_t>(kMinDeltaLimit, entries.size() / 16);
  if (entries.empty()) return tables;

  // Two halves of roughly equal work, side by side on a small machine: the
  // name and suffix orders, the extensions and the bigrams on a helper
  // thread, the ranks and the other n-grams here.
  bool bigramsOk = true;
  auto helperWork = [&]() {
    tables.nameOrder =
        OrderByText(entries.size(), [&](uint32_t i) { return FoldedName(entries[i]); });
    tables.suffixOrder = SuffixOrder(entries, tables.nameOrder);
    BuildExtensionLists(tables, entries);
    if (ngrams) bigramsOk = BuildNgramTable(tables.bigramLists, entries, 2);
  };
  std::exception_ptr helperFailure;
  std::thread helper;
  try {
    helper = std::thread([&]() noexcept {
      try {
        helperWork();
      } catch (...) {
        helperFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    helperWork();  // no second thread to be had
  }
  std::exception_ptr failure;
  bool ngramsOk = true;
  try {
    tables.nameRanks = NameRanks(entries);
    tables.pathRanks = PathRanks(entries);
    if (ngrams) {
      ngramsOk = BuildNgramTable(tables.unigramLists, entries, 1) &&
                 BuildNgramTable(tables.trigramLists, entries, 3);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (helper.joinable()) helper.join();
  if (helperFailure || failure) std::rethrow_exception(failure ? failure : helperFailure);
  if (ngrams && !(ngramsOk && bigramsOk)) {
    // Too large for 32-bit offsets: answer by linear scans instead.
    tables.unigramLists.Release();
    tables.bigramLists.Release();
    tables.trigramLists.Release();
    tables.ngramEnabled = false;
  }
  return tables;
}

void SwapNameTables(NameIndex& index, const EntryStore* entries, NameTables& tables) {
  std::swap(static_cast<NameTables&>(index), tables);
  index.entries = entries;
  ResetRanks(index);
}

void ClearNameIndex(NameIndex& index) {
  NameTables none;
  std::swap(static_cast<NameTables&>(index), none);
  index.entries = nullptr;
  DropRanks(index);
}

void NoteNameChange(NameIndex& index, uint32_t n) {
  {
    NameIndex::RankCache& r = index.ranks;
    std::lock_guard hold(r.mutex);
    NoteMoved(index.nameRanks, r.nameCount, r.nameMoved, n);
    NoteMoved(index.pathRanks, r.pathCount, r.pathMoved, n);
  }
  if (!index.entries || n >= index.builtCount || n >= index.entries->size()) return;
  if (IsChanged(index, n)) return;  // placed by the name it was built with, not the last one
  if (index.changedBits.empty()) index.changedBits.resize((size_t(index.builtCount) + 63) / 64);
  index.builtNames.emplace(n, FoldedName((*index.entries)[n]));
  index.changedBits[n >> 6] |= uint64_t{1} << (n & 63);
}

void NotePathChange(NameIndex& index, uint32_t n) {
  NameIndex::RankCache& r = index.ranks;
  std::lock_guard hold(r.mutex);
  NoteMoved(index.pathRanks, r.pathCount, r.pathMoved, n);
}

void NotePathsBelowChanged(NameIndex& index) {
  NameIndex::RankCache& r = index.ranks;
  std::lock_guard hold(r.mutex);
  Release(index.pathRanks);
  Release(r.pathMoved);
  r.pathCount = 0;
}

void NoteEntriesChanged(NameIndex& index) {
  DropRanks(index);
}

size_t NameIndexDelta(const NameIndex& index) {
  const uint32_t n = EntryCount(index);
  return index.builtNames.size() + (n > index.builtCount ? n - index.builtCount : 0);
}

bool NameIndexWantsRebuild(const NameIndex& index) {
  return index.entries != nullptr && NameIndexDelta(index) > index.deltaLimit;
}

const std::vector<uint32_t>& EntryRanks(const NameIndex& index, uint32_t column) {
  NameIndex::RankCache& cache = index.ranks;
  std::lock_guard hold(cache.mutex);
  const bool byName = column == kColumnName;
  std::vector<uint32_t>& rank = byName ? index.nameRanks : index.pathRanks;
  size_t& count = byName ? cache.nameCount : cache.pathCount;
  std::vector<uint32_t>& moved = byName ? cache.nameMoved : cache.pathMoved;
  const size_t n = index.entries ? index.entries->size() : 0;
  if (count == n && moved.empty()) return rank;
  bool updated = false;
  if (index.entries) {
    const EntryStore& entries = *index.entries;
    if (byName) {
      updated = UpdateRanks(
          entries,
          [&](uint32_t a, uint32_t b) { return ShownName(entries[a]) < ShownName(entries[b]); },
          rank, count, moved);
    } else {
      std::u16string pa, pb;
      updated = UpdateRanks(
          entries,
          [&](uint32_t a, uint32_t b) {
            entries[a].PathInto(pa);
            entries[b].PathInto(pb);
            return pa < pb;
          },
          rank, count, moved);
    }
  }
  if (!index.entries) {
    rank.clear();
  } else if (!updated) {
    rank = byName ? NameRanks(*index.entries) : PathRanks(*index.entries);
  }
  moved.clear();
  count = n;
  return rank;
}

std::vector<uint32_t> PrefixLookup(const NameIndex& index, std::u16string_view p) {
  std::shared_lock hold(index.lock);
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  PrefixWalk(index, p, [&](uint32_t e) { result.push_back(e); });
  MergeByName(index, result,
              DeltaMatches(index, [&](EntryRef e) { return FoldedName(e).starts_with(p); }));
  return result;
}

std::vector<uint32_t> PrefixExtensionLookup(const NameIndex& index, std::u16string_view p,
                                            std::u16string_view x) {
  std::shared_lock hold(index.lock);
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  const auto& entries = *index.entries;
  auto matches = [&](EntryRef e) { return FoldedName(e).starts_with(p) && HasExtension(e, x); };
  PrefixWalk(index, p, [&](uint32_t e) {
    if (matches(entries[e])) result.push_back(e);
  });
  MergeByName(index, result, DeltaMatches(index, matches));
  return result;
}

std::vector<uint32_t> ExtensionLookup(const NameIndex& index, std::u16string_view x) {
  std::shared_lock hold(index.lock);
  return ExtensionLookupLocked(index, x);
}

std::vector<uint32_t> ContainsLookup(const NameIndex& index, std::u16string_view p) {
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  const auto& entries = *index.entries;
  const uint32_t n = EntryCount(index);
  if (!index.ngramEnabled) {
    ScanNames(index, p, 0, n, result);
    return result;
  }
  auto contains = [&](EntryRef e) { return FindSubstring(FoldedName(e), p) != kNotFound; };
  // The lists describe the names as built: changed entries leave them, and
  // they and the appended ones are tested as they stand.
  auto finish = [&](bool confirm) {
    std::erase_if(result, [&](uint32_t e) {
      return e >= n || IsChanged(index, e) || (confirm && !contains(entries[e]));
    });
    MergeAscending(result, DeltaMatches(index, contains));
  };
  if (p.size() == 1) {
    DecodeList(index.unigramLists.Find(p[0]), result);
    finish(false);
    return result;
  }
  if (p.size() == 2) {
    // A pair's list holds exactly the names that contain it.
    DecodeList(index.bigramLists.Find(uint64_t{p[0]} << 16 | p[1]), result);
    finish(false);
    return result;
  }
  std::vector<PostingTable::List> lists;
  lists.reserve(p.size() - 2);
  bool everyRun = true;
  for (size_t j = 2; j < p.size() && everyRun; ++j) {
    PostingTable::List list =
        index.trigramLists.Find(uint64_t{p[j - 2]} << 32 | uint64_t{p[j - 1]} << 16 | p[j]);
    everyRun = list.count != 0;  // a run that no built name has: no candidates to intersect
    lists.push_back(list);
  }
  if (everyRun) {
    std::sort(
        lists.begin(), lists.end(),
        [](const PostingTable::List& a, const PostingTable::List& b) { return a.count < b.count; });
    DecodeList(lists[0], result);
    for (size_t k = 1; k < lists.size() && !result.empty(); ++k) IntersectWith(result, lists[k]);
  }
  finish(true);
  return result;
}

std::vector<uint32_t> RunQuery(const NameIndex& index, const SearchQuery& query) {
  const std::u16string& p = query.foldedPattern;
  const std::u16string& x = query.foldedExtension;
  if (MatchesNothing(query)) return {};
  switch (query.mode) {
    case MatchMode::Prefix:
      return PrefixLookup(index, p);
    case MatchMode::PrefixExtension:
      return PrefixExtensionLookup(index, p, x);
    case MatchMode::Extension:
      return ExtensionLookup(index, x);
    case MatchMode::Suffix: {
      std::vector<uint32_t> result;
      {
        std::shared_lock hold(index.lock);
        if (!index.entries) return result;
        const std::u16string tail = SuffixWithExtension(query);
        result = SuffixWalk(index, tail);
        MergeByName(index, result,
                    DeltaMatches(index, [&](EntryRef e) { return FoldedName(e).ends_with(tail); }));
      }
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
    case MatchMode::Contains: {
      std::vector<uint32_t> result;
      bool linear = false;
      {
        std::shared_lock hold(index.lock);
        linear = !index.ngramEnabled && !p.empty();
        if (!linear) result = ContainsLookup(index, p);
      }
      if (linear) result = ContainsScan(index, p);
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
  }
  return {};
}

size_t NameIndexBytes(const NameIndex& index) {
  size_t bytes = sizeof(NameIndex);
  bytes += index.nameOrder.capacity() * sizeof(uint32_t);
  bytes += index.extensionLists.Bytes();
  bytes += index.suffixOrder.capacity() * sizeof(uint32_t);
  bytes += index.nameRanks.capacity() * sizeof(uint32_t);
  bytes += index.pathRanks.capacity() * sizeof(uint32_t);
  bytes += (index.ranks.nameMoved.capacity() + index.ranks.pathMoved.capacity()) * sizeof(uint32_t);
  // A hash node: key string (with its own buffer when long), id, next pointer.
  bytes += index.extensionIds.bucket_count() * sizeof(void*);
  for (const auto& [key, id] : index.extensionIds) {
    bytes += sizeof(std::u16string) + sizeof(uint32_t) + 2 * sizeof(void*);
    if (key.size() > 7) bytes += (key.capacity() + 1) * sizeof(char16_t);
  }
  for (const auto& [entry, name] : index.builtNames) {
    bytes += sizeof(std::u16string) + sizeof(uint32_t) + 3 * sizeof(void*);
    if (name.size() > 7) bytes += (name.capacity() + 1) * sizeof(char16_t);
  }
  bytes += index.changedBits.capacity() * sizeof(uint64_t);
  bytes += index.unigramLists.Bytes() + index.bigramLists.Bytes() + index.trigramLists.Bytes();
  return bytes;
}

}  // namespace zw

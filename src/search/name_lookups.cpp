// The lookups over the name index: what the tables give for the names as
// built, corrected by the entries changed or appended since.
#include <algorithm>
#include <bit>

#include "search/name_index.h"
#include "search/name_index_detail.h"
#include "search/string_order.h"

namespace zw {

using namespace name_index_detail;

namespace {

// What a lookup reads within one hold of the lock.
struct Held {
  Held(const NameIndex& index, const EntryAccess& hold)
      : t(index.Tables(hold)),
        entries(hold.entries()),
        attached(index.Attached(hold)),
        n(attached ? static_cast<uint32_t>(entries.size()) : 0) {}
  const NameTables& t;
  const EntryStore& entries;
  const bool attached;
  const uint32_t n;  // entries the lookup reads
};

bool HasExtension(EntryRef e, std::u16string_view x) {
  if (IsDeleted(e)) return false;
  const NameText own = e.extension();
  return !own.empty() && own.EqualsFolded(x);
}

// The folded name the tables placed `e` by.
NameText BuiltName(const Held& h, uint32_t e) {
  if (IsChanged(h.t, e)) return std::u16string_view(h.t.builtNames.find(e)->second);
  return FoldedName(h.entries[e]);
}

void DropChanged(const Held& h, std::vector<uint32_t>& result) {
  if (h.t.builtNames.empty()) return;
  std::erase_if(result, [&](uint32_t e) { return IsChanged(h.t, e); });
}

// The entries the tables do not describe as they stand (changed ones, then
// those appended since the build) that pass `keep`, ascending. The index is
// attached.
template <class Keep>
std::vector<uint32_t> DeltaMatches(const Held& h, Keep&& keep) {
  std::vector<uint32_t> found;
  for (size_t word = 0; word < h.t.changedBits.size(); ++word) {
    for (uint64_t bits = h.t.changedBits[word]; bits != 0; bits &= bits - 1) {
      const auto e = static_cast<uint32_t>(word * 64 + size_t(std::countr_zero(bits)));
      if (keep(h.entries[e])) found.push_back(e);
    }
  }
  for (uint32_t e = std::min(h.t.builtCount, h.n); e < h.n; ++e) {
    if (keep(h.entries[e])) found.push_back(e);
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
void MergeByName(const Held& h, std::vector<uint32_t>& result, std::vector<uint32_t> delta) {
  if (delta.empty()) return;
  const auto& entries = h.entries;
  auto byName = [&](uint32_t a, uint32_t b) {
    return FoldedName(entries[a]) < FoldedName(entries[b]);
  };
  std::stable_sort(delta.begin(), delta.end(), byName);
  if (delta.size() * 16 < result.size()) {
    // Names read at the probes only, not every name of the answer.
    result = MergeFew(result, delta, byName);
    return;
  }
  const auto middle = static_cast<std::ptrdiff_t>(result.size());
  result.insert(result.end(), delta.begin(), delta.end());
  std::inplace_merge(result.begin(), result.begin() + middle, result.end(), byName);
}

// Appends every entry in [first, last) whose name contains `p`. Reads names
// as they stand, so it needs no delta.
void ScanNames(const EntryStore& entries, std::u16string_view p, uint32_t first, uint32_t last,
               std::vector<uint32_t>& result) {
  for (uint32_t i = first; i < last; ++i) {
    if (entries[i].name().FindFolded(p) != NameText::npos) result.push_back(i);
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
    const EntryReadView hold(index.Guarded());
    const Held h(index, hold);
    if (!h.attached) return result;
    const uint32_t end = std::min(h.n, i + kLinearScanPiece);
    if (i >= end) return result;
    ScanNames(h.entries, p, i, end, result);
    i = end;
  }
}

// The run of the name order whose names, as built, begin with `p`.
std::pair<PackedUints::Iterator, PackedUints::Iterator> PrefixRun(const Held& h,
                                                                  std::u16string_view p) {
  const uint32_t n = h.n;
  const auto& order = h.t.nameOrder;
  const auto first = std::lower_bound(
      order.begin(), order.end(), p,
      [&](uint32_t e, std::u16string_view v) { return e < n && BuiltName(h, e) < NameText(v); });
  const auto last = std::partition_point(
      first, order.end(), [&](uint32_t e) { return e < n && BuiltName(h, e).StartsWithFolded(p); });
  return {first, last};
}

// Walks the name order over the names, as built, that begin with `p`; takes
// only entries that kept their name.
template <class Take>
void PrefixWalk(const Held& h, std::u16string_view p, Take&& take) {
  const auto [first, last] = PrefixRun(h, p);
  for (auto it = first; it != last; ++it) {
    if (!IsChanged(h.t, *it)) take(*it);
  }
}

// The built entries that kept their name and whose name ends in `tail`, in
// name order: the run of the suffix order that ends in it, by the names as
// built, turned back into name-order positions.
std::vector<uint32_t> SuffixWalk(const Held& h, std::u16string_view tail) {
  const uint32_t n = h.n;
  const auto& order = h.t.nameOrder;
  const auto& suffixOrder = h.t.suffixOrder;
  auto nameAt = [&](uint32_t pos) { return BuiltName(h, order[pos]); };
  // Both ends by binary search, so only the names at the probes are read.
  const auto first = std::partition_point(
      suffixOrder.begin(), suffixOrder.end(),
      [&](uint32_t pos) { return order[pos] < n && BackwardsLess(nameAt(pos), NameText(tail)); });
  const auto last = std::partition_point(first, suffixOrder.end(), [&](uint32_t pos) {
    return order[pos] < n && nameAt(pos).EndsWithFolded(tail);
  });
  std::vector<uint32_t> positions;
  positions.reserve(static_cast<size_t>(last - first));
  for (auto it = first; it != last; ++it) {
    if (!IsChanged(h.t, order[*it])) positions.push_back(*it);
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

std::vector<uint32_t> ExtensionLookupHeld(const Held& h, std::u16string_view x) {
  if (!h.attached || x.empty()) return {};
  std::vector<uint32_t> result;
  auto it = h.t.extensionIds.find(std::u16string(x));
  if (it != h.t.extensionIds.end()) {
    DecodeList(h.t.extensionLists.Find(it->second), result);
  }
  DropChanged(h, result);
  MergeAscending(result, DeltaMatches(h, [&](EntryRef e) { return HasExtension(e, x); }));
  return result;
}

void KeepWithExtension(const NameIndex& index, std::vector<uint32_t>& result,
                       std::u16string_view x) {
  std::vector<uint32_t> withExt = ExtensionLookup(index, x);  // ascending already
  std::erase_if(result,
                [&](uint32_t e) { return !std::binary_search(withExt.begin(), withExt.end(), e); });
}

}  // namespace

std::vector<uint32_t> PrefixLookup(const NameIndex& index, std::u16string_view p) {
  const EntryReadView hold(index.Guarded());
  const Held h(index, hold);
  std::vector<uint32_t> result;
  if (!h.attached || p.empty()) return result;
  PrefixWalk(h, p, [&](uint32_t e) { result.push_back(e); });
  MergeByName(h, result, DeltaMatches(h, [&](EntryRef e) { return e.name().StartsWithFolded(p); }));
  return result;
}

// Names beyond which reading each name of the prefix's run costs more than
// testing the run against the extension's list: each name read is far from
// the last (a run of "rep" holds a hundred thousand at ten million).
constexpr ptrdiff_t kPrefixWalkLimit = 4096;

// An extension list this many times shorter than the prefix's run costs
// less to read than the run: its names are read, tested and sorted instead.
constexpr ptrdiff_t kFewWithExtension = 32;

std::vector<uint32_t> PrefixExtensionLookup(const NameIndex& index, std::u16string_view p,
                                            std::u16string_view x) {
  const EntryReadView hold(index.Guarded());
  const Held h(index, hold);
  std::vector<uint32_t> result;
  if (!h.attached || p.empty()) return result;
  const auto& entries = h.entries;
  auto matches = [&](EntryRef e) { return e.name().StartsWithFolded(p) && HasExtension(e, x); };
  const auto [first, last] = PrefixRun(h, p);
  if (last - first <= kPrefixWalkLimit) {
    for (auto it = first; it != last; ++it) {
      if (!IsChanged(h.t, *it) && matches(entries[*it])) result.push_back(*it);
    }
    MergeByName(h, result, DeltaMatches(h, matches));
    return result;
  }
  const auto id = h.t.extensionIds.find(std::u16string(x));
  const PostingTable::List withExt =
      id != h.t.extensionIds.end() ? h.t.extensionLists.Find(id->second) : PostingTable::List{};
  if (ptrdiff_t(withExt.count) * kFewWithExtension >= last - first) {
    // The run and the list both describe the unchanged entries by the names
    // they stand under, so the run is kept where the list has a bit and no
    // name is read.
    const std::vector<uint64_t> bits = ListBits(withExt);
    for (auto it = first; it != last; ++it) {
      const uint32_t e = *it;
      if (e / 64 < bits.size() && (bits[e / 64] >> (e % 64) & 1) != 0 && !IsChanged(h.t, e)) {
        result.push_back(e);
      }
    }
  } else {
    DecodeList(withExt, result);
    std::erase_if(
        result, [&](uint32_t e) { return e >= h.n || IsChanged(h.t, e) || !matches(entries[e]); });
    // As the name order has them: by name, equal names by number. Each name
    // is read once, not at every comparison.
    std::vector<std::pair<std::u16string, uint32_t>> named(result.size());
    for (size_t k = 0; k < result.size(); ++k) {
      FoldedName(entries[result[k]]).AssignTo(named[k].first);
      named[k].second = result[k];
    }
    std::sort(named.begin(), named.end());
    for (size_t k = 0; k < result.size(); ++k) result[k] = named[k].second;
  }
  MergeByName(h, result, DeltaMatches(h, matches));
  return result;
}

std::vector<uint32_t> ExtensionLookup(const NameIndex& index, std::u16string_view x) {
  const EntryReadView hold(index.Guarded());
  return ExtensionLookupHeld(Held(index, hold), x);
}

std::vector<uint32_t> ContainsLookup(const NameIndex& index, const EntryAccess& hold,
                                     std::u16string_view p) {
  const Held h(index, hold);
  std::vector<uint32_t> result;
  if (!h.attached || p.empty()) return result;
  const auto& entries = h.entries;
  const uint32_t n = h.n;
  const NameTables& t = h.t;
  if (!t.ngramEnabled) {
    ScanNames(entries, p, 0, n, result);
    return result;
  }
  auto contains = [&](EntryRef e) { return e.name().FindFolded(p) != NameText::npos; };
  // The lists describe the names as built: changed entries leave them, and
  // they and the appended ones are tested as they stand.
  auto finish = [&](bool confirm) {
    std::erase_if(result, [&](uint32_t e) {
      return e >= n || IsChanged(t, e) || (confirm && !contains(entries[e]));
    });
    MergeAscending(result, DeltaMatches(h, contains));
  };
  if (p.size() == 1) {
    DecodeList(t.unigramLists.Find(p[0]), result);
    finish(false);
    return result;
  }
  if (p.size() == 2) {
    result = UniteAll(PairLists(t.trigramLists, p[0], p[1]));
    finish(false);
    return result;
  }
  std::vector<PostingTable::List> lists;
  lists.reserve(p.size() - 2);
  bool everyRun = true;
  for (size_t j = 2; j < p.size() && everyRun; ++j) {
    PostingTable::List list = t.trigramLists.Find(TrigramKey(p[j - 2], p[j - 1], p[j]));
    everyRun = list.count != 0;  // a run that no built name has: no candidates to intersect
    lists.push_back(list);
  }
  if (everyRun) result = IntersectAll(std::move(lists));
  finish(true);
  return result;
}

namespace {

// The answer by the stored units alone.
std::vector<uint32_t> RunStoredQuery(const NameIndex& index, const SearchQuery& query) {
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
        const EntryReadView hold(index.Guarded());
        const Held h(index, hold);
        if (!h.attached) return result;
        const std::u16string tail = SuffixWithExtension(query);
        result = SuffixWalk(h, tail);
        MergeByName(h, result,
                    DeltaMatches(h, [&](EntryRef e) { return e.name().EndsWithFolded(tail); }));
      }
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
    case MatchMode::Contains: {
      std::vector<uint32_t> result;
      bool linear = false;
      {
        const EntryReadView hold(index.Guarded());
        linear = !index.Tables(hold).ngramEnabled && !p.empty();
        if (!linear) result = ContainsLookup(index, hold, p);
      }
      if (linear) result = ContainsScan(index, p);
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
  }
  return {};
}

// Whether `mode` answers in name order (else ascending by number).
bool NameOrdered(MatchMode mode) {
  return mode == MatchMode::Prefix || mode == MatchMode::Suffix ||
         mode == MatchMode::PrefixExtension;
}

// Corrects an answer by stored units for a query that reads names composed or
// by their initials forms. The tables answer for every other built entry;
// the decomposed ones and the initials candidates are tested here, and so
// are the changed and appended ones.
void AddHangul(const NameIndex& index, const SearchQuery& q, std::vector<uint32_t>& result) {
  const EntryReadView hold(index.Guarded());
  const Held h(index, hold);
  if (!h.attached) return;
  const NameTables& t = h.t;
  auto described = [&](uint32_t e) {
    return e < t.builtCount && e < h.n && !IsChanged(t, e) && !(q.composed && IsJamoName(t, e));
  };
  std::erase_if(result, [&](uint32_t e) { return !described(e); });

  auto matches = [&](EntryRef e) { return Matches(e, q); };
  std::vector<uint32_t> extra;
  auto consider = [&](uint32_t e) {
    if (e >= t.builtCount || e >= h.n || IsChanged(t, e)) return;
    // What the tables described and found is in the answer already.
    if (described(e) && MatchesStored(h.entries[e], q)) return;
    if (matches(h.entries[e])) extra.push_back(e);
  };
  if (q.composed) {
    // By the composed names kept with the tables: no name is read or composed.
    const std::u16string_view names(t.jamoNames.data(), t.jamoNames.size());
    for (uint32_t k : JamoCandidates(t, q.foldedPattern)) {
      const uint32_t e = t.jamoEntries[k];
      if (e >= h.n || IsChanged(t, e)) continue;
      const size_t from = k == 0 ? 0 : t.jamoEnds[k - 1];
      const std::u16string_view name = names.substr(from, t.jamoEnds[k] - from);
      // Only a query with an extension reads one, and a folder has none:
      // its record, far from the last, is read only for a name that matches.
      if (q.foldedExtension.empty()) {
        if (Matches(name, std::u16string_view(), q)) extra.push_back(e);
      } else if (Matches(name, FileExtension(name), q) && !h.entries[e].isFolder()) {
        extra.push_back(e);
      }
    }
  }
  if (q.initials) {
    for (uint32_t e : InitialsCandidates(t, q.foldedPattern)) consider(e);
    if (q.composed) {
      std::sort(extra.begin(), extra.end());
      extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
    }
  }
  MergeAscending(extra, DeltaMatches(h, matches));
  if (NameOrdered(q.mode)) {
    MergeByName(h, result, std::move(extra));
  } else {
    MergeAscending(result, extra);
  }
}

}  // namespace

std::vector<uint32_t> RunQuery(const NameIndex& index, const SearchQuery& query) {
  std::vector<uint32_t> result = RunStoredQuery(index, query);
  if (query.composed || query.initials) AddHangul(index, query, result);
  return result;
}

}  // namespace zw

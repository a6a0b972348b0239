// The rank arrays by which results are sorted: computed in full by a build,
// kept current by the sorts themselves after live changes.
#include <algorithm>
#include <mutex>

#include "index/path_builder.h"
#include "search/name_index.h"
#include "search/name_index_detail.h"
#include "search/path_order.h"
#include "search/string_order.h"

namespace zw {

using namespace name_index_detail;

namespace {

// Equal paths (cut ones on two drives, or a damaged folder's twins) by drive,
// then by entry number, so that path order is one order.
bool PathTieLess(const EntryStore& entries, uint32_t a, uint32_t b) {
  const char16_t x = entries[a].drive(), y = entries[b].drive();
  return x != y ? x < y : a < b;
}

// Entries whose text changed, beyond which ordering them all again is cheaper
// than placing each.
size_t MovedLimit(size_t count) {
  return count / 8 + 64;
}

void NoteMoved(PackedUints& rank, size_t& count, std::vector<uint32_t>& moved, uint32_t n) {
  if (n >= count) return;  // unranked: placed as an appended one
  moved.push_back(n);
  if (moved.size() > MovedLimit(count)) {
    rank = {};
    Release(moved);
    count = 0;
  }
}

// Brings one rank array up to date: the entries whose text stayed keep their
// order, the changed and the appended ones are placed among them by binary
// search. False when it is not worth it.
template <class Less>
bool UpdateRanks(const EntryStore& entries, Less&& less, PackedUints& rank, size_t count,
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
  rank = PackedUints::RanksOf(MergeFew(order, moved, less));
  return true;
}

}  // namespace

std::vector<uint32_t> NameRanks(const EntryStore& entries, const PackedUints& pathRanks) {
  return RanksOf(OrderByText(
      entries.size(), [&](uint32_t i) { return ShownName(entries[i]); },
      [&](uint32_t a, uint32_t b) {
        return a < pathRanks.size() && b < pathRanks.size() ? pathRanks[a] < pathRanks[b] : a < b;
      }));
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
  return RanksOf(OrderByText(
      entries.size(),
      [&](uint32_t i) {
        return std::u16string_view(text.data() + start[i], start[i + 1] - start[i]);
      },
      [&](uint32_t a, uint32_t b) { return PathTieLess(entries, a, b); }));
}

void RankCache::TakeBuilt(NameTables& tables, uint32_t builtCount) {
  std::lock_guard hold(mutex_);
  std::swap(nameRanks_, tables.nameRanks);
  std::swap(pathRanks_, tables.pathRanks);
  Release(nameMoved_);
  Release(pathMoved_);
  nameCount_ = nameRanks_.size() == builtCount ? builtCount : 0;
  pathCount_ = pathRanks_.size() == builtCount ? builtCount : 0;
}

void RankCache::Drop() {
  std::lock_guard hold(mutex_);
  nameRanks_ = {};
  pathRanks_ = {};
  Release(nameMoved_);
  Release(pathMoved_);
  nameCount_ = 0;
  pathCount_ = 0;
}

void RankCache::NoteNameChange(uint32_t n) {
  std::lock_guard hold(mutex_);
  NoteMoved(nameRanks_, nameCount_, nameMoved_, n);
  NoteMoved(pathRanks_, pathCount_, pathMoved_, n);
}

// Equal names are ordered by path: a path that changes moves its entry in
// the name order too.
void RankCache::NotePathChange(uint32_t n) {
  std::lock_guard hold(mutex_);
  NoteMoved(nameRanks_, nameCount_, nameMoved_, n);
  NoteMoved(pathRanks_, pathCount_, pathMoved_, n);
}

void RankCache::DropPaths() {
  std::lock_guard hold(mutex_);
  nameRanks_ = {};
  Release(nameMoved_);
  nameCount_ = 0;
  pathRanks_ = {};
  Release(pathMoved_);
  pathCount_ = 0;
}

size_t RankCache::RankedCount(uint32_t column) {
  std::lock_guard hold(mutex_);
  return column == kColumnName ? nameCount_ : pathCount_;
}

size_t RankCache::Bytes() {
  std::lock_guard hold(mutex_);
  return nameRanks_.Bytes() + pathRanks_.Bytes() +
         (nameMoved_.capacity() + pathMoved_.capacity()) * sizeof(uint32_t);
}

const PackedUints& RankCache::Ranks(const EntryStore* entries, uint32_t column) {
  std::lock_guard hold(mutex_);
  return RanksLocked(entries, column);
}

const PackedUints& RankCache::RanksLocked(const EntryStore* entries, uint32_t column) {
  // Name order breaks its ties by path order, which must be current first.
  const PackedUints* pathRanks =
      column == kColumnName && entries ? &RanksLocked(entries, kColumnFolder) : nullptr;
  const bool byName = column == kColumnName;
  PackedUints& rank = byName ? nameRanks_ : pathRanks_;
  size_t& count = byName ? nameCount_ : pathCount_;
  std::vector<uint32_t>& moved = byName ? nameMoved_ : pathMoved_;
  const size_t n = entries ? entries->size() : 0;
  if (count == n && moved.empty()) return rank;
  bool updated = false;
  if (entries) {
    const EntryStore& all = *entries;
    if (byName) {
      updated = UpdateRanks(
          all,
          [&](uint32_t a, uint32_t b) {
            const int c = Compare(ShownName(all[a]), ShownName(all[b]));
            return c != 0 ? c < 0 : (*pathRanks)[a] < (*pathRanks)[b];
          },
          rank, count, moved);
    } else {
      std::u16string pa, pb;
      updated = UpdateRanks(
          all,
          [&](uint32_t a, uint32_t b) {
            all[a].PathInto(pa);
            all[b].PathInto(pb);
            const int c = pa.compare(pb);
            return c != 0 ? c < 0 : PathTieLess(all, a, b);
          },
          rank, count, moved);
    }
  }
  if (!entries) {
    rank = {};
  } else if (!updated) {
    rank = PackedUints(byName ? NameRanks(*entries, *pathRanks) : PathRanks(*entries));
  }
  moved.clear();
  count = n;
  return rank;
}

const PackedUints& EntryRanks(const NameIndex& index, const EntryAccess& hold, uint32_t column) {
  return index.Ranks(hold).Ranks(index.Attached(hold) ? &hold.entries() : nullptr, column);
}

}  // namespace zw

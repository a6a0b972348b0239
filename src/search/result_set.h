// The one list of matching entries that the result view shows, in display
// order, and its sorting.
//
// Lock order: a caller that also needs the entries' lock takes it first
// (FilterResults and SortResults(order, NameIndex) do so themselves).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "base/columns.h"
#include "index/entry_guard.h"
#include "index/entry_store.h"

namespace zw {

class NameIndex;
struct TypeFilterState;

struct SortSpec {
  uint32_t sortColumn = kColumnName;  // base/columns.h
  bool sortDescending = false;
  bool foldersFirst = true;
};

using EntryLookup = std::function<std::optional<EntryRef>(uint32_t)>;

class ResultSet {
 public:
  // Empties the list and makes every search started earlier stale, so that
  // none of them can deliver into it any more. Returns the new generation.
  uint64_t Clear();
  void Replace(std::vector<uint32_t> entryNumbers);
  void Append(std::span<const uint32_t> entryNumbers);
  size_t Count() const;
  // The entry number shown in `row`, or kNoEntry past the end.
  uint32_t At(size_t row) const;
  std::vector<uint32_t> Snapshot() const;

  void KeepIf(const std::function<bool(uint32_t)>& predicate);
  void SortResults(const SortSpec& order, const EntryLookup& lookup);

  // Runs f(entries) under the lock only while `generation` is still the
  // newest; returns whether it ran. This is how a search delivers.
  template <class F>
  bool IfCurrent(uint64_t generation, F&& f) {
    std::lock_guard hold(mutex_);
    if (generation != generation_) return false;
    f(entries_);
    return true;
  }
  // The same, and only while the entries are still numbered as they were
  // when `numbering` was read: numbers found before a renumbering name other
  // files after it.
  template <class F>
  bool IfCurrent(uint64_t generation, uint64_t numbering, F&& f) {
    std::lock_guard hold(mutex_);
    if (generation != generation_ || numbering != numbering_) return false;
    f(entries_);
    return true;
  }
  // Counts the renumberings the set has followed (see Renumber).
  uint64_t Numbering() const;
  // For a search that is still the newest but found its numbers under an
  // earlier numbering: empties the set for it to search again and updates
  // `numbering`. False when there is nothing to redo.
  bool RestartIfRenumbered(uint64_t generation, uint64_t& numbering);

  // The entries were renumbered (entry i is now oldToNew[i], kNoEntry when
  // it is gone; `count` entries are left). Called while the entries are
  // held exclusively, so that no reader meets an old number in the new
  // entries. Rows keep their places: a row whose entry is gone holds kNoEntry
  // until the list drops it.
  void Renumber(const std::vector<uint32_t>& oldToNew, uint32_t count);

  // Entries below this number have been offered to the list that follows
  // the index (the rest are new to it). Set and read within a hold of the
  // entries, so that it always counts the entries as numbered then.
  uint64_t SeenEntries() const;
  void SetSeenEntries(uint64_t count);

  // Clear, keeping what the set held to show again (RestoreKept) should what
  // replaces it fail. The kept entries follow renumberings too.
  uint64_t ClearKeeping();
  // Puts the kept entries back, with no new generation.
  void RestoreKept();
  void DropKept();

 private:
  friend void SortResults(ResultSet&, const SortSpec&, const NameIndex&);
  friend void FilterResults(ResultSet&, const GuardedEntries&, const TypeFilterState&);
  mutable std::mutex mutex_;
  std::vector<uint32_t> entries_;
  std::vector<uint32_t> kept_;
  uint64_t generation_ = 0;
  uint64_t numbering_ = 0;
  uint64_t seen_ = 0;
};

// Sorts with the rank arrays of the name index when they describe every
// result, by comparing texts otherwise. Takes the entries' lock shared.
void SortResults(ResultSet& results, const SortSpec& order, const NameIndex& index);

// Keeps the results TypeFilter passes, in order, under the entries' lock;
// each result's record is asked for some results ahead.
void FilterResults(ResultSet& results, const GuardedEntries& entries, const TypeFilterState& state);

// Every entry number, ascending, that passes the filter (the list shown for an
// empty search text). Takes the entries' lock shared.
std::vector<uint32_t> AllPassing(const GuardedEntries& entries, const TypeFilterState& state);
// AllPassing appended to `results` within the same hold, which also marks
// every entry seen. Returns how many were appended.
size_t AppendAllPassing(ResultSet& results, const GuardedEntries& entries,
                        const TypeFilterState& state);

}  // namespace zw

// How the list follows the index: the list of every entry after a run, and
// what an index change (files created, renamed, deleted) does to the list.
#pragma once

#include <cstdint>
#include <optional>

namespace zw {
struct FileIndex;
class ResultSet;
struct TypeFilterState;
}  // namespace zw

namespace zw::view {

// The number of entries in the index, read under the name index lock.
uint64_t EntryCount(const FileIndex& index);

// Puts every entry number, ascending, into `results`, but only while
// `generation` (from results.Clear()) is still the newest: a list built for
// an earlier run or overtaken by a search is dropped. Returns the number of
// entries delivered (all of them seen now), or nothing when it was dropped.
// Runs off the window's thread; takes the name index lock shared.
std::optional<uint64_t> BuildFullList(const FileIndex& index, ResultSet& results,
                                      uint64_t generation);

// Every entry there is now counts as seen by the list (ResultSet::SeenEntries);
// returns how many there are.
uint64_t MarkAllSeen(ResultSet& results, const FileIndex& index);

enum class IndexChangeStep {
  // The list shows every entry: follow the change in place.
  FollowInList,
  // A search text is shown and no search runs: search again, so that the
  // list holds exactly what the text finds now.
  SearchAgain,
  // A search is running; it may or may not see the change, so appending to
  // what it delivers could show a row twice. Search again once it is done.
  SearchAgainWhenDone,
};

inline IndexChangeStep StepForIndexChange(bool searchTextEmpty, bool searchRunning) {
  if (searchTextEmpty) return IndexChangeStep::FollowInList;
  return searchRunning ? IndexChangeStep::SearchAgainWhenDone : IndexChangeStep::SearchAgain;
}

struct ListFollowResult {
  uint64_t entryCount = 0;  // entries in the index now, all seen by the list
  uint64_t appended = 0;
};

// FollowInList, first half: appends, unsorted and in index order, the
// entries the list has not seen yet (results.SeenEntries() on) that pass the
// filter.
ListFollowResult AppendNewEntries(ResultSet& results, const FileIndex& index,
                                  const TypeFilterState& state);

// FollowInList, second half: the rows whose entry no longer passes (a deleted
// entry has no name, a renamed one may have left the filter) go, a slice at
// a time, so that a list of a million rows never holds the window up for
// long. Restart after every change; Step until it is no longer pending.
class RowSweep {
 public:
  static constexpr size_t kRowsPerStep = 32768;

  void Restart(size_t rows) { remaining_ = rows; }
  void Cancel() {
    remaining_ = 0;
    cursor_ = 0;
  }
  bool Pending() const { return remaining_ != 0; }
  // Looks at up to `budget` rows from where the last step ended (wrapping
  // around); returns how many it dropped.
  size_t Step(ResultSet& results, const FileIndex& index, const TypeFilterState& state,
              size_t budget = kRowsPerStep);

 private:
  size_t cursor_ = 0;
  size_t remaining_ = 0;
};

}  // namespace zw::view

// Which entry each journal reference (drive and record number) stands for,
// and how many live entries each folder holds. The journal threads and the
// live update share it under its own lock, which is innermost: nothing else
// is taken while it is held.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "live/usn_change.h"

namespace zw {

class JournalIds {
 public:
  using Map = std::unordered_map<IdKey, uint32_t>;

  void Set(IdKey key, uint32_t entry);
  // A new entry: maps `key` to it and counts it as a child of `folder`, both
  // or (when it throws) neither.
  void Add(IdKey key, uint32_t entry, IdKey folder);
  uint32_t Find(IdKey key) const;  // kNoEntry when absent
  // Erases each key only while it still maps to the entry given with it.
  void Remove(const std::vector<std::pair<IdKey, uint32_t>>& keysAndEntries);
  // Clears the map and the child counts and lets `fill` insert, all under the
  // lock. `tag` says which entries the numbers belong to.
  void Rebuild(size_t reserve, uint64_t tag,
               const std::function<void(Map& ids, Map& childCounts)>& fill);
  // A copy of the map with each entry i renumbered to oldToNew[i], keys of
  // entries that go left out: made while the entries are only read, and
  // swapped in (SwapIds) where they are renumbered.
  Map Renumbered(const std::vector<uint32_t>& oldToNew) const;
  // Puts `ids` in; `ids` gets the previous map, to be freed without the lock.
  void SwapIds(Map& ids);
  uint64_t Tag() const { return tag_.load(); }
  size_t Count() const;

  // Live entries per folder (keyed like the map, by the folder's record), so
  // that only folders with something below them get their subtree walked.
  void AdjustChildCount(IdKey folder, int delta);
  uint32_t ChildCount(IdKey folder) const;

 private:
  mutable std::mutex mutex_;
  Map ids_;
  Map childCounts_;
  std::atomic<uint64_t> tag_{0};
};

}  // namespace zw

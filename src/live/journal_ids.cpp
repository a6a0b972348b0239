#include "live/journal_ids.h"

#include "index/file_entry.h"

namespace zw {

void JournalIds::Set(IdKey key, uint32_t entry) {
  std::lock_guard lock(mutex_);
  ids_[key] = entry;
}

void JournalIds::Add(IdKey key, uint32_t entry, IdKey folder) {
  std::lock_guard lock(mutex_);
  auto [it, inserted] = ids_.try_emplace(key, entry);
  const uint32_t before = it->second;
  it->second = entry;
  try {
    ++childCounts_[folder];
  } catch (...) {
    if (inserted) {
      ids_.erase(it);
    } else {
      it->second = before;
    }
    throw;
  }
}

uint32_t JournalIds::Find(IdKey key) const {
  std::lock_guard lock(mutex_);
  auto it = ids_.find(key);
  return it == ids_.end() ? kNoEntry : it->second;
}

void JournalIds::Remove(const std::vector<std::pair<IdKey, uint32_t>>& keysAndEntries) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, entry] : keysAndEntries) {
    auto it = ids_.find(key);
    if (it != ids_.end() && it->second == entry) ids_.erase(it);
  }
}

void JournalIds::Rebuild(size_t reserve, uint64_t tag,
                         const std::function<void(Map& ids, Map& childCounts)>& fill) {
  std::lock_guard lock(mutex_);
  tag_.store(tag);
  ids_.clear();
  childCounts_.clear();
  ids_.reserve(reserve);
  if (fill) fill(ids_, childCounts_);
}

JournalIds::Map JournalIds::Renumbered(const std::vector<uint32_t>& oldToNew) const {
  std::lock_guard lock(mutex_);
  Map out;
  out.reserve(ids_.size());
  for (const auto& [key, entry] : ids_) {
    const uint32_t to = entry < oldToNew.size() ? oldToNew[entry] : kNoEntry;
    if (to != kNoEntry) out.emplace(key, to);
  }
  return out;
}

void JournalIds::SwapIds(Map& ids) {
  std::lock_guard lock(mutex_);
  ids_.swap(ids);
}

size_t JournalIds::Count() const {
  std::lock_guard lock(mutex_);
  return ids_.size();
}

void JournalIds::AdjustChildCount(IdKey folder, int delta) {
  std::lock_guard lock(mutex_);
  if (delta > 0) {
    childCounts_[folder] += uint32_t(delta);
    return;
  }
  auto it = childCounts_.find(folder);
  if (it == childCounts_.end()) return;
  if (it->second <= uint32_t(-delta)) {
    childCounts_.erase(it);
  } else {
    it->second -= uint32_t(-delta);
  }
}

uint32_t JournalIds::ChildCount(IdKey folder) const {
  std::lock_guard lock(mutex_);
  auto it = childCounts_.find(folder);
  return it == childCounts_.end() ? 0 : it->second;
}

}  // namespace zw

#include "view/list_changes.h"

#include <numeric>
#include <shared_mutex>
#include <vector>

#include "index/file_index.h"
#include "search/result_set.h"
#include "search/type_filter.h"

namespace zw::view {

uint64_t EntryCount(const FileIndex& index) {
  std::shared_lock hold(index.nameIndex.lock);
  return index.entries.size();
}

std::optional<uint64_t> BuildFullList(const FileIndex& index, ResultSet& results,
                                      uint64_t generation) {
  std::vector<uint32_t> all(EntryCount(index));
  std::iota(all.begin(), all.end(), 0u);
  const uint64_t count = all.size();
  const bool delivered =
      results.IfCurrent(generation, [&](std::vector<uint32_t>& entries) { entries.swap(all); });
  if (!delivered) return std::nullopt;
  return count;
}

ListFollowResult FollowIndexChange(ResultSet& results, const FileIndex& index,
                                   uint64_t knownEntryCount, const TypeFilterState& state) {
  ListFollowResult out;
  std::vector<uint32_t> added;
  {
    std::shared_lock hold(index.nameIndex.lock);
    out.entryCount = index.entries.size();
    for (uint64_t i = knownEntryCount; i < out.entryCount; ++i) {
      if (TypeFilter(index, uint32_t(i), state)) added.push_back(uint32_t(i));
    }
  }
  const size_t before = results.Count();
  FilterResults(results, index, state);
  const size_t after = results.Count();
  out.dropped = before > after ? before - after : 0;
  if (!added.empty()) results.Append(added);
  out.appended = added.size();
  return out;
}

}  // namespace zw::view

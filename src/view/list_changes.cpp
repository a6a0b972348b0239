#include "view/list_changes.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "engine/file_index.h"
#include "search/result_set.h"
#include "search/type_filter.h"

namespace zw::view {

uint64_t EntryCount(const FileIndex& index) {
  const EntryReadView hold(index.entries);
  return hold.entries().size();
}

std::optional<uint64_t> BuildFullList(const FileIndex& index, ResultSet& results,
                                      uint64_t generation) {
  std::vector<uint32_t> all(EntryCount(index));
  // Delivered within the hold that counts them: numbers read before a
  // renumbering must not arrive after it.
  const EntryReadView hold(index.entries);
  all.resize(hold.entries().size());
  std::iota(all.begin(), all.end(), 0u);
  const uint64_t count = all.size();
  const bool delivered =
      results.IfCurrent(generation, [&](std::vector<uint32_t>& entries) { entries.swap(all); });
  if (!delivered) return std::nullopt;
  results.SetSeenEntries(count);
  return count;
}

uint64_t MarkAllSeen(ResultSet& results, const FileIndex& index) {
  const EntryReadView hold(index.entries);
  results.SetSeenEntries(hold.entries().size());
  return hold.entries().size();
}

ListFollowResult AppendNewEntries(ResultSet& results, const FileIndex& index,
                                  const TypeFilterState& state) {
  ListFollowResult out;
  std::vector<uint32_t> added;
  // One hold from reading the seen count to appending, so that all of it
  // counts the entries as numbered then.
  const EntryReadView hold(index.entries);
  out.entryCount = hold.entries().size();
  for (uint64_t i = results.SeenEntries(); i < out.entryCount; ++i) {
    if (TypeFilter(hold, uint32_t(i), state)) added.push_back(uint32_t(i));
  }
  if (!added.empty()) results.Append(added);
  results.SetSeenEntries(out.entryCount);
  out.appended = added.size();
  return out;
}

size_t RowSweep::Step(ResultSet& results, const FileIndex& index, const TypeFilterState& state,
                      size_t budget) {
  if (remaining_ == 0) return 0;
  size_t dropped = 0;
  const EntryReadView hold(index.entries);  // before the result set's lock
  const size_t rows = results.Count();
  if (cursor_ >= rows) cursor_ = 0;
  const size_t first = cursor_;
  const size_t last = first + std::min({budget, remaining_, rows - first});
  size_t row = 0;
  // Only the slice is looked up; the rest of the rows are passed over.
  results.KeepIf([&](uint32_t n) {
    const size_t at = row++;
    if (at < first || at >= last || TypeFilter(hold, n, state)) return true;
    ++dropped;
    return false;
  });
  const size_t looked = last - first;
  cursor_ = last - dropped;
  remaining_ = rows == 0 ? 0 : remaining_ - std::min(remaining_, std::max<size_t>(looked, 1));
  return dropped;
}

}  // namespace zw::view

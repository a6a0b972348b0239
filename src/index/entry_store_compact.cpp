// Copying the entries a live update keeps into fresh storage, so that what
// deletes and renames left behind is given back.
#include <string>
#include <vector>

#include "index/entry_store.h"

namespace zw {

EntryStore EntryStore::Compacted(const std::vector<uint32_t>& oldToNew, uint32_t count) const {
  EntryStore out;
  out.drives_ = drives_;  // slots stay valid as they are
  out.records_.reserve(count);
  std::u16string path, name;
  for (uint32_t i = 0; i < records_.size(); ++i) {
    const uint32_t to = oldToNew[i];
    if (to == kNoEntry) continue;
    EntryRecord r = records_[i];
    if (auto it = keptParents_.find(i); it != keptParents_.end()) {
      out.keptParents_.emplace(to, it->second);
    }
    if (r.parent != kNoEntry && oldToNew[r.parent] == kNoEntry) {
      // Its parent goes: the parent's record is kept beside it, and its path
      // (which runs through the parent's name) whole.
      out.keptParents_[to] = records_[r.parent].recordNumber;
      r.flags |= kKeptParent;
      if ((r.flags & kKeptPath) == 0) {
        PathInto(i, path);
        out.keptPaths_.emplace(to, path);
        r.flags |= kKeptPath;
      }
    }
    if ((records_[i].flags & kKeptPath) != 0) out.keptPaths_.emplace(to, keptPaths_.at(i));
    if (r.parent != kNoEntry) r.parent = oldToNew[r.parent];
    out.records_.push_back(r);
    // Through the name setter, which lays the name out as any new one.
    RawName(i).AssignTo(name);
    out.SetName(to, name);
  }
  return out;
}

}  // namespace zw

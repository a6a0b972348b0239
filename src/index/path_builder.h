// Paths of many entries in a row, as listings and sorts need them.
#pragma once

#include <cstdint>
#include <string>

#include "index/entry_store.h"

namespace zw {

// Builds the paths of many entries, remembering the last parent's path:
// entries of one folder mostly come together, so most paths cost one copy.
// Valid while the store does not change.
class PathBuilder {
 public:
  explicit PathBuilder(const EntryStore& store) : store_(store) {}
  // The path of the folder `n` hangs under, when `n`'s path is that, "\\"
  // and its name; null when its path is kept whole or it has no parent.
  const std::u16string* ParentPathOf(uint32_t n) {
    const EntryRecord& r = store_.Record(n);
    const bool walked = (r.flags & (EntryStore::kKeptPath | EntryStore::kDeleted)) == 0;
    if (!walked || r.parent == kNoEntry) return nullptr;
    if (r.parent != parent_) {
      store_.PathInto(r.parent, parentPath_);
      parent_ = r.parent;
    }
    return &parentPath_;
  }

  void PathInto(uint32_t n, std::u16string& out) {
    const std::u16string* parent = ParentPathOf(n);
    if (parent == nullptr) {
      store_[n].PathInto(out);
      return;
    }
    out.assign(*parent);
    out += u'\\';
    store_.RawName(n).AppendTo(out);
  }

 private:
  const EntryStore& store_;
  uint32_t parent_ = kNoEntry;
  std::u16string parentPath_;
};

}  // namespace zw

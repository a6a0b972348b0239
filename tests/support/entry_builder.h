// The one way tests and their fixtures build entries into a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "index/entry_store.h"

namespace zw::test {

// One value; its parent is looked for among the last entries appended, as
// an indexing run would have linked it.
inline void AppendEntry(EntryStore& store, const FileEntry& value) {
  constexpr size_t kLookBack = 256;
  const size_t n = store.size();
  uint32_t parent = kNoEntry;
  std::u16string base;
  for (size_t k = n; k-- > (n > kLookBack ? n - kLookBack : 0);) {
    const auto at = uint32_t(k);
    if (store.Record(at).recordNumber != value.parentRecordNumber ||
        store.DriveOf(at) != value.drive)
      continue;
    store.PathInto(at, base);
    const std::u16string& path = value.path;
    if (path.size() == base.size() + 1 + value.name.size() &&
        path.compare(0, base.size(), base) == 0 && path[base.size()] == u'\\' &&
        path.compare(base.size() + 1, std::u16string::npos, value.name) == 0) {
      parent = at;
      break;
    }
  }
  store.Append(value, parent);
}

// Completed values (name, path and the rest as BuildPaths leaves them).
inline void AppendEntries(EntryStore& store, std::vector<FileEntry> values) {
  store.AppendValues(values);
}

}  // namespace zw::test

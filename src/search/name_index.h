// The search structure over FileIndex::entries. Its lock is also the lock that
// keeps readers of the entry array apart from writers (see FileIndex).
#pragma once

#include <cstdint>
#include <shared_mutex>
#include <vector>

#include "index/file_entry.h"

namespace zw {

struct NameIndex {
  mutable std::shared_mutex lock;
  const std::vector<FileEntry>* entries = nullptr;  // attached entry array, or none
  std::vector<uint32_t> nameOrder;
  bool ngramEnabled = false;
};

// Both: caller holds `lock` exclusively.
void ClearNameIndex(NameIndex& index);
void RebuildNameIndex(NameIndex& index);

}  // namespace zw

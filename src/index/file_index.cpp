#include "index/file_index.h"

#include <system_error>

#include "index/run_indexing.h"
#include "settings/settings.h"

namespace zw {

FileIndex::~FileIndex() noexcept(false) {
  stopRequested.store(true);
  try {
    JoinIndexThread(*this);
  } catch (const std::system_error&) {
    // We are the indexing thread: let it run on to its end without this
    // object (its entry point touches nothing after this error), and fail.
    indexThread.detach();
    throw;
  }
}

FileIndex& GetIndex() {
  static FileIndex index;
  static const bool seeded = (LoadInitialDrives(index), true);
  (void)seeded;
  return index;
}

const FileEntry* LookupEntry(const FileIndex& index, uint32_t n) {
  if (index.indexing.load() || n >= index.entries.size()) return nullptr;
  return &index.entries[n];
}

}  // namespace zw

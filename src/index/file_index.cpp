#include "index/file_index.h"

#include <system_error>

namespace zw {

FileIndex::~FileIndex() {
  stopRequested.store(true);
  if (indexThread.joinable()) {
    if (indexThread.get_id() == std::this_thread::get_id()) {
      // Waiting on ourselves would never end; the standard's own answer to that.
      std::terminate();
    }
    indexThread.join();
  }
}

FileIndex& GetIndex() {
  static FileIndex index;
  return index;
}

const FileEntry* LookupEntry(const FileIndex& index, uint32_t n) {
  if (index.indexing.load() || n >= index.entries.size()) return nullptr;
  return &index.entries[n];
}

}  // namespace zw

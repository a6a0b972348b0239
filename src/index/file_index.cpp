#include "index/file_index.h"

#include <mutex>
#include <system_error>

#include "index/run_indexing.h"

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
  return index;
}

std::optional<EntryRef> LookupEntry(const FileIndex& index, uint32_t n) {
  if (n >= index.entries.size()) return std::nullopt;
  return index.entries[n];
}

void RebuildNameIndexHoldingEntries(FileIndex& index, bool ngrams) {
  NameTables tables = BuildNameTables(index.entries, ngrams);
  {
    std::unique_lock hold(index.nameIndex.lock);
    SwapNameTables(index.nameIndex, &index.entries, tables);
  }
  // `tables` holds the previous build now, freed here without the lock.
}

void RebuildNameIndex(FileIndex& index, bool ngrams) {
  std::scoped_lock lock(index.entriesMutex);
  RebuildNameIndexHoldingEntries(index, ngrams);
}

}  // namespace zw

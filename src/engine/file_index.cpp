#include "engine/file_index.h"

#include <exception>

#include "platform/debug_output.h"

namespace zw {

FileIndex::~FileIndex() noexcept {
  stopRequested.store(true);
  if (indexThread.joinable() && indexThread.get_id() == std::this_thread::get_id()) {
    platform::OutputDebugLine(u"FileIndex: destroyed by its own indexing thread\n");
    std::terminate();
  }
  if (indexThread.joinable()) indexThread.join();
}

FileIndex& GetIndex() {
  static FileIndex index;
  return index;
}

void RebuildNameIndex(FileIndex& index, EntryWriter& writer, bool ngrams) {
  NameTables tables = BuildNameTables(writer, ngrams);
  {
    const EntryWriteView hold(writer);
    SwapNameTables(index.nameIndex, hold, tables);
  }
  // `tables` holds the previous build now, freed here without the lock.
}

void RebuildNameIndex(FileIndex& index, bool ngrams) {
  EntryWriter writer(index.entries);
  RebuildNameIndex(index, writer, ngrams);
}

}  // namespace zw

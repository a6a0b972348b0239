// Compaction of the entries while the program follows the journals: deleted
// entries and replaced names would otherwise pile up for as long as it runs.
#include <utility>
#include <vector>

#include "live/live_update.h"
#include "live/live_update_detail.h"

namespace zw {

namespace {

// Below this much, a compaction would cost more than it gives back.
constexpr uint64_t kMinGarbage = 4096;

}  // namespace

bool CompactionDue(FileIndex& index, const EntryWriter& writer) {
  const EntryGarbage& garbage = index.Garbage(writer);
  const uint64_t left = garbage.deadEntries + garbage.replacedNames;
  // An eighth keeps the bytes per live entry well within a quarter of what
  // a fresh index of the same files holds.
  return left >= kMinGarbage && left > writer.entries().size() / 8;
}

bool CompactEntries(FileIndex& index, UsnMonitor& monitor, EntryWriter& writer) {
  NameIndex& names = index.nameIndex;
  if (!live_detail::IdMapIsCurrent(index, writer, monitor) || !names.Attached(writer)) return false;
  const EntryStore& entries = writer.entries();
  constexpr uint8_t kDeleted = EntryStore::kDeleted, kRecycled = EntryStore::kRecycled;
  size_t live = 0;
  size_t recycled = 0;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    const uint8_t flags = entries.Record(i).flags;
    if ((flags & kDeleted) == 0) {
      ++live;
    } else if ((flags & kRecycled) != 0) {
      ++recycled;
    }
  }
  // What went into the recycle bin is kept for a move back, unless the bin
  // grows large next to the index: then it comes back with the next run.
  const bool keepRecycled = recycled <= live / 8;
  std::vector<uint32_t> oldToNew(entries.size(), kNoEntry);
  uint32_t count = 0;
  for (uint32_t i = 0; i < entries.size(); ++i) {
    const uint8_t flags = entries.Record(i).flags;
    if ((flags & kDeleted) == 0 || (keepRecycled && (flags & kRecycled) != 0)) {
      oldToNew[i] = count++;
    }
  }
  // Everything new is made while searches read on; the one exclusive hold
  // below only swaps it in, so no reader meets old numbers in the new
  // entries or new numbers in old tables.
  EntryStore fresh = entries.Compacted(oldToNew, count);
  // Room for new files, as StartLiveUpdate leaves it: growing under the
  // exclusive hold later would keep every search waiting.
  fresh.reserve(size_t(count) + count / 16 + 1024);
  NameTables tables = BuildNameTables(fresh, names.Tables(writer).ngramEnabled);
  UsnMonitor::IdMap ids = monitor.RenumberedIds(oldToNew);
  {
    const EntryWriteView hold(writer);
    std::swap(hold.store(), fresh);
    SwapNameTables(names, hold, tables);
    monitor.SwapIds(ids);
    index.Garbage(hold) = {};
    if (index.renumberedCallback) index.renumberedCallback(oldToNew, count);
  }
  live_detail::Notify(index);
  // The old entries, tables and map are freed here, without the lock.
  return true;
}

}  // namespace zw

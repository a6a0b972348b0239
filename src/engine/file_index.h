// The process-wide index: every entry of every indexed drive, the drive set,
// the name index, the indexing thread and the callbacks it reports through.
//
// The entries are reached only through the views of index/entry_guard.h,
// which take the locks in the one order (writer mutex, then the entries'
// lock; the id-map lock innermost). The name index's tables and the record
// of the last run are guarded by the same locks and ask for the same views.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "index/entry_guard.h"
#include "platform/usn_journal.h"
#include "search/name_index.h"

namespace zw {

// What the last indexing run appended, for live update.
struct IndexedRun {
  // Counts indexing runs; changed with the entries when a run empties them,
  // so that live update can tell entry numbers of an earlier run.
  uint64_t number = 0;
  // Where each drive's change journal stood just before its MFT was read;
  // live update starts there.
  std::map<char16_t, platform::UsnJournalPosition> journalPositions;
  // The drives whose entries the run appended: live update follows these
  // only (a drive that failed, or that a stop left out, has nothing to
  // change).
  std::set<char16_t> drives;
};

// What live changes have left in the entries since they were built or last
// compacted: entries deleted and names replaced by renames. Live update
// compacts the entries once it is a large enough share of them.
struct EntryGarbage {
  uint64_t deadEntries = 0;
  uint64_t replacedNames = 0;
};

struct FileIndex {
  FileIndex() = default;
  FileIndex(const FileIndex&) = delete;
  FileIndex& operator=(const FileIndex&) = delete;
  // Stops and joins a running indexThread. Destroying the index on that
  // thread itself (from a callback of its own run) can neither wait for the
  // run nor leave it running on a destroyed index: the process ends there.
  ~FileIndex() noexcept;

  std::function<void(char16_t drive, uint64_t done, uint64_t expected)> progressCallback;
  std::function<void(bool success, uint64_t entryCount)> completeCallback;
  std::function<void(char16_t drive, uint64_t entryCount)> driveDoneCallback;
  std::set<char16_t> drives;
  std::mutex drivesMutex;
  GuardedEntries entries;
  NameIndex nameIndex{entries};
  std::atomic<bool> indexing{false};
  std::atomic<bool> stopRequested{false};
  std::thread indexThread;
  std::function<void()> changedCallback;
  // The entries were renumbered (CompactEntries): entry i is oldToNew[i] now,
  // kNoEntry when it is gone, and `count` entries are left. Called while the
  // entries are held exclusively, before any reader can see the new numbers:
  // whatever keeps entry numbers outside the index follows them here.
  std::function<void(const std::vector<uint32_t>& oldToNew, uint32_t count)> renumberedCallback;

  // The last run's record: read under any view of the entries, changed by
  // the writer (its number only together with the entries, under a write view).
  const IndexedRun& Run(const EntryAccess&) const { return run_; }
  IndexedRun& Run(const WriterAccess&) { return run_; }
  // Read and changed by the writer only.
  EntryGarbage& Garbage(const WriterAccess&) { return garbage_; }

 private:
  IndexedRun run_;
  EntryGarbage garbage_;
};

// The one process-wide index, built on first use.
FileIndex& GetIndex();

// The one way to (re)build the name index over the entries as they stand,
// with or without n-grams. Holds the writer mutex for the build, which keeps
// every writer out while searches and cells go on reading the old tables;
// the entries' lock is held exclusively only to swap the new ones in.
// Nobody needs to call it after live changes: they reach the name index as
// they are applied.
void RebuildNameIndex(FileIndex& index, bool ngrams);
// The same for the writer that holds the writer mutex already.
void RebuildNameIndex(FileIndex& index, EntryWriter& writer, bool ngrams);

}  // namespace zw

// An indexing run: every selected drive in ascending order, each appended and
// searchable as soon as it is done, on FileIndex::indexThread. The window and
// the command line start and stop runs through the same functions.
#pragma once

#include <cstdint>
#include <functional>
#include <set>

#include "platform/usn_journal.h"

namespace zw {

struct FileIndex;

// Indexes one drive into the index; true when its entries were appended.
using DriveIndexer = std::function<bool(FileIndex& index, char16_t letter)>;

struct IndexRunOptions {
  // Build the name index after each drive and at the end. A caller that only
  // reads the entries (the command line's listing) saves the time and memory.
  bool nameIndex = true;
  // The stored FastSearch option, read by the caller when it starts the run:
  // whether the name index holds n-gram lists.
  bool fastSearch = true;
  // Defaults to IndexDrive.
  DriveIndexer indexer;
  // Where each drive's journal position comes from, taken just before the
  // drive is read so that live update misses nothing made meanwhile. Only
  // queried, never created. Empty: no positions (nothing follows the run).
  platform::UsnJournalFactory journalFactory = platform::OpenSystemUsnJournal;
};

// The body of indexThread: empties the index, indexes each drive of
// `index.drives` (noting its journal position first), rebuilds the name index
// after each drive and at the end (unless `options.nameIndex` is false),
// clears `indexing` and then calls completeCallback. Searches, cells and
// filters read the drives already appended meanwhile.
void RunIndexing(FileIndex& index);
void RunIndexing(FileIndex& index, const IndexRunOptions& options);

struct IndexingCallbacks {
  std::function<void(char16_t drive, uint64_t done, uint64_t expected)> progress;
  std::function<void(char16_t drive, uint64_t entryCount)> driveDone;
  std::function<void(bool success, uint64_t entryCount)> complete;
};

// Stops a running run and waits for it, replaces the drive set, installs the
// callbacks and, when the set is not empty, starts indexThread. True when a
// run was started. Storing the selection is the caller's.
// Throws std::system_error (resource_deadlock_would_occur) when called on the
// indexing thread itself, and whatever std::thread throws when it cannot start.
[[nodiscard]] bool StartIndexRun(FileIndex& index, const std::set<char16_t>& drives,
                                 IndexingCallbacks callbacks, IndexRunOptions options = {});

// Asks the run to stop at its next record; returns at once.
void RequestStop(FileIndex& index);

// Waits for indexThread to end (nothing when it is not running). On the
// indexing thread itself it throws std::system_error with
// errc::resource_deadlock_would_occur instead of waiting forever.
void JoinIndexThread(FileIndex& index);

}  // namespace zw

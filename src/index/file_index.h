// The process-wide index: every entry of every indexed drive, the drive set,
// the name index, the indexing thread and the callbacks it reports through.
//
// Locking: every change of `entries` (clear, reserve, append, rename or delete
// in place) holds `entriesMutex` and then `nameIndex.lock` exclusively. Every
// reader on another thread holds `nameIndex.lock` shared while it reads, and
// keeps no pointer to an entry after releasing it. Order: entriesMutex, name
// index lock, id-map lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "index/entry_store.h"
#include "platform/usn_journal.h"
#include "search/name_index.h"

namespace zw {

struct FileIndex {
  FileIndex() = default;
  FileIndex(const FileIndex&) = delete;
  FileIndex& operator=(const FileIndex&) = delete;
  // Stops and joins a running indexThread. On that thread itself it throws
  // std::system_error (resource_deadlock_would_occur) instead of waiting.
  ~FileIndex() noexcept(false);

  std::function<void(char16_t drive, uint64_t done, uint64_t expected)> progressCallback;
  std::function<void(bool success, uint64_t entryCount)> completeCallback;
  std::function<void(char16_t drive, uint64_t entryCount)> driveDoneCallback;
  std::set<char16_t> drives;
  std::mutex drivesMutex;
  EntryStore entries;
  std::mutex entriesMutex;
  NameIndex nameIndex;
  std::atomic<bool> indexing{false};
  std::atomic<bool> stopRequested{false};
  std::thread indexThread;
  std::function<void()> changedCallback;
  // Counts indexing runs; changed with the entries when a run empties them,
  // so that live update can tell entry numbers of an earlier run.
  uint64_t runNumber = 0;
  // Where each drive's change journal stood just before its MFT was read;
  // live update starts there. Guarded by entriesMutex.
  std::map<char16_t, platform::UsnJournalPosition> journalPositions;
  // The drives whose entries the last run appended: live update follows these
  // only (a drive that failed, or that a stop left out, has nothing to
  // change). Guarded by entriesMutex.
  std::set<char16_t> indexedDrives;
};

// The one process-wide index, built on first use.
FileIndex& GetIndex();

// The entry at `n`, or none when `n` is past the end. Works during a run too:
// drives already appended are there, the one being scanned is not yet. The
// caller must hold `index.nameIndex.lock` shared (or `entriesMutex`) for as
// long as it uses the entry.
std::optional<EntryRef> LookupEntry(const FileIndex& index, uint32_t n);

// The one way to (re)build the name index over the entries as they stand,
// with or without n-grams. Holds entriesMutex for the build, which keeps
// every writer out while searches and cells go on reading the old tables;
// the name index lock is held exclusively only to swap the new ones in.
// Nobody needs to call it after live changes: they reach the name index as
// they are applied.
void RebuildNameIndex(FileIndex& index, bool ngrams);
// The same for a caller that already holds entriesMutex.
void RebuildNameIndexHoldingEntries(FileIndex& index, bool ngrams);

}  // namespace zw

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
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "index/file_entry.h"
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
  std::vector<FileEntry> entries;
  std::mutex entriesMutex;
  NameIndex nameIndex;
  std::atomic<bool> indexing{false};
  std::atomic<bool> stopRequested{false};
  std::thread indexThread;
  std::function<void()> changedCallback;
};

// The one process-wide index, built on first use.
FileIndex& GetIndex();

// The entry at `n`, or null while indexing or when `n` is past the end. The
// caller must hold `index.nameIndex.lock` shared (or `entriesMutex`) for as
// long as it uses the pointer.
const FileEntry* LookupEntry(const FileIndex& index, uint32_t n);

}  // namespace zw

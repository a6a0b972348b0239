#include "index/index_drive.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "index/build_paths.h"
#include "index/file_index.h"
#include "platform/last_error.h"

namespace zw {

namespace {

constexpr size_t kDefaultCapacity = 500000;

// The scan's record as an entry still without drive, number and path.
FileEntry EntryOf(ScanRecord& r) {
  FileEntry e;
  e.recordNumber = r.recordNumber;
  e.parentRecordNumber = r.parentRecordNumber;
  e.name = std::move(r.name);
  e.size = r.size;
  e.creationTime = r.creationTime;
  e.modificationTime = r.modificationTime;
  e.attributes = r.attributes;
  e.isFolder = r.isFolder;
  return e;
}

uint64_t NanosecondsSince(std::chrono::steady_clock::time_point start) {
  return uint64_t(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
          .count());
}

}  // namespace

bool IsMetadataPath(std::u16string_view path, char16_t letter) {
  return path.size() > 3 && FoldAscii(path[0]) == FoldAscii(letter) && path[1] == u':' &&
         path[2] == u'\\' && path[3] == u'$';
}

void DropMetadataEntries(std::vector<FileEntry>& entries, char16_t letter) {
  entries.erase(
      std::remove_if(entries.begin(), entries.end(),
                     [letter](const FileEntry& e) { return IsMetadataPath(e.path, letter); }),
      entries.end());
}

size_t AppendDriveEntries(FileIndex& index, char16_t letter, std::vector<FileEntry>& local) {
  EntryStore drive;
  drive.AppendValues(local, letter);  // releases `local`
  std::scoped_lock lock(index.entriesMutex);
  std::unique_lock nameLock(index.nameIndex.lock);
  const size_t first = index.entries.size();
  index.entries.Splice(std::move(drive));
  return index.entries.size() - first;
}

bool IndexDrive(FileIndex& index, char16_t letter) {
  IndexDriveStats stats;
  return IndexDrive(index, letter, stats);
}

bool IndexDrive(FileIndex& index, char16_t letter, IndexDriveStats& stats) {
  stats = IndexDriveStats{};
  VolumeReader reader;
  if (!reader.Open(letter)) {
    stats.openStatus = reader.openStatus;
    stats.openError = platform::LastError();
    return false;
  }
  stats.opened = true;

  RecordInfo info{};
  const uint64_t count = reader.GetRecordInfo(info) ? info.recordCount : 0;
  stats.recordCount = count;
  if (count != 0) {
    std::scoped_lock lock(index.entriesMutex);
    std::unique_lock nameLock(index.nameIndex.lock);
    if (index.entries.capacity() < index.entries.size() + count) {
      index.entries.reserve(index.entries.size() + size_t(count));
    }
  }

  std::vector<FileEntry> local;
  local.reserve(count != 0 ? size_t(count) : kDefaultCapacity);

  const auto scanStart = std::chrono::steady_clock::now();
  const bool scanned = ScanMft(
      reader,
      [&](ScanRecord& record) {
        if (index.stopRequested.load()) return false;
        local.push_back(EntryOf(record));
        return true;
      },
      [&](uint64_t done, uint64_t expected) {
        if (index.progressCallback) index.progressCallback(letter, done, expected);
      },
      &stats.counters);
  stats.scanNanoseconds = NanosecondsSince(scanStart);
  stats.scanned = local.size();
  stats.mftReadable = reader.layoutLoaded;
  if (!scanned || !reader.layoutLoaded) return false;

  const auto pathsStart = std::chrono::steady_clock::now();
  BuildPaths(reader, local, /*derivedFields=*/false);
  DropMetadataEntries(local, letter);
  stats.pathsNanoseconds = NanosecondsSince(pathsStart);

  stats.appended = AppendDriveEntries(index, letter, local);
#if defined(__GLIBC__)
  // The scan's million small strings are free now; hand their pages back
  // rather than keep them resident for as long as the index lives.
  malloc_trim(0);
#endif
  return true;
}

}  // namespace zw

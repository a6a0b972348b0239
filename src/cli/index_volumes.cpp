#include "cli/index_volumes.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "index/file_index.h"
#include "index/index_drive.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zw::cli {

namespace {

std::string SystemErrorText(uint32_t code) {
  if (code == 0) return {};
  std::string text = " (error " + std::to_string(code);
#ifndef _WIN32
  // POSIX keeps errno numbers.
  text += ": ";
  text += std::strerror(int(code));
#endif
  text += ")";
  return text;
}

std::string OpenFailureReason(const IndexDriveStats& stats) {
  switch (stats.openStatus) {
    case OpenStatus::Missing:
      return "no such volume or file" + SystemErrorText(stats.openError);
    case OpenStatus::Unreadable:
      return "cannot be read" + SystemErrorText(stats.openError);
    case OpenStatus::NotNtfs:
      return "not an NTFS volume";
    case OpenStatus::DamagedBootSector:
      return "damaged NTFS boot sector";
    case OpenStatus::Ok:
      break;
  }
  return "cannot be opened" + SystemErrorText(stats.openError);
}

// Heap bytes that one string owns, allocator overhead included. A string
// short enough to live inside the object (the small-string buffer) owns none.
uint64_t StringHeapBytes(const std::u16string& s) {
  const auto* object = reinterpret_cast<const char*>(&s);
  const auto* data = reinterpret_cast<const char*>(s.data());
  if (data >= object && data < object + sizeof s) return 0;
#if defined(__GLIBC__)
  // glibc: the usable size of the block plus the chunk's size word.
  return malloc_usable_size(const_cast<char*>(data)) + sizeof(size_t);
#else
  // Elsewhere, the usual 16-byte granule plus a 16-byte header.
  const uint64_t request = (uint64_t(s.capacity()) + 1) * sizeof(char16_t);
  return (request + 15) / 16 * 16 + 16;
#endif
}

}  // namespace

IndexingFigures IndexDrives(CliContext& context, FileIndex& index) {
  IndexingFigures figures;
  if (context.drives.empty()) {
#ifdef _WIN32
    PrintError("no drive given; name one with --drive D");
#else
    PrintError(
        "no volume given; bind one with --drive D=PATH (an NTFS image "
        "or block device)");
#endif
    context.badInput = true;
    return figures;
  }
  for (const DriveArg& drive : context.drives) {
    IndexDriveStats stats;
    const bool ok = IndexDrive(index, drive.letter, stats);
    figures.records += stats.counters.recordsRead;
    figures.scanNanoseconds += stats.scanNanoseconds;
    figures.pathsNanoseconds += stats.pathsNanoseconds;
    if (ok) continue;
    context.badInput = true;
    if (!stats.opened) {
      PrintError(DriveLabel(drive) + ": " + OpenFailureReason(stats));
    } else if (!stats.mftReadable) {
      PrintError(DriveLabel(drive) + ": damaged NTFS volume: the MFT cannot be located");
    } else {
      PrintError(DriveLabel(drive) + ": the MFT scan failed");
    }
  }
  std::shared_lock lock(index.nameIndex.lock);
  figures.entries = index.entries.size();
  return figures;
}

uint64_t EntryBytes(const FileIndex& index) {
  // Only the used part of the vector counts: capacity reserved past the end
  // is never touched, so the system never makes it resident.
  uint64_t bytes = uint64_t(index.entries.size()) * sizeof(FileEntry);
  for (const FileEntry& e : index.entries) {
    bytes += StringHeapBytes(e.name) + StringHeapBytes(e.lowerName) + StringHeapBytes(e.path) +
             StringHeapBytes(e.extension) + StringHeapBytes(e.lowerExtension);
  }
  return bytes;
}

void PrintIndexingStats(const CliContext& context, const IndexingFigures& figures,
                        const FileIndex& index) {
  constexpr uint64_t kMillion = 1000000;
  const auto total = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now() - context.start)
                         .count();
  PrintStat("records", figures.records);
  PrintStat("entries", figures.entries);
  PrintStat("scan", (figures.scanNanoseconds + kMillion / 2) / kMillion, "ms");
  PrintStat("paths", (figures.pathsNanoseconds + kMillion / 2) / kMillion, "ms");
  PrintStat("total", (uint64_t(total) + kMillion / 2) / kMillion, "ms");
  PrintStat("peak-rss", (PeakResidentBytes() + (1 << 19)) >> 20, "MiB");
  std::shared_lock lock(index.nameIndex.lock);
  const uint64_t count = index.entries.size();
  PrintStat("bytes-per-entry", count == 0 ? 0 : (EntryBytes(index) + count / 2) / count);
}

}  // namespace zw::cli

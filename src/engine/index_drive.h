// One drive of an indexing run: open the volume, scan its MFT, complete the
// entries, drop the volume's own "$" entries and append the rest to the index.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "index/entry_store.h"
#include "index/file_entry.h"
#include "ntfs/mft_scan.h"
#include "ntfs/volume_reader.h"

namespace zw {

struct FileIndex;

// What happened to one drive, for the command line's messages and figures.
struct IndexDriveStats {
  OpenStatus openStatus = OpenStatus::Ok;  // why Open failed
  uint32_t openError = 0;                  // system error number of a failed Open
  bool opened = false;
  bool mftReadable = false;  // the MFT's own extents could be read from record 0
  // The drive did not fit in memory (or in the index's 32-bit numbering):
  // nothing of it was appended.
  bool outOfMemory = false;
  uint64_t recordCount = 0;  // MFT records the volume declares (0: unknown)
  uint64_t volumeBytes = 0;  // what the boot sector says the volume holds (0: unknown)
  uint64_t deviceBytes = 0;  // what the device or image holds (0: unknown)
  ScanCounters counters{};
  uint64_t scanned = 0;   // entries the scan delivered
  uint64_t appended = 0;  // entries appended after the "$" filter
  uint64_t scanNanoseconds = 0;
  uint64_t pathsNanoseconds = 0;
};

// True when the drive's entries were appended. A drive whose MFT cannot be
// located, or that does not fit in memory, appends nothing and fails: an
// empty drive must not pass for a read one.
bool IndexDrive(FileIndex& index, char16_t letter);
bool IndexDrive(FileIndex& index, char16_t letter, IndexDriveStats& stats);

// Appends a drive's own store, made off the lock; `drive` is used up.
size_t AppendDriveStore(FileIndex& index, EntryStore&& drive);

}  // namespace zw

// One drive's entries as the MFT scan delivers them, made straight into the
// compact store the index keeps: no path is built as a string, and parents
// become links once every record has been read.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "index/entry_store.h"
#include "ntfs/scan_record.h"

namespace zw {

struct ScannedDrive {
  char16_t letter = 0;
  EntryStore store;
  std::vector<uint64_t> parentRecords;  // per entry, until linked

  explicit ScannedDrive(char16_t driveLetter) : letter(driveLetter) {}
  void reserve(size_t n);
  void Add(const ScanRecord& scanned);
  size_t size() const { return store.size(); }
};

// Links each entry to its parent folder, asks the file system for sizes the
// MFT left at 0, and drops the volume's own "$" entries with what hangs
// below them. Paths, parents and order come out as BuildPaths and
// DropMetadataEntries give them; where links alone cannot (a record number
// seen twice, a loop), it goes that way. An entry with more ancestors than
// paths follow starts a path cut to kCutPathMark and its own name, marked as
// cut, as does everything below it.
void CompleteScannedDrive(ScannedDrive& drive);

// The volume's metadata and what hangs below it: paths that begin with the
// letter (either case), ":\" and "$".
bool IsMetadataPath(std::u16string_view path, char16_t letter);
// Removes those entries, keeping the order of the rest.
void DropMetadataEntries(std::vector<FileEntry>& entries, char16_t letter);

}  // namespace zw

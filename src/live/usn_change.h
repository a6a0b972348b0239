// One change read from a volume's change journal, and the key that finds the
// entry a journal record speaks of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/records.h"

namespace zw {

enum class UsnChangeKind : uint32_t { Created = 0, Deleted = 1, Renamed = 2, Modified = 3 };

struct UsnChange {
  UsnChangeKind kind = UsnChangeKind::Created;
  char16_t drive = 0;
  uint64_t fileRef = 0;    // all 64 bits: record number below, sequence number on top
  uint64_t parentRef = 0;  // for a rename: the new parent
  std::u16string name;
  bool isDirectory = false;
  int64_t usn = 0;        // where the record stands in the journal
  int64_t timeStamp = 0;  // when it was written: 100 ns steps since 1601, UTC
};

// Drive letter in the top 16 bits, the 48-bit MFT record number below. The
// sequence number is dropped, so a reused record maps to the same key.
using IdKey = uint64_t;
inline constexpr IdKey MakeIdKey(char16_t drive, uint64_t ref) {
  return (uint64_t(drive) << 48) | (ref & kRecordNumberMask);
}

// What the monitor asks the journal for: data extended or truncated, file
// created or deleted, new name after a rename, basic information changed.
inline constexpr uint32_t kUsnReasonMask = 0x0000A306;
// The smallest record accepted: the name starts at offset 60.
inline constexpr size_t kUsnRecordMinLength = 60;

enum class RecordVerdict {
  Change,   // `out` holds a change
  Ignored,  // a sound record that yields no change (not closing, filtered, no kind)
  Damaged,  // lengths that do not fit; never trusted
};

// Turns one USN_RECORD_V2 of `available` bytes into a change: only closing
// records count, transient and recycle-bin files being created are dropped,
// and a delete wins over a create. Writes the "USN ..." debugger line for
// creates, deletes and renames.
RecordVerdict DecodeUsnRecord(char16_t letter, const uint8_t* record, size_t available,
                              UsnChange& out);

// Files the recycle bin makes ($I... holds the original path, $R... the data).
// `includeInfoFiles` false matches only $R.
bool IsRecycleBinName(std::u16string_view name, bool includeInfoFiles);
// SQLite's -journal, -wal and -shm companions, which come and go constantly.
bool IsTransientDatabaseName(std::u16string_view name);

const char* UsnChangeKindName(UsnChangeKind kind);

}  // namespace zw

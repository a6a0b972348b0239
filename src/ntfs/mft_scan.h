// The walk over every MFT record of a volume, turning each live file and
// folder into a ScanRecord (record number, parent, name, size, times,
// attributes). Paths and derived fields are made later, once all are read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "ntfs/scan_record.h"
#include "ntfs/volume_reader.h"

namespace zw {

// What a scan met. Damaged records (not a record, torn write, broken
// attributes) are counted apart from records the volume could not deliver.
struct ScanCounters {
  uint64_t recordsRead = 0;     // records that arrived from the volume
  uint64_t inUse = 0;           // of those, intact and marked in use
  uint64_t delivered = 0;       // entries handed to the callback
  uint64_t damaged = 0;         // skipped as damaged
  uint64_t ioErrors = 0;        // records the volume failed to deliver
  uint64_t unused = 0;          // never-written records (all-zero signature)
  uint64_t extensions = 0;      // in-use extension records, reached through their base
  uint64_t nameless = 0;        // in use, intact, but without a usable name
  uint64_t expected = 0;        // records the scan set out to read
  uint64_t damagedExtents = 0;  // MFT extents dropped as damaged (overlapping, off the volume)
};

// Scans all records in MFT order. `onEntry` gets each live file and folder
// (record 16 and up) on the calling thread and may move from it; returning
// false stops the scan, and so does `stop` once set (looked at every record,
// so it is heard whatever the records hold). `onProgress` gets (records
// done, records expected). False only when the volume is not open.
bool ScanMft(VolumeReader& reader, const std::function<bool(ScanRecord&)>& onEntry,
             const std::function<void(uint64_t done, uint64_t expected)>& onProgress,
             ScanCounters* counters = nullptr, const std::atomic<bool>* stop = nullptr);

// Fills `entry` from one fixed-up record of `reader.bytesPerRecord` bytes.
// True when the entry got a name. Extension records and records whose
// attributes are damaged give false.
bool ParseRecord(VolumeReader& reader, const uint8_t* record, ScanRecord& entry);

// Looks through an attribute list for a name (and, for a file still without
// one, a size) held in other records. True when a name was found there.
bool ReadAttributeList(VolumeReader& reader, const uint8_t* list, size_t length,
                       uint64_t baseRecord, ScanRecord& entry);

// The whole content of a non-resident attribute of at most 16 MiB.
bool ReadNonResident(VolumeReader& reader, const uint8_t* attribute, size_t attributeLength,
                     std::vector<uint8_t>& out);

}  // namespace zw

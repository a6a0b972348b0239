// The MFT cut into batches of whole records, each read with one request from
// one extent where it can be, and parsed apart from the others: two threads
// can each read and parse a batch of their own, and the scan hands the
// results out in record order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ntfs/scan_record.h"
#include "ntfs/volume_reader.h"

namespace zw::ntfs {

// What one record came to; the scan counts each as it hands the batch out.
// The in-use outcomes come last, from System on: the counting relies on it.
enum class RecordOutcome : uint8_t {
  NotRead,            // past the MFT's size or in no extent
  IoError,            // the volume failed to deliver it
  Unused,             // never written (all-zero signature)
  DamagedRecord,      // not a record, or a torn write
  NotInUse,           // intact, free
  System,             // in use, one of the volume's own files
  Extension,          // in use, reached through its base record
  DamagedAttributes,  // in use, but its attributes are broken
  Nameless,           // in use and intact, but without a usable name
  Named,              // a live file or folder: the next of `named`
};

struct MftBatch {
  uint64_t first = 0;
  uint32_t count = 0;
  // One read at `volumeOffset` can hold the batch; else (or when that read
  // fails) its records are read one by one.
  bool whole = false;
  uint64_t volumeOffset = 0;
  std::vector<RecordOutcome> outcomes;  // one a record, once parsed
  // The Named ones in order, their names end to end in `names`: read in
  // one sweep by the thread that hands them out, not one heap block each.
  std::vector<ScanRecord> named;  // names left empty
  std::vector<uint32_t> nameEnds;
  std::u16string names;
  ScanRecord parsing;  // the record being parsed
};

// The `k`th Named record of a parsed batch into `out`.
void TakeNamed(const MftBatch& batch, size_t k, ScanRecord& out);

// Hands out the batches in record order; none crosses an extent.
class MftBatchPlan {
 public:
  static constexpr size_t kBatchBytes = 256 * 1024;  // stays in a core's cache while parsed

  MftBatchPlan(const VolumeReader& reader, uint64_t recordCount);

  // The next batch's place in `batch`; false after the last.
  bool Next(MftBatch& batch);

 private:
  const VolumeReader& reader_;
  const uint64_t recordCount_;
  const uint64_t batchRecords_;
  uint64_t next_ = 0;
};

// Reads and parses every record of a planned batch into `batch`, using
// `buffer` for the raw records. Gives up (leaving the rest NotRead) once
// `stopped` says so. More than one batch may be parsed at once, on as many
// threads, when the reader's layout is loaded.
void ParseBatch(VolumeReader& reader, MftBatch& batch, std::vector<uint8_t>& buffer,
                const std::function<bool()>& stopped);

}  // namespace zw::ntfs

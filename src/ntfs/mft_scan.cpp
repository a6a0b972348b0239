#include "ntfs/mft_scan.h"

#include <algorithm>

#include "ntfs/mft_batches.h"
#include "ntfs/ondisk.h"
#include "ntfs/record.h"
#include "ntfs/record_parse.h"

namespace zw {

namespace {

constexpr uint64_t kDefaultRecordCount = 1000000;
constexpr uint64_t kFirstUserRecord = 16;  // 0..15 are the volume's own files
constexpr uint64_t kProgressStep = 10000;
// Below this a second thread costs more than it saves.
constexpr uint64_t kThreadedMinRecords = 8192;

struct Scan {
  VolumeReader& reader;
  const std::function<bool(ScanRecord&)>& onEntry;
  ScanCounters& counters;
  ScanRecord entry;

  // False when the callback asked to stop.
  bool Take(uint64_t n, uint8_t* record, RecordStatus status) {
    ntfs::Bytes rec{record, reader.bytesPerRecord};
    switch (status) {
      case RecordStatus::OutOfRange:
        return true;
      case RecordStatus::IoError:
      case RecordStatus::PastEnd:
        ++counters.ioErrors;
        return true;
      case RecordStatus::BadSignature:
        ++counters.recordsRead;
        ++(ntfs::RecordSignature(rec) == 0 ? counters.unused : counters.damaged);
        return true;
      case RecordStatus::FixupMismatch:
        ++counters.recordsRead;
        ++counters.damaged;
        return true;
      case RecordStatus::Ok:
        ++counters.recordsRead;
        break;
    }
    const uint16_t flags = ntfs::RecordFlags(rec);
    if (!(flags & ntfs::kRecordInUse)) return true;
    ++counters.inUse;
    if (n < kFirstUserRecord) return true;

    entry.recordNumber = n;
    entry.sequenceNumber = ntfs::RecordSequence(rec);
    entry.parentRecordNumber = 0;
    entry.name.clear();
    entry.size = 0;
    entry.creationTime = 0;
    entry.modificationTime = 0;
    entry.attributes = 0;
    entry.isFolder = (flags & ntfs::kRecordIsDirectory) != 0;
    switch (ntfs::ParseRecordOutcome(reader, record, entry)) {
      case ntfs::ParseOutcome::Extension:
        ++counters.extensions;
        return true;
      case ntfs::ParseOutcome::Damaged:
        ++counters.damaged;
        return true;
      case ntfs::ParseOutcome::Nameless:
        ++counters.nameless;
        return true;
      case ntfs::ParseOutcome::Named:
        break;
    }
    ++counters.delivered;
    return !onEntry || onEntry(entry);
  }
};

RecordStatus CheckBatchRecord(uint8_t* record, uint32_t size) {
  if (ntfs::RecordSignature(ntfs::Bytes{record, size}) != ntfs::kFileSignature)
    return RecordStatus::BadSignature;
  if (ntfs::ApplyFixups(record, size) != ntfs::FixupResult::Ok) return RecordStatus::FixupMismatch;
  return RecordStatus::Ok;
}

}  // namespace

bool ScanMft(VolumeReader& reader, const std::function<bool(ScanRecord&)>& onEntry,
             const std::function<void(uint64_t done, uint64_t expected)>& onProgress,
             ScanCounters* counters, const std::atomic<bool>* stop) {
  ScanCounters local;
  ScanCounters& c = counters ? *counters : local;
  c = ScanCounters{};
  if (!reader.handle.IsOpen()) return false;
  if (!reader.layoutLoaded) reader.LoadMftLayout();

  uint64_t expected = 0;
  RecordInfo info;
  if (reader.GetRecordInfo(info)) expected = info.recordCount;
  if (expected == 0) expected = kDefaultRecordCount;
  // A damaged size must not send the scan through billions of records that
  // no extent holds.
  const uint64_t covered = reader.RecordsCovered();
  if (covered != 0 && covered < expected) expected = covered;
  // Nor can the MFT hold more records than the volume or the device.
  expected = std::min(expected, reader.RecordsThatFit());
  c.expected = expected;
  c.damagedExtents = reader.damagedExtents;

  Scan scan{reader, onEntry, c, ScanRecord{}};
  std::vector<uint8_t> single(reader.bytesPerRecord);
  const uint32_t bpr = reader.bytesPerRecord;
  uint64_t n = 0;
  uint64_t lastReport = 0;
  bool reported = false;
  bool stopped = false;
  {
    ntfs::MftBatchReader batches(reader, expected, expected >= kThreadedMinRecords);
    while (!stopped) {
      ntfs::MftBatch* batch = batches.Next();
      if (batch == nullptr) break;
      n = batch->first;
      if (onProgress && (!reported || n / kProgressStep != lastReport / kProgressStep)) {
        onProgress(n, expected);
        reported = true;
        lastReport = n;
      }
      for (uint32_t i = 0; i < batch->count && !stopped; ++i) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
          stopped = true;
          break;
        }
        const uint64_t r = batch->first + i;
        if (batch->read) {
          uint8_t* record = batch->data.data() + size_t{i} * bpr;
          stopped = !scan.Take(r, record, CheckBatchRecord(record, bpr));
        } else {
          const RecordStatus status = reader.ReadRecordChecked(r, single.data());
          if (status == RecordStatus::PastEnd) {
            // The rest of the batch lies further on in the same extent, so
            // past the end of the volume too.
            c.ioErrors += batch->count - i;
            break;
          }
          stopped = !scan.Take(r, single.data(), status);
        }
      }
      if (!stopped) n = batch->first + batch->count;
    }
  }
  if (onProgress) onProgress(n, n);
  return true;
}

}  // namespace zw

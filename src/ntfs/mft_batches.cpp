#include "ntfs/mft_batches.h"

#include <algorithm>

#include "ntfs/ondisk.h"
#include "ntfs/record.h"
#include "ntfs/record_parse.h"
#include "ntfs/volume_io.h"

namespace zw::ntfs {

namespace {

constexpr uint64_t kFirstUserRecord = 16;  // 0..15 are the volume's own files

RecordStatus CheckBatchRecord(uint8_t* record, uint32_t size) {
  if (RecordSignature(Bytes{record, size}) != kFileSignature) return RecordStatus::BadSignature;
  if (ApplyFixups(record, size) != FixupResult::Ok) return RecordStatus::FixupMismatch;
  return RecordStatus::Ok;
}

// A fixed-up record of `status` into its outcome; a live one is parsed into
// the batch's next free ScanRecord.
RecordOutcome Classify(VolumeReader& reader, uint64_t n, const uint8_t* record, RecordStatus status,
                       MftBatch& batch) {
  const Bytes rec{record, reader.bytesPerRecord};
  switch (status) {
    case RecordStatus::OutOfRange:
      return RecordOutcome::NotRead;
    case RecordStatus::IoError:
    case RecordStatus::PastEnd:
      return RecordOutcome::IoError;
    case RecordStatus::BadSignature:
      return RecordSignature(rec) == 0 ? RecordOutcome::Unused : RecordOutcome::DamagedRecord;
    case RecordStatus::FixupMismatch:
      return RecordOutcome::DamagedRecord;
    case RecordStatus::Ok:
      break;
  }
  const uint16_t flags = RecordFlags(rec);
  if (!(flags & kRecordInUse)) return RecordOutcome::NotInUse;
  if (n < kFirstUserRecord) return RecordOutcome::System;

  ScanRecord& entry = batch.parsing;
  entry.recordNumber = n;
  entry.sequenceNumber = RecordSequence(rec);
  entry.parentRecordNumber = 0;
  entry.name.clear();
  entry.size = 0;
  entry.creationTime = 0;
  entry.modificationTime = 0;
  entry.attributes = 0;
  entry.isFolder = (flags & kRecordIsDirectory) != 0;
  switch (ParseRecordOutcome(reader, record, entry)) {
    case ParseOutcome::Extension:
      return RecordOutcome::Extension;
    case ParseOutcome::Damaged:
      return RecordOutcome::DamagedAttributes;
    case ParseOutcome::Nameless:
      return RecordOutcome::Nameless;
    case ParseOutcome::Named:
      break;
  }
  batch.names += entry.name;
  batch.nameEnds.push_back(static_cast<uint32_t>(batch.names.size()));
  entry.name.clear();  // kept in `names`: the copy need not carry it
  batch.named.push_back(entry);
  return RecordOutcome::Named;
}

}  // namespace

MftBatchPlan::MftBatchPlan(const VolumeReader& reader, uint64_t recordCount)
    : reader_(reader),
      recordCount_(recordCount),
      batchRecords_(std::max<uint64_t>(1, kBatchBytes / reader.bytesPerRecord)) {}

bool MftBatchPlan::Next(MftBatch& batch) {
  if (next_ >= recordCount_) return false;
  const uint32_t bpr = reader_.bytesPerRecord;
  batch.first = next_;
  batch.whole = false;
  batch.count = static_cast<uint32_t>(std::min(recordCount_ - next_, batchRecords_));
  if (reader_.layoutLoaded && !reader_.runs.empty()) {
    const uint64_t offset = next_ * bpr;
    uint64_t volumeOffset = 0, contiguous = 0;
    uint64_t k = 0;
    if (reader_.LocateMftByte(offset, volumeOffset, contiguous)) {
      k = std::min<uint64_t>(batch.count, contiguous / bpr);
      if (reader_.mftBytes != 0)
        k = std::min(k, offset < reader_.mftBytes ? (reader_.mftBytes - offset) / bpr : 0);
    }
    if (k == 0) {
      batch.count = 1;  // a record split across extents, in none, or past the end
    } else {
      batch.count = static_cast<uint32_t>(k);
      batch.whole = true;
      batch.volumeOffset = volumeOffset;
    }
  }
  next_ += batch.count;
  return true;
}

void ParseBatch(VolumeReader& reader, MftBatch& batch, std::vector<uint8_t>& buffer,
                const std::function<bool()>& stopped) {
  const uint32_t bpr = reader.bytesPerRecord;
  batch.outcomes.assign(batch.count, RecordOutcome::NotRead);
  batch.named.clear();
  batch.nameEnds.clear();
  batch.names.clear();
  bool whole = false;
  if (batch.whole) {
    buffer.resize(size_t{batch.count} * bpr);
    whole = ReadVolumeBytes(reader.handle, batch.volumeOffset, buffer.data(), buffer.size());
  } else {
    buffer.resize(bpr);
  }
  for (uint32_t i = 0; i < batch.count; ++i) {
    if (stopped()) return;
    const uint64_t n = batch.first + i;
    uint8_t* record = buffer.data();
    RecordStatus status;
    if (whole) {
      record += size_t{i} * bpr;
      status = CheckBatchRecord(record, bpr);
    } else {
      status = reader.ReadRecordChecked(n, record);
      if (status == RecordStatus::PastEnd) {
        // The rest of the batch lies further on in the same extent, so past
        // the end of the volume too.
        std::fill(batch.outcomes.begin() + i, batch.outcomes.end(), RecordOutcome::IoError);
        return;
      }
    }
    batch.outcomes[i] = Classify(reader, n, record, status, batch);
  }
}

void TakeNamed(const MftBatch& batch, size_t k, ScanRecord& out) {
  std::u16string name = std::move(out.name);
  out = batch.named[k];
  const size_t begin = k == 0 ? 0 : batch.nameEnds[k - 1];
  name.assign(batch.names, begin, batch.nameEnds[k] - begin);
  out.name = std::move(name);
}

}  // namespace zw::ntfs

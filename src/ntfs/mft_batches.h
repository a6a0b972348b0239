// Hands out the MFT in record order as batches of whole records, each read
// with one request from one extent. A second thread may read the next
// batches while the caller parses the current one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "ntfs/volume_reader.h"

namespace zw::ntfs {

struct MftBatch {
  uint64_t first = 0;
  uint32_t count = 0;
  // True: `data` holds `count` raw records (no fixups yet). False: the batch
  // could not be read in one piece; read its records one by one.
  bool read = false;
  std::vector<uint8_t> data;
};

class MftBatchReader {
 public:
  static constexpr size_t kBatchBytes = 1024 * 1024;

  // The reader's layout must not change while this object lives: with
  // `threaded`, another thread reads its extents.
  MftBatchReader(VolumeReader& reader, uint64_t recordCount, bool threaded);
  ~MftBatchReader();
  MftBatchReader(const MftBatchReader&) = delete;
  MftBatchReader& operator=(const MftBatchReader&) = delete;

  // The next batch, or null after the last. Valid until the next call.
  MftBatch* Next();

 private:
  static constexpr size_t kSlots = 3;

  void Fill(uint64_t next, MftBatch& batch);
  void Produce() noexcept;

  VolumeReader& reader_;
  const uint64_t recordCount_;
  const uint64_t batchRecords_;
  MftBatch slots_[kSlots];

  // Without a thread: the next record to hand out.
  uint64_t next_ = 0;

  // With a thread.
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t produced_ = 0;     // batches filled
  uint64_t consumed_ = 0;     // batches released by the caller
  uint64_t producedEnd_ = 0;  // the record after the last batch filled
  bool holding_ = false;      // the caller holds slot consumed_ % kSlots
  bool finished_ = false;     // the thread is done (or failed) producing
  bool stop_ = false;
};

}  // namespace zw::ntfs

#include "ntfs/mft_batches.h"

#include <algorithm>

#include "ntfs/volume_io.h"

namespace zw::ntfs {

MftBatchReader::MftBatchReader(VolumeReader& reader, uint64_t recordCount, bool threaded)
    : reader_(reader),
      recordCount_(recordCount),
      batchRecords_(std::max<uint64_t>(1, kBatchBytes / reader.bytesPerRecord)) {
  // Records are read by the thread only through known extents; without them
  // the caller reads records one by one, which may load the layout.
  if (!threaded || !reader_.layoutLoaded) return;
  try {
    thread_ = std::thread([this] { Produce(); });
  } catch (...) {
    // No thread: read in line.
  }
}

MftBatchReader::~MftBatchReader() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void MftBatchReader::Fill(uint64_t next, MftBatch& batch) {
  const uint32_t bpr = reader_.bytesPerRecord;
  const uint64_t remaining = recordCount_ - next;
  batch.first = next;
  batch.read = false;
  batch.count = static_cast<uint32_t>(std::min(remaining, batchRecords_));
  if (!reader_.layoutLoaded || reader_.runs.empty()) return;

  const uint64_t offset = next * bpr;
  uint64_t volumeOffset = 0, contiguous = 0;
  uint64_t k = 0;
  if (reader_.LocateMftByte(offset, volumeOffset, contiguous)) {
    k = std::min<uint64_t>(batch.count, contiguous / bpr);
    if (reader_.mftBytes != 0)
      k = std::min(k, offset < reader_.mftBytes ? (reader_.mftBytes - offset) / bpr : 0);
  }
  if (k == 0) {
    // A record split across extents, in none, or past the end: one by one.
    batch.count = 1;
    return;
  }
  batch.count = static_cast<uint32_t>(k);
  batch.data.resize(static_cast<size_t>(k * bpr));
  batch.read = ReadVolumeBytes(reader_.handle, volumeOffset, batch.data.data(), batch.data.size());
}

void MftBatchReader::Produce() noexcept {
  uint64_t next = 0;
  try {
    for (;;) {
      size_t slot = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || produced_ - consumed_ < kSlots - 1; });
        if (stop_ || next >= recordCount_) break;
        slot = produced_ % kSlots;
      }
      Fill(next, slots_[slot]);
      next += slots_[slot].count;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++produced_;
        producedEnd_ = next;
      }
      changed_.notify_all();
    }
  } catch (...) {
    // Out of memory for a batch: the caller goes on without the thread.
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

MftBatch* MftBatchReader::Next() {
  if (!thread_.joinable()) {
    if (next_ >= recordCount_) return nullptr;
    Fill(next_, slots_[0]);
    next_ += slots_[0].count;
    return &slots_[0];
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (holding_) {
    ++consumed_;
    holding_ = false;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] { return produced_ > consumed_ || finished_; });
  if (produced_ > consumed_) {
    holding_ = true;
    return &slots_[consumed_ % kSlots];
  }
  // The thread has ended; whatever it did not reach is read in line.
  lock.unlock();
  thread_.join();
  next_ = producedEnd_;
  return Next();
}

}  // namespace zw::ntfs

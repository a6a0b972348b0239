#include "ntfs/mft_scan.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>

#include "ntfs/mft_batches.h"

namespace zw {

namespace {

constexpr uint64_t kDefaultRecordCount = 1000000;
constexpr uint64_t kProgressStep = 10000;
// Below this a second thread costs more than it saves.
constexpr uint64_t kThreadedMinRecords = 8192;

using ntfs::MftBatch;
using ntfs::RecordOutcome;

// Batches read and parsed ahead of the one handed out next, each in slot
// `batch % kSlots`. Either thread parses whichever batch is next to claim;
// only the scanning thread hands them out.
struct Ring {
  static constexpr uint64_t kSlots = 8;
  enum class State : uint8_t { Free, Parsing, Ready, Abandoned };

  explicit Ring(const VolumeReader& reader, uint64_t records) : plan(reader, records) {}

  // Claims the next batch into its slot, if one is left and its slot is free.
  // Called with `mutex` held.
  bool Claim(uint64_t& batch) {
    if (planned || claimed >= handedOut + kSlots) return false;
    if (!plan.Next(slots[claimed % kSlots])) {
      planned = true;
      return false;
    }
    batch = claimed++;
    states[batch % kSlots] = State::Parsing;
    return true;
  }

  std::mutex mutex;
  std::condition_variable_any changed;
  ntfs::MftBatchPlan plan;
  MftBatch slots[kSlots];
  State states[kSlots] = {};
  uint64_t claimed = 0;    // batches given a slot
  uint64_t handedOut = 0;  // batches whose records went to the callback
  bool planned = false;    // every batch has been claimed
};

// The helper's part: parse whatever batch is next until none is left. A
// batch it cannot finish (out of memory) is left for the scanning thread.
void ParseAhead(VolumeReader& reader, Ring& ring, std::stop_token quit,
                const std::atomic<bool>* stop) noexcept {
  std::vector<uint8_t> buffer;
  auto stopped = [&] {
    return quit.stop_requested() || (stop != nullptr && stop->load(std::memory_order_relaxed));
  };
  for (;;) {
    uint64_t batch = 0;
    {
      std::unique_lock lock(ring.mutex);
      if (!ring.changed.wait(lock, quit, [&] { return ring.planned || ring.Claim(batch); }) ||
          ring.planned)
        return;
    }
    bool parsed = true;
    try {
      ParseBatch(reader, ring.slots[batch % Ring::kSlots], buffer, stopped);
    } catch (...) {
      parsed = false;
    }
    {
      std::lock_guard lock(ring.mutex);
      ring.states[batch % Ring::kSlots] = parsed ? Ring::State::Ready : Ring::State::Abandoned;
    }
    ring.changed.notify_all();
    if (!parsed) return;
  }
}

// Counts one record's outcome; false for a live entry, which the caller
// hands on.
bool Count(RecordOutcome outcome, ScanCounters& c) {
  if (outcome == RecordOutcome::NotRead) return true;
  if (outcome == RecordOutcome::IoError) {
    ++c.ioErrors;
    return true;
  }
  ++c.recordsRead;
  if (outcome >= RecordOutcome::System) ++c.inUse;  // the in-use outcomes come last
  switch (outcome) {
    case RecordOutcome::Unused:
      ++c.unused;
      break;
    case RecordOutcome::DamagedRecord:
    case RecordOutcome::DamagedAttributes:
      ++c.damaged;
      break;
    case RecordOutcome::Extension:
      ++c.extensions;
      break;
    case RecordOutcome::Nameless:
      ++c.nameless;
      break;
    case RecordOutcome::Named:
      ++c.delivered;
      return false;
    default:
      break;
  }
  return true;
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

  auto stopRequested = [&] { return stop != nullptr && stop->load(std::memory_order_relaxed); };
  std::vector<uint8_t> buffer;
  ScanRecord entry;
  Ring ring(reader, expected);
  // After `ring`, so that it is asked to quit and joined while the ring is
  // still there. Without extents the records are read one by one, which may
  // load the layout: no second thread then.
  std::jthread helper;
  if (expected >= kThreadedMinRecords && reader.layoutLoaded &&
      std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::jthread(
          [&reader, &ring, stop](std::stop_token quit) { ParseAhead(reader, ring, quit, stop); });
    } catch (const std::system_error&) {
      // No thread to be had: this one parses every batch.
    }
  }

  uint64_t n = 0;
  uint64_t lastReport = 0;
  bool reported = false;
  bool stopped = false;
  for (uint64_t next = 0; !stopped; ++next) {
    MftBatch& batch = ring.slots[next % Ring::kSlots];
    {
      std::unique_lock lock(ring.mutex);
      Ring::State& state = ring.states[next % Ring::kSlots];
      // Parse ahead while the helper holds the batch wanted next.
      auto parse = [&](uint64_t k) {
        ring.states[k % Ring::kSlots] = Ring::State::Parsing;
        lock.unlock();
        ParseBatch(reader, ring.slots[k % Ring::kSlots], buffer, stopRequested);
        lock.lock();
        ring.states[k % Ring::kSlots] = Ring::State::Ready;
        ring.changed.notify_all();
      };
      while (state != Ring::State::Ready) {
        uint64_t mine = 0;
        if (state == Ring::State::Abandoned) {
          parse(next);
        } else if (next == ring.claimed) {
          if (!ring.Claim(mine)) break;  // the last was handed out
          parse(mine);
        } else if (ring.Claim(mine)) {
          parse(mine);
        } else {
          ring.changed.wait(lock);
        }
      }
      if (state != Ring::State::Ready) break;
    }
    n = batch.first;
    if (onProgress && (!reported || n / kProgressStep != lastReport / kProgressStep)) {
      onProgress(n, expected);
      reported = true;
      lastReport = n;
    }
    size_t named = 0;
    for (const RecordOutcome outcome : batch.outcomes) {
      if (stopRequested()) {
        stopped = true;
        break;
      }
      if (Count(outcome, c)) continue;
      if (!onEntry) continue;
      ntfs::TakeNamed(batch, named++, entry);
      if (!onEntry(entry)) {
        stopped = true;
        break;
      }
    }
    if (!stopped) n = batch.first + batch.count;
    {
      std::lock_guard lock(ring.mutex);
      ring.states[next % Ring::kSlots] = Ring::State::Free;
      ++ring.handedOut;
    }
    ring.changed.notify_all();
  }
  if (helper.joinable()) {
    helper.request_stop();
    helper.join();
  }
  if (onProgress) onProgress(n, n);
  return true;
}

}  // namespace zw

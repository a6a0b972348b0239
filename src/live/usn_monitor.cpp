#include "live/usn_monitor.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "live/live_debug.h"
#include "platform/last_error.h"

namespace zw {

namespace {

// Set on a monitor's own threads, so Stop can refuse to join itself.
thread_local const UsnMonitor* tlsMonitor = nullptr;

constexpr auto kPollInterval = std::chrono::milliseconds(100);

uint64_t Le(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

bool IsJournalGone(uint32_t error) {
  return error == platform::kErrorJournalEntryDeleted ||
         error == platform::kErrorJournalNotActive ||
         error == platform::kErrorJournalDeleteInProgress;
}

}  // namespace

UsnMonitor::UsnMonitor() : UsnMonitor(platform::OpenSystemUsnJournal) {}

UsnMonitor::UsnMonitor(platform::UsnJournalFactory factory) : factory_(std::move(factory)) {}

UsnMonitor::~UsnMonitor() {
  Stop();
}

bool UsnMonitor::Start(const std::set<char16_t>& drives, const StartPositions& from) {
  if (drives.empty()) return false;
  bool expected = false;
  if (!running_.compare_exchange_strong(expected, true)) return false;
  stopRequested_.exchange(false);
  for (char16_t letter : drives) {
    std::optional<platform::UsnJournalPosition> position;
    if (auto it = from.find(letter); it != from.end()) position = it->second;
    try {
      threads_.emplace_back([this, letter, position] { MonitorVolume(letter, position); });
    } catch (const std::system_error&) {
      // The other volumes are still followed; this one stays unmonitored.
      live_debug::MonitorThreadFailed(letter);
    }
  }
  return true;
}

bool UsnMonitor::Stop() {
  if (!running_.load()) return false;
  if (tlsMonitor == this) return false;
  stopRequested_.exchange(true);
  { std::lock_guard lock(sleepMutex_); }
  sleepWake_.notify_all();
  {
    std::lock_guard lock(handleMutex_);
    for (auto& [letter, device] : handles_) {
      if (device) device->Cancel();
    }
  }
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
  {
    std::lock_guard lock(handleMutex_);
    handles_.clear();  // closes every handle
  }
  return running_.exchange(false);
}

void UsnMonitor::SetChangeHandler(ChangeHandler handler) {
  auto next = handler ? std::make_shared<const ChangeHandler>(std::move(handler)) : nullptr;
  std::lock_guard lock(handlerMutex_);
  handler_ = std::move(next);
}

void UsnMonitor::SetDeviceFactory(platform::UsnJournalFactory factory) {
  std::lock_guard lock(handleMutex_);
  factory_ = std::move(factory);
}

std::unique_ptr<platform::UsnJournalDevice> UsnMonitor::OpenJournalDevice(
    char16_t letter, platform::UsnJournalInfo& info, bool report) {
  platform::UsnJournalFactory factory;
  {
    std::lock_guard lock(handleMutex_);
    factory = factory_;
  }
  std::unique_ptr<platform::UsnJournalDevice> device;
  if (factory) {
    device = factory(letter);
  } else {
    platform::SetLastError(platform::kErrorFileNotFound);
  }
  if (!device) {
    const uint32_t error = platform::LastError();
    if (report) live_debug::OpenFailed(letter, error);
    platform::SetLastError(error);
    return nullptr;
  }
  if (!device->Query(info)) {
    info = {};
    const bool create = createJournals_.load();
    if (!create ||
        !device->Create(platform::kUsnJournalMaximumSize, platform::kUsnJournalAllocationDelta) ||
        !device->Query(info)) {
      const uint32_t error = platform::LastError();
      if (!create && report) live_debug::NoJournal(letter);
      device.reset();  // closing must not change the error the caller reports
      platform::SetLastError(error);
      return nullptr;
    }
  }
  return device;
}

platform::UsnJournalDevice* UsnMonitor::KeepHandle(
    char16_t letter, std::unique_ptr<platform::UsnJournalDevice> device) {
  platform::UsnJournalDevice* raw = device.get();
  std::lock_guard lock(handleMutex_);
  handles_[letter] = std::move(device);
  return raw;
}

platform::UsnJournalDevice* UsnMonitor::OpenUsnJournal(char16_t letter, int64_t& startUsn) {
  platform::UsnJournalInfo info;
  std::unique_ptr<platform::UsnJournalDevice> device = OpenJournalDevice(letter, info, true);
  if (!device) return nullptr;
  // From the journal's end: what happened before is in the index already.
  startUsn = info.nextUsn;
  return KeepHandle(letter, std::move(device));
}

bool UsnMonitor::SleepUnlessStopped() {
  std::unique_lock lock(sleepMutex_);
  return !sleepWake_.wait_for(lock, kPollInterval, [&] { return stopRequested_.load(); });
}

bool UsnMonitor::Resume(char16_t letter, const platform::UsnJournalInfo& now, uint64_t& journalId,
                        int64_t& startUsn) {
  if (now.journalId != journalId) {
    live_debug::JournalRecreated(letter);
  } else if (startUsn < now.firstUsn || startUsn > now.nextUsn) {
    live_debug::JournalGap(letter, startUsn, now.firstUsn);
  } else {
    return false;
  }
  // Rather than poll a position that will never come back, go on from the
  // oldest record the journal holds.
  journalId = now.journalId;
  startUsn = now.firstUsn;
  stats_.journalResets.fetch_add(1);
  return true;
}

void UsnMonitor::MonitorVolume(char16_t letter,
                               std::optional<platform::UsnJournalPosition> from) noexcept {
  tlsMonitor = this;
  try {
    platform::UsnJournalInfo info;
    platform::UsnJournalDevice* device = nullptr;
    if (auto opened = OpenJournalDevice(letter, info, true)) {
      device = KeepHandle(letter, std::move(opened));
    } else {
      live_debug::MonitorOpenFailed(letter, platform::LastError());
      return;
    }
    live_debug::MonitorStarted(letter);
    std::vector<uint8_t> buffer(kBufferSize, 0);
    uint64_t journalId = info.journalId;
    // From the journal's end: what happened before is in the index already.
    int64_t startUsn = info.nextUsn;
    if (from) {
      // Replays what changed while the drive was being indexed, as long as
      // the journal still reaches back that far; else as much of it as the
      // journal still holds.
      if (from->journalId == journalId && from->usn >= info.firstUsn && from->usn <= info.nextUsn) {
        startUsn = from->usn;
      } else {
        startUsn = info.firstUsn;
        live_debug::PositionLost(letter);
      }
    }

    while (!stopRequested_.load()) {
      if (device == nullptr) {
        // The journal was gone: open it again, without a line per attempt.
        platform::UsnJournalInfo now;
        std::unique_ptr<platform::UsnJournalDevice> reopened =
            OpenJournalDevice(letter, now, false);
        if (reopened) {
          device = KeepHandle(letter, std::move(reopened));
          Resume(letter, now, journalId, startUsn);
          continue;
        }
      } else {
        const ReadResult result = ReadOnce(letter, *device, startUsn, journalId, buffer);
        if (result == ReadResult::Records) continue;
        if (stopRequested_.load()) break;
        if (result == ReadResult::Failed) {
          // Whatever the error says, the journal itself tells whether it
          // wrapped past our position, was made anew, or is gone.
          const uint32_t readError = platform::LastError();
          platform::UsnJournalInfo now;
          if (device->Query(now)) {
            Resume(letter, now, journalId, startUsn);
          } else if (const uint32_t error = platform::LastError();
                     IsJournalGone(error) || IsJournalGone(readError)) {
            live_debug::JournalLost(letter, error);
            std::lock_guard lock(handleMutex_);
            handles_.erase(letter);  // closes it
            device = nullptr;
          }
        }
      }
      if (!SleepUnlessStopped()) break;
    }
  } catch (...) {
    // Nothing escapes a thread; the volume is no longer followed.
  }
}

UsnMonitor::ReadResult UsnMonitor::ReadOnce(char16_t letter, platform::UsnJournalDevice& device,
                                            int64_t& startUsn, uint64_t journalId,
                                            std::vector<uint8_t>& buffer) {
  platform::ReadUsnJournalRequest request;
  request.startUsn = startUsn;
  request.reasonMask = kUsnReasonMask;
  request.returnOnlyOnClose = 0;
  request.timeout = 0;
  request.bytesToWaitFor = 0;
  request.usnJournalId = journalId;
  uint32_t returned = 0;
  stats_.reads.fetch_add(1);
  if (!device.Read(request, buffer.data(), uint32_t(buffer.size()), returned)) {
    stats_.failedReads.fetch_add(1);
    return ReadResult::Failed;
  }
  const size_t bytes = std::min<size_t>(returned, buffer.size());
  if (bytes <= 8) return ReadResult::Empty;
  startUsn = int64_t(Le(buffer.data(), 8));
  size_t offset = 8;
  size_t remaining = bytes - 8;
  while (remaining >= 4) {
    const uint32_t length = uint32_t(Le(buffer.data() + offset, 4));
    if (length == 0 || length > remaining || length < kUsnRecordMinLength) {
      // The rest of this buffer cannot be trusted; the next read starts where
      // the file system said.
      stats_.damagedRecords.fetch_add(1);
      break;
    }
    stats_.records.fetch_add(1);
    ProcessRecord(letter, buffer.data() + offset, length);
    offset += length;
    remaining -= length;
  }
  return ReadResult::Records;
}

RecordVerdict UsnMonitor::ProcessRecord(char16_t letter, const uint8_t* record, size_t available) {
  UsnChange change;
  const RecordVerdict verdict = DecodeUsnRecord(letter, record, available, change);
  if (verdict == RecordVerdict::Damaged) stats_.damagedRecords.fetch_add(1);
  if (verdict != RecordVerdict::Change) return verdict;
  std::shared_ptr<const ChangeHandler> handler;
  {
    std::lock_guard lock(handlerMutex_);
    handler = handler_;
  }
  if (!handler) return verdict;
  try {
    (*handler)(change);
    stats_.changes.fetch_add(1);
  } catch (...) {
    // One change that could not be applied (out of memory) must not end the
    // volume's monitoring.
    stats_.handlerFailures.fetch_add(1);
  }
  return verdict;
}

UsnMonitor& GetUsnMonitor() {
  static UsnMonitor monitor;
  return monitor;
}

}  // namespace zw

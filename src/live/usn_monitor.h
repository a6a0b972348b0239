// Follows the change journal of every indexed volume, one thread per drive
// letter, and hands each change to one handler. Also holds the map from
// journal references to entry numbers that the handler works with.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "live/journal_ids.h"
#include "live/usn_change.h"
#include "platform/usn_journal.h"

namespace zw {

// Counters for what the threads skipped; read at any time.
struct UsnMonitorStats {
  std::atomic<uint64_t> reads{0};
  std::atomic<uint64_t> failedReads{0};     // I/O: the read itself failed
  std::atomic<uint64_t> records{0};         // whole records walked
  std::atomic<uint64_t> damagedRecords{0};  // lengths that did not fit
  std::atomic<uint64_t> changes{0};         // handed to the handler
  std::atomic<uint64_t> handlerFailures{0};
  std::atomic<uint64_t> journalResets{0};  // wrapped past us or made anew; read from its start
};

class UsnMonitor {
 public:
  using ChangeHandler = std::function<void(const UsnChange&)>;
  static constexpr size_t kBufferSize = 0x10000;

  UsnMonitor();
  explicit UsnMonitor(platform::UsnJournalFactory factory);
  UsnMonitor(const UsnMonitor&) = delete;
  UsnMonitor& operator=(const UsnMonitor&) = delete;
  ~UsnMonitor();

  // Where to read a drive's journal from instead of its end.
  using StartPositions = std::map<char16_t, platform::UsnJournalPosition>;

  // Starts one thread per letter. False, changing nothing, while running or
  // for an empty set. A drive with a position in `from` is read from there
  // while its journal still holds it, and from its first record otherwise;
  // one without, from the end.
  bool Start(const std::set<char16_t>& drives, const StartPositions& from = {});
  // Cancels pending reads, joins the threads, closes the handles. Returns
  // whether it was running. Not from a monitor thread or the handler: it
  // would wait for itself, so it returns false there and does nothing.
  bool Stop();
  bool IsRunning() const { return running_.load(); }

  // Replaces the handler; an empty one drops changes. Safe while running.
  void SetChangeHandler(ChangeHandler handler);
  // Where journals come from; takes effect at the next Start.
  void SetDeviceFactory(platform::UsnJournalFactory factory);

  // Whether a volume without a journal gets one (a write to the volume) or is
  // left unfollowed. Off until allowed; takes effect at the next open.
  void AllowJournalCreation(bool allowed) { createJournals_.store(allowed); }

  // Opens the journal of `letter` (creating it when there is none, if that is
  // allowed) and keeps the handle in the handle map. Null on failure, with
  // LastError() set.
  platform::UsnJournalDevice* OpenUsnJournal(char16_t letter, int64_t& startUsn);
  // The thread routine. A journal that wraps past the position or is made
  // anew is read on from its first record; one that is gone is opened again
  // at every poll until it is back. Each says so in one debugger line.
  void MonitorVolume(char16_t letter,
                     std::optional<platform::UsnJournalPosition> from = std::nullopt) noexcept;
  // Decodes one record of `available` bytes and hands a change to the handler.
  RecordVerdict ProcessRecord(char16_t letter, const uint8_t* record, size_t available);

  enum class ReadResult { Records, Empty, Failed };
  // One read from `startUsn` into `buffer` and a walk over the records it
  // returned; advances `startUsn` as the file system says.
  ReadResult ReadOnce(char16_t letter, platform::UsnJournalDevice& device, int64_t& startUsn,
                      uint64_t journalId, std::vector<uint8_t>& buffer);

  // --- the id map (see JournalIds; its lock is innermost) ---
  using IdMap = JournalIds::Map;
  void SetId(IdKey key, uint32_t entry) { ids_.Set(key, entry); }
  void AddId(IdKey key, uint32_t entry, IdKey folder) { ids_.Add(key, entry, folder); }
  uint32_t FindId(IdKey key) const { return ids_.Find(key); }
  void RemoveIds(const std::vector<std::pair<IdKey, uint32_t>>& keysAndEntries) {
    ids_.Remove(keysAndEntries);
  }
  void RebuildIds(size_t reserve, uint64_t tag,
                  const std::function<void(IdMap& ids, IdMap& childCounts)>& fill) {
    ids_.Rebuild(reserve, tag, fill);
  }
  IdMap RenumberedIds(const std::vector<uint32_t>& oldToNew) const {
    return ids_.Renumbered(oldToNew);
  }
  void SwapIds(IdMap& ids) { ids_.SwapIds(ids); }
  uint64_t IdMapTag() const { return ids_.Tag(); }
  size_t IdCount() const { return ids_.Count(); }
  void AdjustChildCount(IdKey folder, int delta) { ids_.AdjustChildCount(folder, delta); }
  uint32_t ChildCount(IdKey folder) const { return ids_.ChildCount(folder); }

  const UsnMonitorStats& Stats() const { return stats_; }

 private:
  bool SleepUnlessStopped();  // false when stopped
  // A device with its journal queried (created if none and allowed); null on
  // failure, with a debugger line when `report`.
  std::unique_ptr<platform::UsnJournalDevice> OpenJournalDevice(char16_t letter,
                                                                platform::UsnJournalInfo& info,
                                                                bool report);
  platform::UsnJournalDevice* KeepHandle(char16_t letter,
                                         std::unique_ptr<platform::UsnJournalDevice> device);
  // Moves to the journal's first record when `now` no longer holds the
  // position (another journal, or records gone); true when it did.
  bool Resume(char16_t letter, const platform::UsnJournalInfo& now, uint64_t& journalId,
              int64_t& startUsn);

  std::shared_ptr<const ChangeHandler> handler_;
  mutable std::mutex handlerMutex_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> createJournals_{false};
  std::vector<std::thread> threads_;
  JournalIds ids_;
  std::unordered_map<char16_t, std::unique_ptr<platform::UsnJournalDevice>> handles_;
  std::mutex handleMutex_;

  platform::UsnJournalFactory factory_;
  std::mutex sleepMutex_;
  std::condition_variable sleepWake_;
  UsnMonitorStats stats_;
};

// The one process-wide monitor, built on first use over the system journals.
UsnMonitor& GetUsnMonitor();

}  // namespace zw

#include "engine/run_indexing.h"

#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "engine/file_index.h"
#include "engine/index_drive.h"
#include "platform/debug_output.h"

namespace zw {
namespace {

// The journal's id and end, asked before the drive is read: reading from
// there replays everything made while it was. A volume without a journal
// has no position (one is made when live update starts).
std::optional<platform::UsnJournalPosition> JournalPosition(
    const platform::UsnJournalFactory& factory, char16_t letter) noexcept {
  if (!factory) return std::nullopt;
  try {
    std::unique_ptr<platform::UsnJournalDevice> device = factory(letter);
    platform::UsnJournalInfo info;
    if (!device || !device->Query(info)) return std::nullopt;
    return platform::UsnJournalPosition{info.journalId, info.nextUsn};
  } catch (...) {
    return std::nullopt;
  }
}

uint64_t EntryCount(FileIndex& index) {
  const EntryWriter writer(index.entries);
  return writer.entries().size();
}

void Report(const char16_t* text, char16_t letter) noexcept try {
  std::u16string line = text;
  if (letter) {
    line += letter;
    line += u':';
  }
  line += u'\n';
  platform::OutputDebugLine(line);
} catch (...) {
}

// A run cut short by an exception still ends: not indexing, and (unless the
// completion itself threw) a completion that says it failed.
void EndFailedRun(FileIndex& index) noexcept {
  Report(u"RunIndexing: run ended by an unexpected error", 0);
  if (!index.indexing.exchange(false)) return;
  try {
    if (index.completeCallback) index.completeCallback(false, EntryCount(index));
  } catch (...) {
  }
}

}  // namespace

void RunIndexing(FileIndex& index) {
  RunIndexing(index, IndexRunOptions{});
}

void RunIndexing(FileIndex& index, const IndexRunOptions& options) {
  const DriveIndexer& indexer = options.indexer;
  const bool fastSearch = options.fastSearch;

  {
    const EntryWriteView hold(index.entries);
    hold.store().clear();  // releases the storage too
    ClearNameIndex(index.nameIndex, hold);
    IndexedRun& run = index.Run(hold);
    run.journalPositions.clear();
    run.drives.clear();
    ++run.number;
  }

  std::set<char16_t> drives;
  {
    std::scoped_lock lock(index.drivesMutex);
    drives = index.drives;
  }

  bool success = true;
  std::optional<uint64_t> rebuiltCount;  // entries the name index was last built over
  for (char16_t letter : drives) {
    if (index.stopRequested.load()) {
      success = false;
      break;
    }
    const auto position = JournalPosition(options.journalFactory, letter);
    bool appended = false;
    try {
      appended = indexer ? indexer(index, letter) : IndexDrive(index, letter);
    } catch (const std::bad_alloc&) {
      // This drive does not fit in memory; what earlier drives gave is kept.
      Report(u"RunIndexing: out of memory on ", letter);
      appended = false;
    } catch (const std::length_error&) {
      Report(u"RunIndexing: too many entries on ", letter);
      appended = false;
    }
    if (!appended) {
      success = false;
      continue;
    }
    {
      const EntryWriter writer(index.entries);
      IndexedRun& run = index.Run(writer);
      if (position) run.journalPositions[letter] = *position;
      run.drives.insert(letter);
    }
    if (options.nameIndex) {
      RebuildNameIndex(index, fastSearch);
      rebuiltCount = EntryCount(index);
    }
    if (index.driveDoneCallback) index.driveDoneCallback(letter, EntryCount(index));
  }

  // The closing rebuild: skipped only when the last drive's rebuild already
  // describes exactly these entries (a second pass over a million names
  // would build the same thing again).
  if (options.nameIndex && (!rebuiltCount || *rebuiltCount != EntryCount(index)))
    RebuildNameIndex(index, fastSearch);
  index.indexing.store(false);
  if (index.completeCallback) index.completeCallback(success, EntryCount(index));
}

void RequestStop(FileIndex& index) {
  index.stopRequested.store(true);
}

void JoinIndexThread(FileIndex& index) {
  if (!index.indexThread.joinable()) return;
  if (index.indexThread.get_id() == std::this_thread::get_id())
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur),
                            "the indexing thread cannot wait for itself");
  index.indexThread.join();
}

bool StartIndexRun(FileIndex& index, const std::set<char16_t>& drives, IndexingCallbacks callbacks,
                   IndexRunOptions options) {
  if (index.indexing.load()) {
    RequestStop(index);
    JoinIndexThread(index);
  }
  {
    std::scoped_lock lock(index.drivesMutex);
    index.drives = drives;
  }
  index.progressCallback = std::move(callbacks.progress);
  index.driveDoneCallback = std::move(callbacks.driveDone);
  index.completeCallback = std::move(callbacks.complete);
  if (index.indexing.load() || drives.empty()) return false;
  JoinIndexThread(index);
  index.stopRequested.store(false);
  index.indexing.store(true);
  // The thread must not look at indexThread (JoinIndexThread does) before
  // the handle is stored there: it waits at this gate until then.
  auto gate = std::make_shared<std::mutex>();
  std::unique_lock opening(*gate);
  try {
    index.indexThread = std::thread([&index, gate, options = std::move(options)]() noexcept {
      try {
        { std::scoped_lock wait(*gate); }
        RunIndexing(index, options);
      } catch (...) {
        EndFailedRun(index);
      }
    });
  } catch (...) {
    index.indexing.store(false);
    throw;
  }
  return true;
}

}  // namespace zw

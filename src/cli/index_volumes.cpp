#include "cli/index_volumes.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "cli/cli_output.h"
#include "cli/volume_problem.h"
#include "engine/file_index.h"
#include "engine/index_drive.h"
#include "engine/run_indexing.h"
#include "platform/drive_table.h"
#include "platform/drives.h"
#include "platform/last_error.h"
#include "platform/process_memory.h"
#include "settings/settings.h"
#include "volumes/drive_info.h"

namespace zw::cli {

namespace {

bool CutShort(const IndexDriveStats& stats) {
  return stats.deviceBytes != 0 && stats.deviceBytes < stats.volumeBytes;
}

// A volume whose MFT did not all arrive was not read whole, whatever was
// listed from it; "" when it was. Damaged records arrived, and do not count.
std::string MissingRecords(const IndexDriveStats& stats) {
  const ScanCounters& c = stats.counters;
  if (c.ioErrors == 0) return {};
  const std::string read = GroupedNumber(c.recordsRead) + " of " +
                           GroupedNumber(std::max(c.expected, c.recordsRead + c.ioErrors)) +
                           " records read";
  if (CutShort(stats))
    return "the volume ends at " + GroupedNumber(stats.deviceBytes) +
           " bytes, inside its MFT: " + read;
  return "the MFT could not all be read: " + read;
}

// Ctrl+C asks the running index to stop; a second one ends the program as
// usual. Storing into a lock-free atomic is all a signal handler may do.
std::atomic<FileIndex*> interruptTarget{nullptr};
static_assert(std::atomic<FileIndex*>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  if (FileIndex* index = interruptTarget.load()) index->stopRequested.store(true);
  std::signal(SIGINT, SIG_DFL);
}

class InterruptGuard {
 public:
  explicit InterruptGuard(FileIndex& index) {
    interruptTarget.store(&index);
    previous_ = std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptGuard() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    interruptTarget.store(nullptr);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
};

// "D: 120000 of 450000 records" on stderr, rewritten in place, only while
// stderr is a terminal (never into a file or pipe).
class ProgressLine {
 public:
  ProgressLine() : enabled_(IsTerminal(stderr)) {}
  void Show(char16_t letter, uint64_t done, uint64_t expected) {
    if (!enabled_) return;
    std::string line = "\r";
    line += DriveName(letter) + " " + std::to_string(done) + " of " + std::to_string(expected) +
            " records";
    width_ = std::max(width_, line.size());
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
  void Clear() {
    if (!enabled_ || width_ == 0) return;
    std::string blank(width_ + 2, ' ');  // "\r", the line's width of blanks, "\r"
    blank.front() = blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  bool enabled_;
  size_t width_ = 0;
};

// No --drive: the stored selection, extended on a first run by every fixed
// NTFS drive (on POSIX, the readable NTFS block devices).
void UseStoredSelection(CliContext& context) {
#ifndef _WIN32
  platform::BindNtfsBlockDevices();
#endif
  for (char16_t letter : InitialDriveSet(NtfsDriveLetters)) {
    DriveArg drive;
    drive.letter = letter;
#ifndef _WIN32
    const auto binding = platform::FindDriveBinding(letter);
    drive.source = binding ? binding->source : "selected in the settings, not bound";
#else
    drive.source = "selected in the settings";
#endif
    context.drives.push_back(drive);
  }
}

}  // namespace

bool ChooseDrives(CliContext& context) {
  if (context.drives.empty()) UseStoredSelection(context);
  if (!context.drives.empty()) return true;
#ifdef _WIN32
  PrintError("no drive given; name one with --drive D");
#else
  PrintError(
      "no volume given; bind one with --drive D=PATH (an NTFS image "
      "or block device)");
#endif
  context.badInput = true;
  return false;
}

void StartDriveIndexing(const CliContext& context, FileIndex& index, DriveResults& results,
                        IndexingCallbacks callbacks, bool nameIndex) {
  // The run goes through the same start, callbacks and stop as the window's;
  // the per-drive figures and failure reasons are caught on the way.
  DriveIndexer indexer = [&results](FileIndex& ix, char16_t letter) {
    IndexDriveStats stats;
    const bool ok = IndexDrive(ix, letter, stats);
    std::scoped_lock lock(results.mutex);
    results.perDrive[letter] = stats;
    return ok;
  };
  std::set<char16_t> letters;
  for (const DriveArg& drive : context.drives) letters.insert(drive.letter);
  IndexRunOptions options;
  options.nameIndex = nameIndex;
  options.fastSearch = ReadFlag(kFastSearch, kDefaultFastSearch);  // as the window hands it
  options.indexer = indexer;
  options.journalFactory = nullptr;  // nothing follows this run
  // Refused only for an empty set, which ChooseDrives rules out.
  static_cast<void>(StartIndexRun(index, letters, std::move(callbacks), std::move(options)));
}

std::vector<std::string> DriveProblems(CliContext& context, DriveResults& results,
                                       IndexingFigures& figures) {
  std::vector<std::string> problems;
  std::scoped_lock lock(results.mutex);
  for (const DriveArg& drive : context.drives) {
    auto it = results.perDrive.find(drive.letter);
    if (it == results.perDrive.end()) continue;  // never started: the run was stopped
    const IndexDriveStats& stats = it->second;
    figures.records += stats.counters.recordsRead;
    figures.scanNanoseconds += stats.scanNanoseconds;
    figures.pathsNanoseconds += stats.pathsNanoseconds;
    if (stats.outOfMemory) {
      context.outOfMemory = true;
      problems.push_back(DriveLabel(drive) +
                         ": not enough memory to index this volume; it was skipped");
      continue;
    }
    if (stats.opened && stats.mftReadable) {
      const std::string missing = MissingRecords(stats);
      if (missing.empty()) continue;
      context.badInput = true;
      problems.push_back(DriveLabel(drive) + ": " + missing);
      if (context.debug)
        problems.push_back(DriveLabel(drive) + ": " + std::to_string(stats.counters.ioErrors) +
                           " MFT records failed to arrive, " +
                           std::to_string(stats.counters.damaged) + " arrived damaged");
      continue;
    }
    context.badInput = true;
    if (!stats.opened) {
      problems.push_back(
          DriveLabel(drive) + ": " +
          OpenFailureReason(drive.letter, stats.openStatus, stats.openError, context.debug));
    } else if (CutShort(stats)) {
      problems.push_back(DriveLabel(drive) + ": the volume ends at " +
                         GroupedNumber(stats.deviceBytes) +
                         " bytes, before its MFT (it should hold " +
                         GroupedNumber(stats.volumeBytes) + "): the MFT cannot be located");
    } else if (!stats.mftReadable) {
      problems.push_back(DriveLabel(drive) + ": damaged NTFS volume: the MFT cannot be located");
    } else {
      problems.push_back(DriveLabel(drive) + ": the MFT scan failed");
    }
  }
  return problems;
}

IndexingFigures IndexDrives(CliContext& context, FileIndex& index, bool nameIndex) {
  IndexingFigures figures;
  if (context.stats) figures.residentBefore = platform::ResidentBytes();
  if (!ChooseDrives(context)) return figures;

  DriveResults results;
  ProgressLine progress;
  IndexingCallbacks callbacks;
  callbacks.progress = [&progress](char16_t letter, uint64_t done, uint64_t expected) {
    progress.Show(letter, done, expected);
  };
  callbacks.driveDone = [&progress](char16_t, uint64_t) { progress.Clear(); };
  callbacks.complete = [&progress](bool, uint64_t) { progress.Clear(); };
  {
    InterruptGuard interrupt(index);
    StartDriveIndexing(context, index, results, std::move(callbacks), nameIndex);
    JoinIndexThread(index);
  }
  progress.Clear();

  const bool interrupted = index.stopRequested.load();
  for (const std::string& problem : DriveProblems(context, results, figures)) PrintError(problem);
  figures.entries = EntryReadView(index.entries).entries().size();
  if (interrupted) {
    context.interrupted = true;
    PrintError("interrupted: kept the " + std::to_string(figures.entries) +
               " entries indexed before the stop; the listing is incomplete");
  }
  return figures;
}

uint64_t EntryBytes(const EntryAccess& hold) {
  return hold.entries().MemoryBytes();
}

void PrintIndexingStats(const CliContext& context, const IndexingFigures& figures,
                        const FileIndex& index) {
  constexpr uint64_t kMillion = 1000000;
  const auto total = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now() - context.start)
                         .count();
  PrintStat("records", figures.records);
  PrintStat("entries", figures.entries);
  PrintStat("scan", (figures.scanNanoseconds + kMillion / 2) / kMillion, "ms");
  PrintStat("paths", (figures.pathsNanoseconds + kMillion / 2) / kMillion, "ms");
  PrintStat("total", (uint64_t(total) + kMillion / 2) / kMillion, "ms");
  PrintStat("peak-rss", (PeakResidentBytes() + (1 << 19)) >> 20, "MiB");
  const EntryReadView hold(index.entries);
  const uint64_t count = hold.entries().size();
  PrintStat("bytes-per-entry", count == 0 ? 0 : (EntryBytes(hold) + count / 2) / count);
}

}  // namespace zw::cli

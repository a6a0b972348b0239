// Indexing the drives given on the command line, with a clear message for
// each volume that cannot be read, and the figures of --stats.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "engine/index_drive.h"
#include "engine/run_indexing.h"
#include "index/entry_guard.h"

namespace zw {
struct FileIndex;
}

namespace zw::cli {

struct IndexingFigures {
  uint64_t records = 0;  // MFT records read
  uint64_t entries = 0;  // entries in the index
  uint64_t scanNanoseconds = 0;
  uint64_t pathsNanoseconds = 0;
  uint64_t residentBefore = 0;  // resident bytes before the first drive was read
};

// Indexes every drive of `context` into `index`, in ascending letter order.
// A volume that cannot be read is reported on stderr and sets
// `context.badInput`; the others are still indexed. Without any drive, says
// so and sets `badInput`. The name index is built only when `nameIndex`.
IndexingFigures IndexDrives(CliContext& context, FileIndex& index, bool nameIndex);

// The pieces of IndexDrives, for a front end that shows the run as it goes.
// The drives given, or else the stored selection; false, said on stderr and
// with `badInput` set, when there are none.
bool ChooseDrives(CliContext& context);

// What each drive's indexing came to, gathered as the run goes.
struct DriveResults {
  std::mutex mutex;
  std::map<char16_t, IndexDriveStats> perDrive;
};

// Starts the run over the drives of `context` on index.indexThread;
// `results` must outlive it.
void StartDriveIndexing(const CliContext& context, FileIndex& index, DriveResults& results,
                        IndexingCallbacks callbacks, bool nameIndex);

// Once the run has ended: a message for every volume that could not be read
// whole (as PrintError takes it), with `badInput` or `outOfMemory` set and
// the drives' figures added to `figures`.
std::vector<std::string> DriveProblems(CliContext& context, DriveResults& results,
                                       IndexingFigures& figures);

// The --stats lines: records, entries, scan, paths, total (since the start of
// the program, so output is included), peak-rss, and bytes-per-entry where the
// allocator reports block sizes (bytes-per-entry-estimate elsewhere).
void PrintIndexingStats(const CliContext& context, const IndexingFigures& figures,
                        const FileIndex& index);

// Resident bytes of the entries: the records themselves plus every heap
// block their strings own, with the allocator's own overhead (measured with
// glibc, estimated elsewhere).
uint64_t EntryBytes(const EntryAccess& hold);

}  // namespace zw::cli

// Applies the changes of the change journals to the index: new entries for
// created files, tombstones for deleted ones, new names and paths after a
// rename or move, new sizes and times after a modification.
//
// Every handler reads and writes entries only through the views of
// index/entry_guard.h (the id-map lock innermost) and keeps no pointer to an
// entry once they end.
#pragma once

#include <cstdint>
#include <string_view>

#include "index/entry_guard.h"
#include "live/usn_change.h"

namespace zw {

struct FileIndex;
class UsnMonitor;

// Stops the monitor if it runs (it may follow an earlier run's drives and
// numbers), rebuilds the id map from the entries and starts the monitor on
// the drives the last run indexed, with ApplyChange as its handler. Each drive's journal is
// read from where it stood before the drive was indexed, so changes made
// during the run are applied too. A volume without a journal gets one only
// when `createJournals` (the CreateChangeJournal setting) allows it. Does nothing while
// indexing. Every change it applies reaches the name index at once (no rebuild is needed).
void StartLiveUpdate(FileIndex& index, UsnMonitor& monitor, bool createJournals = false);
void StartLiveUpdate(FileIndex& index, bool createJournals);  // the process-wide monitor

// Stops following the journals and drops the handler, so that no change is
// applied to entry numbers of a run that is about to be replaced. Call it
// before a new indexing run starts; StartLiveUpdate again once its list is
// ready. Returns whether the monitor was running.
bool StopLiveUpdate(UsnMonitor& monitor);
bool StopLiveUpdate();

// Dispatches one change; ignored while an indexing run is in progress and
// when the id map was built for an earlier run. Replaying a change the index
// holds already (a create of a file it has, a delete of one that is gone, a
// rename to its present name) changes nothing.
void ApplyChange(FileIndex& index, UsnMonitor& monitor, const UsnChange& change);

// Gives back what deletes and renames left in the entries: the entries kept
// are copied, in order, into fresh storage and renumbered, and the name
// index, the id map and whatever FileIndex::renumberedCallback reaches follow
// the new numbers under the same exclusive hold of the entries. Kept: every
// live entry, and the entries moved into the recycle bin (a move back brings
// them back) while they are few next to the live ones. Searches and cells
// read on meanwhile; `writer` keeps the other writers out. False when there
// is nothing to follow (no current id map, no name index).
bool CompactEntries(FileIndex& index, UsnMonitor& monitor, EntryWriter& writer);
// Whether enough is left behind for CompactEntries to be worth its work.
bool CompactionDue(FileIndex& index, const EntryWriter& writer);

// The entry number that (drive, ref) stands for, or kNoEntry. Only numbers
// whose entry still carries that drive and record number, and the sequence
// number of ref where both know one, are handed out.
uint32_t FindEntryByRef(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                        uint64_t ref);

void OnFileCreated(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view name, bool isDirectory);
void OnFileDeleted(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref);
// `parentRef` is the parent after the rename: a moved file follows it. A
// file the index does not hold (moved in from a folder it leaves out, such
// as the recycle bin) is created there, and a folder brings back what it
// held when it left.
void OnFileRenamed(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view newName, bool isDirectory = false);
// False when ref's record holds another file (its sequence number differs):
// the change is then the first news of a new file.
bool OnFileModified(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref);

}  // namespace zw

#include "live/live_update.h"

#include <mutex>
#include <new>
#include <set>
#include <shared_mutex>
#include <utility>
#include <vector>

#include "index/build_paths.h"
#include "index/file_index.h"
#include "live/live_debug.h"
#include "live/usn_monitor.h"
#include "platform/file_attributes.h"
#include "settings/settings.h"

namespace zw {

namespace {

bool IsLive(EntryRef e) {
  return !e.name().empty();
}

IdKey ParentKey(EntryRef e) {
  return MakeIdKey(e.drive(), e.parentRecordNumber());
}
IdKey OwnKey(EntryRef e) {
  return MakeIdKey(e.drive(), e.recordNumber());
}

std::u16string RootPath(char16_t drive, std::u16string_view name) {
  std::u16string path(1, drive);
  path += u":\\";
  path += name;
  return path;
}

// The path of `name` inside the folder `parentRef`, or under the root when
// that folder is not a live indexed entry (the root itself is never one).
// `parent` gets that folder's entry. Caller holds entriesMutex.
std::u16string PathUnder(const FileIndex& index, const UsnMonitor& monitor, char16_t drive,
                         uint64_t parentRef, std::u16string_view name, bool& parentFound,
                         uint32_t& parent) {
  parent = FindEntryByRef(index, monitor, drive, parentRef);
  std::u16string path;
  if (parent != kNoEntry) index.entries[parent].PathInto(path);
  parentFound = !path.empty();
  if (!parentFound) return RootPath(drive, name);
  path += u'\\';
  path += name;
  return path;
}

// Whether a folder has entries below it that its path change must reach.
bool MayHaveDescendants(const UsnMonitor& monitor, EntryRef folder,
                        const std::u16string& folderPath) {
  return folder.isFolder() && !folderPath.empty() && monitor.ChildCount(OwnKey(folder)) != 0;
}

// Entries whose path lies below entry `n`. Caller holds entriesMutex, which
// keeps every writer out while this reads.
std::vector<uint32_t> DescendantsIfAny(const FileIndex& index, const UsnMonitor& monitor,
                                       uint32_t n) {
  const EntryRef folder = index.entries[n];
  const std::u16string path = folder.path();
  if (!MayHaveDescendants(monitor, folder, path)) return {};
  return index.entries.Below(n, path);
}

// Marks entry `n` and everything below it deleted. Caller holds entriesMutex.
void TombstoneTree(FileIndex& index, UsnMonitor& monitor, uint32_t n) {
  std::vector<uint32_t> doomed = DescendantsIfAny(index, monitor, n);
  doomed.push_back(n);
  std::vector<std::pair<IdKey, uint32_t>> keys;
  keys.reserve(doomed.size());
  {
    std::unique_lock names(index.nameIndex.lock);
    for (uint32_t i : doomed) {
      const EntryRef e = index.entries[i];
      if (IsLive(e)) monitor.AdjustChildCount(ParentKey(e), -1);
      NoteNameChange(index.nameIndex, i);
      index.entries.MarkDeleted(i);
      keys.emplace_back(OwnKey(e), i);
    }
  }
  monitor.RemoveIds(keys);
}

void Notify(const FileIndex& index) {
  if (index.changedCallback) index.changedCallback();
}

// Whether a change may be applied: no run is replacing the entries, and the
// id map was built from the entries of the run that is there now. Caller
// holds entriesMutex or the name index lock.
bool IdMapIsCurrent(const FileIndex& index, const UsnMonitor& monitor) {
  return !index.indexing.load() && monitor.IdMapTag() == index.runNumber;
}

// Folds a large set of changes into the name index by a rebuild. This thread
// holds entriesMutex, so the other journal threads wait, while searches read
// on until the new tables are swapped in.
void FoldChangesIfLarge(FileIndex& index) {
  NameIndex& names = index.nameIndex;
  if (names.entries != &index.entries || !NameIndexWantsRebuild(names)) return;
  try {
    RebuildNameIndexHoldingEntries(index, names.ngramEnabled);
  } catch (const std::bad_alloc&) {
    // Searches stay right with the changes as they are; try again once
    // they have doubled rather than at every change.
    std::unique_lock hold(names.lock);
    names.deltaLimit *= 2;
  }
}

}  // namespace

uint32_t FindEntryByRef(const FileIndex& index, const UsnMonitor& monitor, char16_t drive,
                        uint64_t ref) {
  const uint32_t n = monitor.FindId(MakeIdKey(drive, ref));
  if (n == kNoEntry || n >= index.entries.size()) return kNoEntry;
  // A number from a map built for an earlier run must not reach a stranger.
  const EntryRef e = index.entries[n];
  if (e.drive() != drive || (e.recordNumber() & kRecordNumberMask) != (ref & kRecordNumberMask)) {
    return kNoEntry;
  }
  return n;
}

void StartLiveUpdate(FileIndex& index, UsnMonitor& monitor) {
  if (index.indexing.load()) return;
  // Following an earlier run: its threads end first (a change they were
  // applying is done with), so that the new map and drive set take over.
  monitor.Stop();
  UsnMonitor::StartPositions from;
  std::set<char16_t> drives;
  {
    std::lock_guard entriesLock(index.entriesMutex);
    from = index.journalPositions;
    drives = index.indexedDrives;
    {
      // Room for new files now, while nothing searches through a monitor
      // thread's lock: growing a million entries later would hold every
      // search back for as long as the move takes.
      const size_t want = index.entries.size() + index.entries.size() / 16 + 1024;
      if (index.entries.capacity() < want) {
        std::unique_lock names(index.nameIndex.lock);
        index.entries.reserve(want);
      }
    }
    const auto& entries = index.entries;
    auto fill = [&](UsnMonitor::IdMap& ids, UsnMonitor::IdMap& children) {
      for (size_t i = 0; i < entries.size(); ++i) {
        const EntryRef e = entries[i];
        // Tombstones come back too (a later delete or rename still finds
        // them), but never in place of a live entry with the same record.
        auto [it, inserted] = ids.try_emplace(OwnKey(e), uint32_t(i));
        if (!inserted && (IsLive(e) || !IsLive(entries[it->second]))) it->second = uint32_t(i);
        if (IsLive(e)) ++children[ParentKey(e)];
      }
    };
    monitor.RebuildIds(entries.size(), index.runNumber, fill);
  }
  monitor.SetChangeHandler(
      [&index, &monitor](const UsnChange& change) { ApplyChange(index, monitor, change); });
  monitor.AllowJournalCreation(ReadFlag(kCreateChangeJournal, kDefaultCreateChangeJournal));
  monitor.Start(drives, from);
}

void StartLiveUpdate(FileIndex& index) {
  StartLiveUpdate(index, GetUsnMonitor());
}

bool StopLiveUpdate(UsnMonitor& monitor) {
  const bool wasRunning = monitor.Stop();
  monitor.SetChangeHandler({});
  return wasRunning;
}

bool StopLiveUpdate() {
  return StopLiveUpdate(GetUsnMonitor());
}

void ApplyChange(FileIndex& index, UsnMonitor& monitor, const UsnChange& change) {
  switch (change.kind) {
    case UsnChangeKind::Created:
      OnFileCreated(index, monitor, change.drive, change.fileRef, change.parentRef, change.name,
                    change.isDirectory);
      break;
    case UsnChangeKind::Deleted:
      OnFileDeleted(index, monitor, change.drive, change.fileRef);
      break;
    case UsnChangeKind::Renamed:
      OnFileRenamed(index, monitor, change.drive, change.fileRef, change.parentRef, change.name);
      break;
    case UsnChangeKind::Modified:
      OnFileModified(index, monitor, change.drive, change.fileRef);
      break;
  }
}

void OnFileCreated(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view name, bool isDirectory) {
  if (IsRecycleBinName(name, true)) return;
  FileEntry entry;
  entry.recordNumber = ref & kRecordNumberMask;
  entry.parentRecordNumber = parentRef & kRecordNumberMask;
  entry.drive = drive;
  entry.name = name;
  entry.isFolder = isDirectory;

  std::lock_guard entriesLock(index.entriesMutex);
  // During a run the entries are being replaced; the run reads the file
  // anyway, and the change comes again from the run's journal position.
  if (!IdMapIsCurrent(index, monitor) || index.entries.size() >= kNoEntry) return;
  bool parentFound = false;
  uint32_t parent = kNoEntry;
  entry.path = PathUnder(index, monitor, drive, parentRef, name, parentFound, parent);
  // The file system is asked while searches can still read the entries.
  platform::FileAttributeData data;
  const bool asked = platform::GetEntryAttributeData(entry.path, data);
  if (asked) {
    entry.size = data.size;
    entry.modificationTime = data.lastWriteTime;
    entry.creationTime = data.creationTime;
  }
  const uint32_t previous = FindEntryByRef(index, monitor, drive, ref);
  if (previous != kNoEntry && IsLive(index.entries[previous])) {
    const EntryRef old = index.entries[previous];
    if (old.parentRecordNumber() == entry.parentRecordNumber && old.name() == entry.name) {
      // The scan saw this file already (its creation is replayed from the
      // journal position taken before the scan): refresh, never repeat it.
      const bool moved = old.path() != entry.path;
      std::unique_lock names(index.nameIndex.lock);
      EntryRecord& r = index.entries.Record(previous);
      if (asked) {  // else the scan's figures stand
        r.size = entry.size;
        r.modificationTime = entry.modificationTime;
        r.creationTime = entry.creationTime;
      }
      if (moved) {
        NotePathChange(index.nameIndex, previous);
        index.entries.SetParentAndPath(previous, entry.parentRecordNumber, parent, entry.path);
      }
      Notify(index);
      return;
    }
  }
  const uint32_t id = uint32_t(index.entries.size());
  {
    std::unique_lock names(index.nameIndex.lock);
    // A live entry that holds this record under another name or folder is
    // one whose deletion was missed: it is gone now, and keeping it would
    // show the record twice.
    const bool replaces = previous != kNoEntry && IsLive(index.entries[previous]);
    if (replaces) NoteNameChange(index.nameIndex, previous);
    // The entry and its key come together or not at all: an entry no key
    // leads to could never be deleted or renamed.
    index.entries.Append(entry, parent);
    try {
      monitor.AddId(MakeIdKey(drive, ref), id, MakeIdKey(drive, parentRef));
    } catch (...) {
      index.entries.RemoveLast();
      throw;
    }
    if (replaces) {
      monitor.AdjustChildCount(ParentKey(index.entries[previous]), -1);
      index.entries.MarkDeleted(previous);
    }
  }
  live_debug::Created(id, entry.path);
  Notify(index);
  FoldChangesIfLarge(index);
}

void OnFileDeleted(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  std::lock_guard entriesLock(index.entriesMutex);
  if (!IdMapIsCurrent(index, monitor)) return;
  const uint32_t n = FindEntryByRef(index, monitor, drive, ref);
  if (n == kNoEntry || !IsLive(index.entries[n])) return;  // gone already
  TombstoneTree(index, monitor, n);
  Notify(index);
  FoldChangesIfLarge(index);
}

void OnFileRenamed(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view newName) {
  std::lock_guard entriesLock(index.entriesMutex);
  if (!IdMapIsCurrent(index, monitor)) return;
  const uint32_t n = FindEntryByRef(index, monitor, drive, ref);
  if (n == kNoEntry) return;  // a file the index never held is not added by a rename
  if (IsRecycleBinName(newName, false)) {
    if (!IsLive(index.entries[n])) return;
    TombstoneTree(index, monitor, n);  // moved into the recycle bin
    Notify(index);
    FoldChangesIfLarge(index);
    return;
  }
  const EntryRef e = index.entries[n];
  const std::u16string oldPath = e.path();
  const uint64_t newParent = parentRef & kRecordNumberMask;
  bool parentFound = false;
  uint32_t parent = kNoEntry;
  std::u16string newPath =
      PathUnder(index, monitor, drive, parentRef, newName, parentFound, parent);
  if (!parentFound && newParent == (e.parentRecordNumber() & kRecordNumberMask)) {
    // Same folder, not indexed itself: keep the folder part we had.
    const size_t slash = oldPath.rfind(u'\\');
    if (slash != std::u16string::npos)
      newPath = oldPath.substr(0, slash + 1) + std::u16string(newName);
  }
  // Replayed after a scan that saw the new name already: nothing to do.
  if (e.name() == newName && e.parentRecordNumber() == newParent && oldPath == newPath) return;
  // Entries below follow the folder by themselves; only paths kept whole
  // need rewriting.
  const bool below = oldPath != newPath && MayHaveDescendants(monitor, e, oldPath);
  {
    std::unique_lock names(index.nameIndex.lock);
    if (IsLive(e)) monitor.AdjustChildCount(ParentKey(e), -1);
    if (e.name() != newName) {
      NoteNameChange(index.nameIndex, n);
    } else {
      NotePathChange(index.nameIndex, n);
    }
    if (index.entries.RawName(n) != newName) index.entries.SetName(n, newName);
    index.entries.Record(n).flags &= uint8_t(~EntryStore::kDeleted);
    index.entries.SetParentAndPath(n, newParent, parent, newPath);
    monitor.AdjustChildCount(ParentKey(e), +1);
    if (below) {
      index.entries.ReplaceKeptPrefix(drive, oldPath, newPath);
      NotePathsBelowChanged(index.nameIndex);
    }
  }
  Notify(index);
  FoldChangesIfLarge(index);
}

void OnFileModified(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  uint32_t n = kNoEntry;
  std::u16string path;
  {
    std::shared_lock names(index.nameIndex.lock);
    if (!IdMapIsCurrent(index, monitor)) return;
    n = FindEntryByRef(index, monitor, drive, ref);
    if (n == kNoEntry) return;
    path = index.entries[n].path();
  }
  platform::FileAttributeData data;
  if (!path.empty() && platform::GetEntryAttributeData(path, data)) {
    std::lock_guard entriesLock(index.entriesMutex);
    // The entry may have been renamed or removed meanwhile; only the same
    // record gets the new figures.
    if (IdMapIsCurrent(index, monitor) && FindEntryByRef(index, monitor, drive, ref) == n) {
      std::unique_lock names(index.nameIndex.lock);
      index.entries.Record(n).size = data.size;
      index.entries.Record(n).modificationTime = data.lastWriteTime;
    }
  }
  Notify(index);
}

}  // namespace zw

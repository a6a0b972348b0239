#include "live/live_update.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <set>
#include <shared_mutex>
#include <unordered_set>
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

uint16_t SequenceOf(uint64_t ref) {
  return uint16_t(ref >> 48);
}

// Whether entry `e`, which holds the record of `ref`, still holds that file:
// a record reused for a new file gets a new sequence number. 0 on either
// side is not known, as NTFS treats it.
bool SameFile(EntryRef e, uint64_t ref) {
  const uint16_t seq = SequenceOf(ref);
  return seq == 0 || e.sequenceNumber() == 0 || e.sequenceNumber() == seq;
}

// The entry that holds ref's record on `drive`, whatever file it holds now.
uint32_t FindRecord(const FileIndex& index, const UsnMonitor& monitor, char16_t drive,
                    uint64_t ref) {
  const uint32_t n = monitor.FindId(MakeIdKey(drive, ref));
  if (n == kNoEntry || n >= index.entries.size()) return kNoEntry;
  // A number from a map built for an earlier run must not reach a stranger.
  const EntryRef e = index.entries[n];
  if (e.drive() != drive || e.recordNumber() != (ref & kRecordNumberMask)) return kNoEntry;
  return n;
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

// Marks entry `n` and everything below it deleted; `recycled`: moved into a
// folder the index leaves out. Caller holds entriesMutex.
void TombstoneTree(FileIndex& index, UsnMonitor& monitor, uint32_t n, bool recycled = false) {
  std::vector<uint32_t> doomed = DescendantsIfAny(index, monitor, n);
  doomed.push_back(n);
  std::vector<std::pair<IdKey, uint32_t>> keys;
  keys.reserve(doomed.size());
  {
    std::unique_lock names(index.nameIndex.lock);
    for (uint32_t i : doomed) {
      const EntryRef e = index.entries[i];
      if (IsLive(e)) {
        monitor.AdjustChildCount(ParentKey(e), -1);
        if (recycled) index.entries.Record(i).flags |= EntryStore::kRecycled;
      }
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

// Whether a file moved into folder `parentRef` can be placed: the root, or
// a live indexed folder (not one the index leaves out). Caller holds
// entriesMutex.
bool PlaceableUnder(const FileIndex& index, const UsnMonitor& monitor, char16_t drive,
                    uint64_t parentRef) {
  if ((parentRef & kRecordNumberMask) == kRootFolderRecord) return true;
  const uint32_t p = FindEntryByRef(index, monitor, drive, parentRef);
  return p != kNoEntry && IsLive(index.entries[p]) && index.entries[p].isFolder();
}

// The journal names only a folder that comes back from a folder the index
// leaves out, not what it holds: what it held when it left returns in place,
// as far as it is still there on disk, with fresh sizes and times.
void RestoreRecycledBelow(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  std::lock_guard entriesLock(index.entriesMutex);
  if (!IdMapIsCurrent(index, monitor)) return;
  const uint32_t folder = FindEntryByRef(index, monitor, drive, ref);
  if (folder == kNoEntry || !index.entries[folder].isFolder()) return;
  EntryStore& store = index.entries;
  constexpr uint8_t kRecycled = EntryStore::kRecycled;
  uint32_t old = kNoEntry;  // the folder as it left (the last time, if more than once)
  for (uint32_t i = 0; i < store.size(); ++i) {
    const EntryRecord& r = store.Record(i);
    if ((r.flags & kRecycled) != 0 && r.recordNumber == (ref & kRecordNumberMask) &&
        store.DriveOf(i) == drive && SameFile(store[i], ref)) {
      old = i;
    }
  }
  if (old == kNoEntry) return;
  store.Record(old).flags &= uint8_t(~kRecycled);
  std::vector<std::pair<uint32_t, uint32_t>> below;  // depth under `old`, entry
  for (uint32_t i = 0; i < store.size(); ++i) {
    uint32_t depth = 0;
    uint32_t p = i;
    while (p != old && p != kNoEntry && (store.Record(p).flags & kRecycled) != 0) {
      p = store.Record(p).parent;
      ++depth;
    }
    if (p == old && depth > 0) below.emplace_back(depth, i);
  }
  std::sort(below.begin(), below.end());  // folders before what they hold
  std::unordered_set<uint32_t> back;
  std::u16string path;
  for (const auto& [depth, c] : below) {
    EntryRecord& r = store.Record(c);
    r.flags &= uint8_t(~kRecycled);
    const uint32_t parent = r.parent == old ? folder : uint32_t(r.parent);  // a packed field
    if (parent != folder && back.count(parent) == 0) continue;  // its folder stayed away
    const uint64_t cref = (uint64_t{r.sequence} << 48) | r.recordNumber;
    const uint32_t holder = FindRecord(index, monitor, drive, cref);
    if (holder != kNoEntry && IsLive(store[holder])) continue;  // the record holds another file
    store.PathInto(parent, path);
    path += u'\\';
    path += store.RawName(c);
    platform::FileAttributeData data;
    // Gone while it was away, or a name that Win32 would read as another file.
    if (!platform::GetEntryAttributeData(path, data)) continue;
    {
      std::unique_lock names(index.nameIndex.lock);
      NoteNameChange(index.nameIndex, c);
      r.flags &= uint8_t(~EntryStore::kDeleted);
      if (parent == folder)
        store.SetParentAndPath(c, store.Record(folder).recordNumber, folder, path);
      r.size = data.size;
      r.modificationTime = data.lastWriteTime;
      r.creationTime = data.creationTime;
    }
    monitor.SetId(MakeIdKey(drive, cref), c);
    monitor.AdjustChildCount(ParentKey(store[c]), +1);
    back.insert(c);
  }
  if (back.empty()) return;
  Notify(index);
  FoldChangesIfLarge(index);
}

}  // namespace

uint32_t FindEntryByRef(const FileIndex& index, const UsnMonitor& monitor, char16_t drive,
                        uint64_t ref) {
  const uint32_t n = FindRecord(index, monitor, drive, ref);
  return n != kNoEntry && SameFile(index.entries[n], ref) ? n : kNoEntry;
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
      OnFileRenamed(index, monitor, change.drive, change.fileRef, change.parentRef, change.name,
                    change.isDirectory);
      break;
    case UsnChangeKind::Modified:
      if (OnFileModified(index, monitor, change.drive, change.fileRef)) break;
      // Its record holds another file now: this one's creation was missed.
      OnFileCreated(index, monitor, change.drive, change.fileRef, change.parentRef, change.name,
                    change.isDirectory);
      break;
  }
}

void OnFileCreated(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view name, bool isDirectory) {
  if (IsRecycleBinName(name, true) || (ref & kRecordNumberMask) > kMaxStoredRecord) return;
  FileEntry entry;
  entry.recordNumber = ref & kRecordNumberMask;
  entry.sequenceNumber = SequenceOf(ref);
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
  const uint32_t previous = FindRecord(index, monitor, drive, ref);
  if (previous != kNoEntry && IsLive(index.entries[previous])) {
    const EntryRef old = index.entries[previous];
    if (SameFile(old, ref) && old.parentRecordNumber() == entry.parentRecordNumber &&
        old.name() == entry.name) {
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
      if (r.sequence == 0) r.sequence = entry.sequenceNumber;
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
                   uint64_t parentRef, std::u16string_view newName, bool isDirectory) {
  std::unique_lock entriesLock(index.entriesMutex);
  if (!IdMapIsCurrent(index, monitor)) return;
  const uint32_t n = FindEntryByRef(index, monitor, drive, ref);
  if (n == kNoEntry) {
    // Moved in from a folder the index leaves out (restored from the recycle
    // bin), or a file whose creation was missed: it is new here. Moves
    // within left-out folders stay out.
    if (IsRecycleBinName(newName, false) || !PlaceableUnder(index, monitor, drive, parentRef)) {
      return;
    }
    entriesLock.unlock();
    OnFileCreated(index, monitor, drive, ref, parentRef, newName, isDirectory);
    if (isDirectory) RestoreRecycledBelow(index, monitor, drive, ref);
    return;
  }
  if (IsRecycleBinName(newName, false)) {
    if (!IsLive(index.entries[n])) return;
    TombstoneTree(index, monitor, n, true);  // moved into the recycle bin
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

bool OnFileModified(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  uint32_t n = kNoEntry;
  std::u16string path;
  {
    std::shared_lock names(index.nameIndex.lock);
    if (!IdMapIsCurrent(index, monitor)) return true;
    n = FindEntryByRef(index, monitor, drive, ref);
    if (n == kNoEntry) {
      const uint32_t holder = FindRecord(index, monitor, drive, ref);
      return holder == kNoEntry || !IsLive(index.entries[holder]);
    }
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
  return true;
}

}  // namespace zw

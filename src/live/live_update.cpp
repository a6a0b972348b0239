#include "live/live_update.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/file_index.h"
#include "index/build_paths.h"
#include "live/live_debug.h"
#include "live/live_update_detail.h"
#include "live/usn_monitor.h"
#include "platform/file_attributes.h"

namespace zw {

namespace live_detail {

// The entry that holds ref's record on `drive`, whatever file it holds now.
uint32_t FindRecord(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                    uint64_t ref) {
  const EntryStore& entries = hold.entries();
  const uint32_t n = monitor.FindId(MakeIdKey(drive, ref));
  if (n == kNoEntry || n >= entries.size()) return kNoEntry;
  // A number from a map built for an earlier run must not reach a stranger.
  const EntryRef e = entries[n];
  if (e.drive() != drive || e.recordNumber() != (ref & kRecordNumberMask)) return kNoEntry;
  return n;
}

}  // namespace live_detail

using namespace live_detail;

namespace {

std::u16string RootPath(char16_t drive, std::u16string_view name) {
  std::u16string path(1, drive);
  path += u":\\";
  path += name;
  return path;
}

// The path of `name` inside the folder `parentRef`, or under the root when
// that folder is not a live indexed entry (the root itself is never one).
// `parent` gets that folder's entry.
std::u16string PathUnder(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                         uint64_t parentRef, std::u16string_view name, bool& parentFound,
                         uint32_t& parent) {
  parent = FindEntryByRef(hold, monitor, drive, parentRef);
  std::u16string path;
  if (parent != kNoEntry) hold.entries()[parent].PathInto(path);
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

// Entries whose path lies below entry `n`. The writer reads while searches
// go on.
std::vector<uint32_t> DescendantsIfAny(const WriterAccess& writer, const UsnMonitor& monitor,
                                       uint32_t n) {
  const EntryRef folder = writer.entries()[n];
  const std::u16string path = folder.path();
  if (!MayHaveDescendants(monitor, folder, path)) return {};
  return writer.entries().Below(n, path);
}

// Marks entry `n` and everything below it deleted; `recycled`: moved into a
// folder the index leaves out.
void TombstoneTree(FileIndex& index, EntryWriter& writer, UsnMonitor& monitor, uint32_t n,
                   bool recycled = false) {
  std::vector<uint32_t> doomed = DescendantsIfAny(writer, monitor, n);
  doomed.push_back(n);
  std::vector<std::pair<IdKey, uint32_t>> keys;
  keys.reserve(doomed.size());
  {
    const EntryWriteView hold(writer);
    EntryStore& store = hold.store();
    for (uint32_t i : doomed) {
      const EntryRef e = store[i];
      const bool live = IsLive(e);
      if (live) monitor.AdjustChildCount(ParentKey(e), -1);
      NoteNameChange(index.nameIndex, hold, i);
      store.MarkDeleted(i, recycled && live);
      keys.emplace_back(OwnKey(e), i);
      if (live) ++index.Garbage(hold).deadEntries;
    }
  }
  monitor.RemoveIds(keys);
}

}  // namespace

namespace live_detail {

void Notify(const FileIndex& index) {
  if (index.changedCallback) index.changedCallback();
}

bool IdMapIsCurrent(const FileIndex& index, const EntryAccess& hold, const UsnMonitor& monitor) {
  return !index.indexing.load() && monitor.IdMapTag() == index.Run(hold).number;
}

// Folds a large set of changes into the name index by a rebuild. This thread
// is the writer, so the other journal threads wait, while searches read on
// until the new tables are swapped in.
void FoldChangesIfLarge(FileIndex& index, UsnMonitor& monitor, EntryWriter& writer) {
  if (CompactionDue(index, writer)) {
    try {
      if (CompactEntries(index, monitor, writer)) return;
    } catch (const std::bad_alloc&) {
      // The entries stay as they were; try again once as much has gathered.
      index.Garbage(writer) = {};
    }
  }
  NameIndex& names = index.nameIndex;
  if (!NameIndexWantsRebuild(names, writer)) return;
  try {
    RebuildNameIndex(index, writer, names.Tables(writer).ngramEnabled);
  } catch (const std::bad_alloc&) {
    // Searches stay right with the changes as they are; try again once
    // they have doubled rather than at every change.
    const EntryWriteView hold(writer);
    names.Tables(hold).deltaLimit *= 2;
  }
}

}  // namespace live_detail

namespace {

// Whether a file moved into folder `parentRef` can be placed: the root, or
// a live indexed folder (not one the index leaves out).
bool PlaceableUnder(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                    uint64_t parentRef) {
  if ((parentRef & kRecordNumberMask) == kRootFolderRecord) return true;
  const uint32_t p = FindEntryByRef(hold, monitor, drive, parentRef);
  return p != kNoEntry && IsLive(hold.entries()[p]) && hold.entries()[p].isFolder();
}

}  // namespace

uint32_t FindEntryByRef(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                        uint64_t ref) {
  const uint32_t n = FindRecord(hold, monitor, drive, ref);
  return n != kNoEntry && SameFile(hold.entries()[n], ref) ? n : kNoEntry;
}

void StartLiveUpdate(FileIndex& index, UsnMonitor& monitor, bool createJournals) {
  if (index.indexing.load()) return;
  // Following an earlier run: its threads end first (a change they were
  // applying is done with), so that the new map and drive set take over.
  monitor.Stop();
  UsnMonitor::StartPositions from;
  std::set<char16_t> drives;
  {
    EntryWriter writer(index.entries);
    from = index.Run(writer).journalPositions;
    drives = index.Run(writer).drives;
    const auto& entries = writer.entries();
    {
      // Room for new files now, while nothing searches through a monitor
      // thread's lock: growing a million entries later would hold every
      // search back for as long as the move takes.
      const size_t want = entries.size() + entries.size() / 16 + 1024;
      if (entries.capacity() < want) {
        const EntryWriteView hold(writer);
        hold.store().reserve(want);
      }
    }
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
    monitor.RebuildIds(entries.size(), index.Run(writer).number, fill);
    // What an earlier follow of these entries left is counted from here on.
    index.Garbage(writer) = {};
  }
  monitor.SetChangeHandler(
      [&index, &monitor](const UsnChange& change) { ApplyChange(index, monitor, change); });
  monitor.AllowJournalCreation(createJournals);
  monitor.Start(drives, from);
}

void StartLiveUpdate(FileIndex& index, bool createJournals) {
  StartLiveUpdate(index, GetUsnMonitor(), createJournals);
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

  EntryWriter writer(index.entries);
  const EntryStore& entries = writer.entries();
  // During a run the entries are being replaced; the run reads the file
  // anyway, and the change comes again from the run's journal position.
  if (!IdMapIsCurrent(index, writer, monitor) || entries.size() >= kNoEntry) return;
  bool parentFound = false;
  uint32_t parent = kNoEntry;
  entry.path = PathUnder(writer, monitor, drive, parentRef, name, parentFound, parent);
  // The file system is asked while searches can still read the entries.
  platform::FileAttributeData data;
  const bool asked = platform::GetEntryAttributeData(entry.path, data);
  if (asked) {
    entry.size = data.size;
    entry.modificationTime = data.lastWriteTime;
    entry.creationTime = data.creationTime;
  }
  const uint32_t previous = FindRecord(writer, monitor, drive, ref);
  if (previous != kNoEntry && IsLive(entries[previous])) {
    const EntryRef old = entries[previous];
    if (SameFile(old, ref) && old.parentRecordNumber() == entry.parentRecordNumber &&
        old.name() == entry.name) {
      // The scan saw this file already (its creation is replayed from the
      // journal position taken before the scan): refresh, never repeat it.
      const bool moved = old.path() != entry.path;
      const EntryWriteView hold(writer);
      EntryStore& store = hold.store();
      if (asked) {  // else the scan's figures stand
        store.SetSize(previous, entry.size);
        store.SetModificationTime(previous, entry.modificationTime);
        store.SetCreationTime(previous, entry.creationTime);
      }
      if (old.sequenceNumber() == 0) store.SetSequence(previous, entry.sequenceNumber);
      if (moved) {
        NotePathChange(index.nameIndex, hold, previous);
        store.SetParentAndPath(previous, entry.parentRecordNumber, parent, entry.path);
      }
      Notify(index);
      return;
    }
  }
  const uint32_t id = uint32_t(entries.size());
  {
    const EntryWriteView hold(writer);
    EntryStore& store = hold.store();
    // A live entry that holds this record under another name or folder is
    // one whose deletion was missed: it is gone now, and keeping it would
    // show the record twice.
    const bool replaces = previous != kNoEntry && IsLive(store[previous]);
    if (replaces) NoteNameChange(index.nameIndex, hold, previous);
    // The entry and its key come together or not at all: an entry no key
    // leads to could never be deleted or renamed.
    store.Append(entry, parent);
    try {
      monitor.AddId(MakeIdKey(drive, ref), id, MakeIdKey(drive, parentRef));
    } catch (...) {
      store.RemoveLast();
      throw;
    }
    if (replaces) {
      monitor.AdjustChildCount(ParentKey(store[previous]), -1);
      store.MarkDeleted(previous);
      ++index.Garbage(hold).deadEntries;
    }
  }
  live_debug::Created(id, entry.path);
  Notify(index);
  FoldChangesIfLarge(index, monitor, writer);
}

void OnFileDeleted(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  EntryWriter writer(index.entries);
  if (!IdMapIsCurrent(index, writer, monitor)) return;
  const uint32_t n = FindEntryByRef(writer, monitor, drive, ref);
  if (n == kNoEntry || !IsLive(writer.entries()[n])) return;  // gone already
  TombstoneTree(index, writer, monitor, n);
  Notify(index);
  FoldChangesIfLarge(index, monitor, writer);
}

void OnFileRenamed(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref,
                   uint64_t parentRef, std::u16string_view newName, bool isDirectory) {
  std::optional<EntryWriter> held(std::in_place, index.entries);
  EntryWriter& writer = *held;
  if (!IdMapIsCurrent(index, writer, monitor)) return;
  const uint32_t n = FindEntryByRef(writer, monitor, drive, ref);
  if (n == kNoEntry) {
    // Moved in from a folder the index leaves out (restored from the recycle
    // bin), or a file whose creation was missed: it is new here. Moves
    // within left-out folders stay out.
    if (IsRecycleBinName(newName, false) || !PlaceableUnder(writer, monitor, drive, parentRef)) {
      return;
    }
    held.reset();
    OnFileCreated(index, monitor, drive, ref, parentRef, newName, isDirectory);
    if (isDirectory) RestoreRecycledBelow(index, monitor, drive, ref);
    return;
  }
  const EntryStore& entries = writer.entries();
  if (IsRecycleBinName(newName, false)) {
    if (!IsLive(entries[n])) return;
    TombstoneTree(index, writer, monitor, n, true);  // moved into the recycle bin
    Notify(index);
    FoldChangesIfLarge(index, monitor, writer);
    return;
  }
  const EntryRef e = entries[n];
  const std::u16string oldPath = e.path();
  const uint64_t newParent = parentRef & kRecordNumberMask;
  bool parentFound = false;
  uint32_t parent = kNoEntry;
  std::u16string newPath =
      PathUnder(writer, monitor, drive, parentRef, newName, parentFound, parent);
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
    const EntryWriteView hold(writer);
    EntryStore& store = hold.store();
    if (IsLive(e)) monitor.AdjustChildCount(ParentKey(e), -1);
    if (e.name() != newName) {
      NoteNameChange(index.nameIndex, hold, n);
    } else {
      NotePathChange(index.nameIndex, hold, n);
    }
    if (store.RawName(n) != newName) {
      store.SetName(n, newName);
      ++index.Garbage(hold).replacedNames;
    }
    store.ClearDeleted(n);
    store.SetParentAndPath(n, newParent, parent, newPath);
    monitor.AdjustChildCount(ParentKey(e), +1);
    if (below) {
      store.ReplaceKeptPrefix(drive, oldPath, newPath);
      NotePathsBelowChanged(index.nameIndex, hold);
    }
  }
  Notify(index);
  FoldChangesIfLarge(index, monitor, writer);
}

bool OnFileModified(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  uint32_t n = kNoEntry;
  std::u16string path;
  {
    const EntryReadView hold(index.entries);
    if (!IdMapIsCurrent(index, hold, monitor)) return true;
    n = FindEntryByRef(hold, monitor, drive, ref);
    if (n == kNoEntry) {
      const uint32_t holder = FindRecord(hold, monitor, drive, ref);
      return holder == kNoEntry || !IsLive(hold.entries()[holder]);
    }
    path = hold.entries()[n].path();
  }
  platform::FileAttributeData data;
  if (!path.empty() && platform::GetEntryAttributeData(path, data)) {
    EntryWriter writer(index.entries);
    // The entry may have been renamed or removed meanwhile; only the same
    // record gets the new figures.
    if (IdMapIsCurrent(index, writer, monitor) &&
        FindEntryByRef(writer, monitor, drive, ref) == n) {
      const EntryWriteView hold(writer);
      hold.store().SetSize(n, data.size);
      hold.store().SetModificationTime(n, data.lastWriteTime);
    }
  }
  Notify(index);
  return true;
}

}  // namespace zw

// What the change handlers of live_update.cpp and the restore of folders
// coming back from the recycle bin share (not for other users).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_index.h"
#include "index/entry_guard.h"
#include "live/usn_monitor.h"

namespace zw::live_detail {

inline bool IsLive(EntryRef e) {
  return !e.name().empty();
}

inline IdKey ParentKey(EntryRef e) {
  return MakeIdKey(e.drive(), e.parentRecordNumber());
}
inline IdKey OwnKey(EntryRef e) {
  return MakeIdKey(e.drive(), e.recordNumber());
}

inline uint16_t SequenceOf(uint64_t ref) {
  return uint16_t(ref >> 48);
}

// Whether entry `e`, which holds the record of `ref`, still holds that file:
// a record reused for a new file gets a new sequence number. 0 on either
// side is not known, as NTFS treats it.
inline bool SameFile(EntryRef e, uint64_t ref) {
  const uint16_t seq = SequenceOf(ref);
  return seq == 0 || e.sequenceNumber() == 0 || e.sequenceNumber() == seq;
}

// The entry that holds ref's record on `drive`, whatever file it holds now.
uint32_t FindRecord(const EntryAccess& hold, const UsnMonitor& monitor, char16_t drive,
                    uint64_t ref);
void Notify(const FileIndex& index);
// Whether a change may be applied: no run is replacing the entries, and the
// id map was built from the entries of the run that is there now.
bool IdMapIsCurrent(const FileIndex& index, const EntryAccess& hold, const UsnMonitor& monitor);
// Compacts the entries once live changes have left enough behind in them
// (CompactEntries), else folds a large set of changes into the name index by
// a rebuild.
void FoldChangesIfLarge(FileIndex& index, UsnMonitor& monitor, EntryWriter& writer);

// The journal names only a folder that comes back from a folder the index
// leaves out, not what it holds: what it held when it left returns in place,
// as far as it is still there on disk, with fresh sizes and times.
void RestoreRecycledBelow(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref);

}  // namespace zw::live_detail

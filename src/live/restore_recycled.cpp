// Folders back from the recycle bin: what they held when they left returns.
#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "live/live_update.h"
#include "live/live_update_detail.h"
#include "platform/file_attributes.h"

namespace zw::live_detail {

void RestoreRecycledBelow(FileIndex& index, UsnMonitor& monitor, char16_t drive, uint64_t ref) {
  EntryWriter writer(index.entries);
  if (!IdMapIsCurrent(index, writer, monitor)) return;
  const EntryStore& store = writer.entries();
  const uint32_t folder = FindEntryByRef(writer, monitor, drive, ref);
  if (folder == kNoEntry || !store[folder].isFolder()) return;
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
  {
    const EntryWriteView hold(writer);
    hold.store().ClearRecycled(old);
    for (const auto& [depth, c] : below) hold.store().ClearRecycled(c);
  }
  std::sort(below.begin(), below.end());  // folders before what they hold
  std::unordered_set<uint32_t> back;
  std::u16string path;
  for (const auto& [depth, c] : below) {
    const EntryRecord& r = store.Record(c);
    const uint32_t parent = r.parent == old ? folder : uint32_t(r.parent);  // a packed field
    if (parent != folder && back.count(parent) == 0) continue;  // its folder stayed away
    const uint64_t cref = (uint64_t{r.sequence} << 48) | r.recordNumber;
    const uint32_t holder = FindRecord(writer, monitor, drive, cref);
    if (holder != kNoEntry && IsLive(store[holder])) continue;  // the record holds another file
    store.PathInto(parent, path);
    path += u'\\';
    store.RawName(c).AppendTo(path);
    platform::FileAttributeData data;
    // Gone while it was away, or a name that Win32 would read as another file.
    if (!platform::GetEntryAttributeData(path, data)) continue;
    {
      const EntryWriteView hold(writer);
      EntryStore& changed = hold.store();
      NoteNameChange(index.nameIndex, hold, c);
      changed.ClearDeleted(c);
      if (parent == folder)
        changed.SetParentAndPath(c, store.Record(folder).recordNumber, folder, path);
      changed.SetSize(c, data.size);
      changed.SetModificationTime(c, data.lastWriteTime);
      changed.SetCreationTime(c, data.creationTime);
    }
    monitor.SetId(MakeIdKey(drive, cref), c);
    monitor.AdjustChildCount(ParentKey(store[c]), +1);
    back.insert(c);
  }
  if (back.empty()) return;
  Notify(index);
  FoldChangesIfLarge(index, monitor, writer);
}

}  // namespace zw::live_detail

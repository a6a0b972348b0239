// The name index's side of live changes: new tables swapped in, and the
// entries whose names changed since recorded against them.
#include <algorithm>
#include <utility>

#include "search/name_index.h"
#include "search/name_index_detail.h"

namespace zw {

using namespace name_index_detail;

void SwapNameTables(NameIndex& index, const EntryWriteView& hold, NameTables& tables) {
  NameTables& mine = index.Tables(hold);
  std::swap(mine, tables);
  index.attached_ = true;
  // The ranks live in the cache; the ones it held leave with the old tables.
  index.Ranks(hold).TakeBuilt(mine, mine.builtCount);
  std::swap(mine.nameRanks, tables.nameRanks);
  std::swap(mine.pathRanks, tables.pathRanks);
}

void ClearNameIndex(NameIndex& index, const EntryWriteView& hold) {
  NameTables none;
  std::swap(index.Tables(hold), none);
  index.attached_ = false;
  index.Ranks(hold).Drop();
}

void NoteNameChange(NameIndex& index, const EntryWriteView& hold, uint32_t n) {
  index.Ranks(hold).NoteNameChange(n);
  NameTables& t = index.Tables(hold);
  const EntryStore& entries = hold.entries();
  if (!index.Attached(hold) || n >= t.builtCount || n >= entries.size()) return;
  if (IsChanged(t, n)) return;  // placed by the name it was built with, not the last one
  if (t.changedBits.empty()) t.changedBits.resize((size_t(t.builtCount) + 63) / 64);
  t.builtNames.emplace(n, FoldedName(entries[n]).str());
  t.changedBits[n >> 6] |= uint64_t{1} << (n & 63);
}

void NotePathChange(NameIndex& index, const EntryWriteView& hold, uint32_t n) {
  index.Ranks(hold).NotePathChange(n);
}

void NotePathsBelowChanged(NameIndex& index, const EntryWriteView& hold) {
  index.Ranks(hold).DropPaths();
}

void NoteEntriesChanged(NameIndex& index, const EntryWriteView& hold) {
  index.Ranks(hold).Drop();
}

size_t NameIndexDelta(const NameIndex& index, const EntryAccess& hold) {
  const NameTables& t = index.Tables(hold);
  const size_t n = index.Attached(hold) ? hold.entries().size() : 0;
  return t.builtNames.size() + (n > t.builtCount ? n - t.builtCount : 0);
}

bool NameIndexWantsRebuild(const NameIndex& index, const EntryAccess& hold) {
  return index.Attached(hold) && NameIndexDelta(index, hold) > index.Tables(hold).deltaLimit;
}

}  // namespace zw

// The store's paths: walking the parent links, placing an entry in the
// tree (linked, or with its path kept), and what lies below a folder.
#include <string>
#include <vector>

#include "index/entry_store.h"

namespace zw {

namespace {

bool StartsBelow(std::u16string_view path, std::u16string_view folder) {
  return path.size() > folder.size() + 1 && path[folder.size()] == u'\\' &&
         path.compare(0, folder.size(), folder) == 0;
}

}  // namespace

bool EntryStore::IsRootForm(std::u16string_view path, char16_t drive, NameText name) {
  return path.size() == name.size() + 3 && path[0] == drive && path[1] == u':' &&
         path[2] == u'\\' && path.substr(3) == name;
}

uint64_t EntryStore::ParentRecordOf(uint32_t n) const {
  const EntryRecord& r = records_[n];
  if (r.parent != kNoEntry) return records_[r.parent].recordNumber;
  if ((r.flags & kKeptParent) != 0) return keptParents_.at(n);
  return kRootFolderRecord;
}

void EntryStore::PathInto(uint32_t n, std::u16string& out) const {
  out.clear();
  // The chain up to the first entry that starts a path: one with a kept
  // path or no parent. Links never form a loop, so this ends.
  uint32_t chain[64];
  std::vector<uint32_t> longChain;
  size_t depth = 0;
  size_t length = 0;
  uint32_t top = n;
  for (;;) {
    const EntryRecord& r = records_[top];
    if ((r.flags & kKeptPath) != 0 || r.parent == kNoEntry) break;
    if (depth < 64) {
      chain[depth] = top;
    } else {
      if (longChain.empty()) longChain.assign(chain, chain + 64);
      longChain.push_back(top);
    }
    ++depth;
    length += r.nameLength + 1;
    top = r.parent;
  }
  const EntryRecord& t = records_[top];
  if ((t.flags & kKeptPath) != 0) {
    const std::u16string& kept = keptPaths_.at(top);
    out.reserve(kept.size() + length);
    out += kept;
  } else if ((t.flags & kPathCut) != 0) {
    out.reserve(kCutPathMark.size() + t.nameLength + length);
    out += kCutPathMark;
    RawName(top).AppendTo(out);
  } else {
    out.reserve(3 + t.nameLength + length);
    out += drives_[t.driveSlot];
    out += u":\\";
    RawName(top).AppendTo(out);
  }
  for (size_t k = depth; k-- > 0;) {
    out += u'\\';
    RawName(depth <= 64 ? chain[k] : longChain[k]).AppendTo(out);
  }
}

bool EntryStore::WalkGives(uint32_t parent, char16_t drive, NameText name,
                           std::u16string_view path) const {
  if (parent == kNoEntry) return IsRootForm(path, drive, name);
  std::u16string base;
  PathInto(parent, base);
  return path.size() == base.size() + 1 + name.size() && path.compare(0, base.size(), base) == 0 &&
         path[base.size()] == u'\\' && path.substr(base.size() + 1) == name;
}

void EntryStore::Place(uint32_t n, uint64_t parentRecord, uint32_t parent,
                       std::u16string_view path) {
  EntryRecord& r = records_[n];
  r.flags &= uint8_t(~(kKeptPath | kKeptParent | kPathCut));
  if (StartsWithCutMark(path)) r.flags |= kPathCut;
  keptPaths_.erase(n);
  keptParents_.erase(n);
  const char16_t drive = DriveOf(n);
  bool linked = parent != kNoEntry && parent < records_.size() && parent != n &&
                records_[parent].recordNumber == parentRecord && DriveOf(parent) == drive;
  // A parent below the entry itself would make the walk go round for ever.
  for (uint32_t p = parent; linked && p != kNoEntry; p = records_[p].parent) {
    if (p == n) linked = false;
  }
  const NameText name = RawName(n);
  if (linked && !WalkGives(parent, drive, name, path)) linked = false;
  r.parent = linked ? parent : kNoEntry;
  if (!linked) {
    if (!IsRootForm(path, drive, name)) {
      keptPaths_[n] = std::u16string(path);
      r.flags |= kKeptPath;
    }
    if (parentRecord != kRootFolderRecord) {
      keptParents_[n] = parentRecord;
      r.flags |= kKeptParent;
    }
  }
}

void EntryStore::Link(uint32_t n, uint32_t parent, uint64_t parentRecord, bool cut) {
  EntryRecord& r = records_[n];
  r.parent = parent;
  r.flags = uint8_t(cut ? r.flags | kPathCut : r.flags & ~kPathCut);
  keptParents_.erase(n);
  r.flags &= uint8_t(~kKeptParent);
  if (parent == kNoEntry && parentRecord != kRootFolderRecord) {
    keptParents_[n] = parentRecord;
    r.flags |= kKeptParent;
  }
}

void EntryStore::SetParentAndPath(uint32_t n, uint64_t parentRecord, uint32_t parent,
                                  std::u16string_view path) {
  Place(n, parentRecord, parent, path);
}

void EntryStore::ReplaceKeptPrefix(char16_t drive, std::u16string_view oldPath,
                                   std::u16string_view newPath) {
  for (auto& [n, path] : keptPaths_) {
    if ((records_[n].flags & kDeleted) != 0 || DriveOf(n) != drive) continue;
    if (StartsBelow(path, oldPath)) path.replace(0, oldPath.size(), newPath);
  }
}

std::vector<uint32_t> EntryStore::Below(uint32_t n, std::u16string_view nPath) const {
  // Per entry, whether everything hanging from it lies below `nPath`:
  // 0 not known yet, 1 below, 2 not.
  std::vector<uint8_t> state(records_.size(), 0);
  const char16_t drive = DriveOf(n);
  auto ownState = [&](uint32_t e) -> uint8_t {
    if (e == n) return 1;
    const EntryRecord& r = records_[e];
    if ((r.flags & kKeptPath) != 0) {
      const std::u16string& kept = keptPaths_.at(e);
      return DriveOf(e) == drive && (kept == nPath || StartsBelow(kept, nPath)) ? 1 : 2;
    }
    return r.parent == kNoEntry ? 2 : 0;
  };
  std::vector<uint32_t> pending;
  for (uint32_t i = 0; i < records_.size(); ++i) {
    uint32_t e = i;
    while (state[e] == 0) {
      const uint8_t s = ownState(e);
      if (s != 0) {
        state[e] = s;
        break;
      }
      pending.push_back(e);
      e = records_[e].parent;
    }
    for (uint32_t p : pending) state[p] = state[e];
    pending.clear();
  }
  std::vector<uint32_t> below;
  for (uint32_t i = 0; i < records_.size(); ++i) {
    const EntryRecord& r = records_[i];
    if (i == n || (r.flags & kDeleted) != 0 || DriveOf(i) != drive) continue;
    const bool in = (r.flags & kKeptPath) != 0 ? StartsBelow(keptPaths_.at(i), nPath)
                                               : r.parent != kNoEntry && state[r.parent] == 1;
    if (in) below.push_back(i);
  }
  return below;
}

}  // namespace zw

// The entries of the index, stored compactly: one fixed-size record per
// entry and every name once in a byte arena, one byte a unit where the name
// allows (index/name_text.h) and folded only as it is read; extensions are
// views into the names; a path is built on demand by walking the parent
// links, except for the few entries whose path a walk cannot give (a cut
// loop, a depth limit, a path set by hand), which keep theirs in a side table.
//
// Views returned by the accessors point into the arena: valid while the
// view of index/entry_guard.h they were read through lasts. The arena is
// chunked and never moves a name once written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "index/file_entry.h"
#include "index/name_text.h"
#include "ntfs/scan_record.h"

namespace zw {

class EntryStore;

// Starts the path of an entry whose real path is deeper than paths follow:
// what follows is the kept tail. Never a path Win32 could resolve from a
// drive, so a cut path cannot pass for (or open) another file.
inline constexpr std::u16string_view kCutPathMark = u"\u2026\\";

inline bool StartsWithCutMark(std::u16string_view path) {
  return path.substr(0, kCutPathMark.size()) == kCutPathMark;
}

// Packed to 2-byte alignment, no padding wasted on a million records. The
// whole file reference fits beside the name's length: NTFS holds fewer than
// 2^32 files (36 bits leave room) and names of at most 255 units (12 bits).
#pragma pack(push, 2)
struct EntryRecord {
  uint64_t recordNumber : 36 = 0;
  uint64_t nameLength : 12 = 0;
  uint64_t sequence : 16 = 0;  // of the file reference; 0: not known
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t modificationTime = 0;
  uint32_t nameOffset = 0;  // in bytes
  uint32_t attributes = 0;
  uint32_t parent = kNoEntry;  // the entry whose path this one continues
  uint8_t driveSlot = 0;
  uint8_t flags = 0;
};
#pragma pack(pop)
static_assert(sizeof(EntryRecord) == 46);
// Record numbers the store can hold; a larger one never comes from a sound volume.
inline constexpr uint64_t kMaxStoredRecord = (uint64_t{1} << 36) - 1;

// One entry, read through the store. Cheap to copy; holds no strings.
class EntryRef {
 public:
  EntryRef(const EntryStore& store, uint32_t n) : store_(&store), n_(n) {}

  uint32_t id() const { return n_; }
  uint64_t recordNumber() const;
  uint64_t parentRecordNumber() const;
  uint16_t sequenceNumber() const;
  char16_t drive() const;
  // Empty for a deleted entry, as are lowerName and path.
  NameText name() const;
  // The name read with A-Z folded.
  NameText lowerName() const;
  std::u16string path() const;
  // Clears `out` and builds the path into it (no allocation once it is large enough).
  void PathInto(std::u16string& out) const;
  NameText extension() const;
  NameText lowerExtension() const;
  uint64_t size() const;
  uint64_t creationTime() const;
  uint64_t modificationTime() const;
  uint32_t attributes() const;
  bool isFolder() const;
  bool isDeleted() const;
  // The path shown is not the whole path (it begins with kCutPathMark): it
  // must not be opened or asked about.
  bool pathCut() const;
  FileEntry Value() const;
  // For callers and tests that want a value with its strings.
  operator FileEntry() const { return Value(); }  // NOLINT(google-explicit-constructor)

 private:
  const EntryRecord& Rec() const;
  const EntryStore* store_;
  uint32_t n_;
};

class EntryStore {
 public:
  // kRecycled: deleted by a move into a folder the index leaves out, so a
  // move back may bring it back.
  static constexpr uint8_t kFolder = 1, kDeleted = 2, kWideName = 4, kKeptPath = 8,
                           kKeptParent = 16, kPathCut = 32, kRecycled = 64;

  EntryStore() = default;
  EntryStore(const EntryStore& other);
  EntryStore& operator=(const EntryStore& other);
  EntryStore(EntryStore&&) noexcept = default;
  EntryStore& operator=(EntryStore&&) noexcept = default;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  size_t capacity() const { return records_.capacity(); }
  void reserve(size_t n) { records_.reserve(n); }
  // Empties the store and releases its storage.
  void clear();

  EntryRef operator[](size_t n) const { return EntryRef(*this, uint32_t(n)); }
  // Throws std::out_of_range past the end.
  EntryRef at(size_t n) const;
  EntryRef back() const { return (*this)[size() - 1]; }

  class Iterator {
   public:
    Iterator(const EntryStore& s, uint32_t n) : s_(&s), n_(n) {}
    EntryRef operator*() const { return EntryRef(*s_, n_); }
    Iterator& operator++() {
      ++n_;
      return *this;
    }
    bool operator!=(const Iterator& o) const { return n_ != o.n_; }
    bool operator==(const Iterator& o) const { return n_ == o.n_; }

   private:
    const EntryStore* s_;
    uint32_t n_;
  };
  Iterator begin() const { return Iterator(*this, 0); }
  Iterator end() const { return Iterator(*this, uint32_t(size())); }

  // Appends completed entries (name, path and the rest as BuildPaths leaves
  // them), numbered from size(); each path is kept exactly. A nonzero `drive`
  // replaces every value's drive letter. `values` is left empty.
  void AppendValues(std::vector<FileEntry>& values, char16_t drive = 0);
  // Moves every entry of `other` to the end (numbers shift by size()) and
  // leaves `other` empty. Cheap next to AppendValues: a drive is made into a
  // store of its own off the lock and spliced in under it. When it throws
  // (out of memory, too many names) both stores are as they were.
  void Splice(EntryStore&& other);
  // One value, continued from entry `parent` where that gives its path. When
  // it throws, the store holds what it held before.
  void Append(const FileEntry& value, uint32_t parent);
  // Takes back the last entry appended (its name stays in the arena).
  void RemoveLast() noexcept;
  // One scanned entry on `drive`, not linked yet: until Link its path is the
  // drive's root and its name.
  void AppendScanned(const ScanRecord& scanned, char16_t drive);
  // Entry `n` continues entry `parent`'s path, or starts at the drive's root
  // (kNoEntry) with `parentRecord` kept beside it. The caller knows that this
  // is the entry's path and that the links do not loop. With `cut` the path
  // is not whole: unlinked, it starts with kCutPathMark instead of the root.
  void Link(uint32_t n, uint32_t parent, uint64_t parentRecord, bool cut = false);
  // Keeps the entries whose `keep` is set, in order, renumbered. An entry
  // kept below one dropped starts at the drive's root.
  void KeepOnly(const std::vector<bool>& keep);
  // A copy of the entries that `oldToNew` keeps (entry i becomes oldToNew[i],
  // kNoEntry: left out; kept entries keep their order, `count` of them), in
  // storage of their own: the names of entries left out and names replaced
  // since are not copied. Every kept entry keeps its path and parent record,
  // also one whose parent is left out. (entry_store_compact.cpp)
  EntryStore Compacted(const std::vector<uint32_t>& oldToNew, uint32_t count) const;

  const EntryRecord& Record(uint32_t n) const { return records_[n]; }

  // Changes of one entry in place, as the change journal reports them.
  void SetName(uint32_t n, std::u16string_view name);
  // The entry's parent becomes `parentRecord`, its path `path`: continued
  // from entry `parent` where that entry's path gives it, else kept.
  void SetParentAndPath(uint32_t n, uint64_t parentRecord, uint32_t parent,
                        std::u16string_view path);
  // `recycled`: moved into a folder the index leaves out (see kRecycled).
  void MarkDeleted(uint32_t n, bool recycled = false) {
    records_[n].flags |= recycled ? kDeleted | kRecycled : kDeleted;
  }
  void ClearDeleted(uint32_t n) { records_[n].flags &= uint8_t(~kDeleted); }
  void ClearRecycled(uint32_t n) { records_[n].flags &= uint8_t(~kRecycled); }
  void SetSize(uint32_t n, uint64_t size) { records_[n].size = size; }
  void SetCreationTime(uint32_t n, uint64_t time) { records_[n].creationTime = time; }
  void SetModificationTime(uint32_t n, uint64_t time) { records_[n].modificationTime = time; }
  // The file reference's sequence number, once it is known.
  void SetSequence(uint32_t n, uint16_t sequence) { records_[n].sequence = sequence; }
  // Kept paths of entries below `oldPath` (on `drive`) start with `newPath`
  // instead; entries linked below follow by themselves.
  void ReplaceKeptPrefix(char16_t drive, std::u16string_view oldPath, std::u16string_view newPath);
  // Live entries whose path lies below entry `n`'s path `nPath`.
  std::vector<uint32_t> Below(uint32_t n, std::u16string_view nPath) const;

  // Raw name, also of a deleted entry.
  NameText RawName(uint32_t n) const;
  NameText RawLowerName(uint32_t n) const { return RawName(n).Folded(); }
  char16_t DriveOf(uint32_t n) const { return drives_[records_[n].driveSlot]; }
  uint64_t ParentRecordOf(uint32_t n) const;
  void PathInto(uint32_t n, std::u16string& out) const;
  bool HasKeptPath(uint32_t n) const { return (records_[n].flags & kKeptPath) != 0; }

  // Bytes held for the entries: records, arena and side tables.
  size_t MemoryBytes() const;

 private:
  // Offsets count bytes: 2^32 of them hold far more than 10 million names.
  static constexpr uint32_t kChunkShift = 21;
  static constexpr uint32_t kChunkBytes = 1u << kChunkShift;

  // Stores `name` and returns its offset; `wide` tells how.
  uint32_t AddName(std::u16string_view name, bool& wide);
  const unsigned char* At(uint32_t offset) const {
    return reinterpret_cast<const unsigned char*>(chunks_[offset >> kChunkShift].get()) +
           (offset & (kChunkBytes - 1));
  }
  uint8_t DriveSlot(char16_t drive);
  void SetNameFields(EntryRecord& r, std::u16string_view name);
  // A record of a value's own fields (a FileEntry or a ScanRecord), not placed.
  template <class Fields>
  EntryRecord NewRecord(const Fields& value, char16_t drive);
  // Whether `path` is `drive`'s root followed by `name`.
  static bool IsRootForm(std::u16string_view path, char16_t drive, NameText name);
  // Whether `path` is what a walk gives for an entry named `name` on `drive`
  // continued from `parent` (kNoEntry: the drive's root).
  bool WalkGives(uint32_t parent, char16_t drive, NameText name, std::u16string_view path) const;
  void Place(uint32_t n, uint64_t parentRecord, uint32_t parent, std::u16string_view path);

  std::vector<EntryRecord> records_;
  // Held as char16_t, so that a wide name is read as the units it was
  // written as; narrow names are written and read as bytes.
  std::vector<std::unique_ptr<char16_t[]>> chunks_;
  uint32_t used_ = 0;  // bytes used in the last chunk
  std::vector<char16_t> drives_ = {0};
  std::unordered_map<uint32_t, std::u16string> keptPaths_;
  std::unordered_map<uint32_t, uint64_t> keptParents_;
};

inline NameText EntryStore::RawName(uint32_t n) const {
  const EntryRecord& r = records_[n];
  if (r.nameLength == 0) return {};
  const unsigned char* at = At(r.nameOffset);
  if ((r.flags & kWideName) == 0) return NameText::Narrow(at, r.nameLength);
  return std::u16string_view(reinterpret_cast<const char16_t*>(at), r.nameLength);
}

inline const EntryRecord& EntryRef::Rec() const {
  return store_->Record(n_);
}
inline uint64_t EntryRef::recordNumber() const {
  return Rec().recordNumber;
}
inline uint16_t EntryRef::sequenceNumber() const {
  return uint16_t(Rec().sequence);
}
inline uint64_t EntryRef::parentRecordNumber() const {
  return store_->ParentRecordOf(n_);
}
inline char16_t EntryRef::drive() const {
  return store_->DriveOf(n_);
}
inline bool EntryRef::isDeleted() const {
  return (Rec().flags & EntryStore::kDeleted) != 0;
}
inline NameText EntryRef::name() const {
  return isDeleted() ? NameText() : store_->RawName(n_);
}
inline NameText EntryRef::lowerName() const {
  return name().Folded();
}
inline uint64_t EntryRef::size() const {
  return Rec().size;
}
inline uint64_t EntryRef::creationTime() const {
  return Rec().creationTime;
}
inline uint64_t EntryRef::modificationTime() const {
  return Rec().modificationTime;
}
inline uint32_t EntryRef::attributes() const {
  return Rec().attributes;
}
inline bool EntryRef::isFolder() const {
  return (Rec().flags & EntryStore::kFolder) != 0;
}
inline bool EntryRef::pathCut() const {
  return (Rec().flags & EntryStore::kPathCut) != 0;
}
inline void EntryRef::PathInto(std::u16string& out) const {
  if (isDeleted()) {
    out.clear();
    return;
  }
  store_->PathInto(n_, out);
}
inline std::u16string EntryRef::path() const {
  std::u16string out;
  PathInto(out);
  return out;
}

}  // namespace zw

#include "index/entry_store.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "index/record_map.h"

namespace zw {

namespace {

// NTFS names are at most 255 units; anything longer is cut to what a record holds.
constexpr size_t kMaxNameUnits = 0xFFF;

}  // namespace

NameText EntryRef::extension() const {
  return isFolder() ? NameText() : FileExtension(store_->RawName(n_));
}

NameText EntryRef::lowerExtension() const {
  return extension().Folded();
}

FileEntry EntryRef::Value() const {
  FileEntry e;
  e.id = n_;
  e.recordNumber = recordNumber();
  e.parentRecordNumber = parentRecordNumber();
  e.sequenceNumber = sequenceNumber();
  e.drive = drive();
  e.name = name().str();
  e.lowerName = lowerName().str();
  e.path = path();
  e.extension = extension().str();
  e.lowerExtension = lowerExtension().str();
  e.size = size();
  e.creationTime = creationTime();
  e.modificationTime = modificationTime();
  e.attributes = attributes();
  e.isFolder = isFolder();
  return e;
}

EntryRef EntryStore::at(size_t n) const {
  if (n >= records_.size()) throw std::out_of_range("entry number");
  return (*this)[n];
}

EntryStore::EntryStore(const EntryStore& other)
    : records_(other.records_),
      drives_(other.drives_),
      keptPaths_(other.keptPaths_),
      keptParents_(other.keptParents_) {
  chunks_.reserve(other.chunks_.size());
  for (size_t c = 0; c < other.chunks_.size(); ++c) {
    chunks_.emplace_back(new char16_t[kChunkBytes / 2]);
    const size_t bytes = c + 1 == other.chunks_.size() ? other.used_ : kChunkBytes;
    std::copy_n(other.chunks_[c].get(), (bytes + 1) / 2, chunks_.back().get());
  }
  used_ = other.used_;
}

EntryStore& EntryStore::operator=(const EntryStore& other) {
  if (this != &other) {
    EntryStore copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void EntryStore::clear() {
  std::vector<EntryRecord>().swap(records_);
  std::vector<std::unique_ptr<char16_t[]>>().swap(chunks_);
  used_ = 0;
  drives_ = {0};
  std::unordered_map<uint32_t, std::u16string>().swap(keptPaths_);
  std::unordered_map<uint32_t, uint64_t>().swap(keptParents_);
}

uint32_t EntryStore::AddName(std::u16string_view name, bool& wide) {
  wide = std::any_of(name.begin(), name.end(), [](char16_t c) { return c >= 0x100; });
  // Wide names start on a unit boundary.
  const uint32_t start = wide ? (used_ + 1) & ~1u : used_;
  const size_t bytes = wide ? name.size() * 2 : name.size();
  uint32_t at = start;
  if (chunks_.empty() || start + bytes > kChunkBytes) {
    if (chunks_.size() >= (size_t(1) << (32 - kChunkShift))) throw std::length_error("name arena");
    chunks_.emplace_back(new char16_t[kChunkBytes / 2]);
    at = 0;
  }
  char16_t* chunk = chunks_.back().get();
  if (wide) {
    std::copy(name.begin(), name.end(), chunk + at / 2);
  } else {
    auto* out = reinterpret_cast<unsigned char*>(chunk) + at;
    for (char16_t c : name) *out++ = static_cast<unsigned char>(c);
  }
  used_ = at + uint32_t(bytes);
  return uint32_t((chunks_.size() - 1) << kChunkShift) + at;
}

uint8_t EntryStore::DriveSlot(char16_t drive) {
  for (size_t s = 0; s < drives_.size(); ++s) {
    if (drives_[s] == drive) return uint8_t(s);
  }
  if (drives_.size() > 0xFF) throw std::length_error("drive letters");
  drives_.push_back(drive);
  return uint8_t(drives_.size() - 1);
}

template <class Fields>
EntryRecord EntryStore::NewRecord(const Fields& value, char16_t drive) {
  // Callers keep larger numbers out (they would alias another record).
  if (value.recordNumber > kMaxStoredRecord) throw std::length_error("record number");
  EntryRecord r;
  r.recordNumber = value.recordNumber;
  r.sequence = value.sequenceNumber;
  r.size = value.size;
  r.creationTime = value.creationTime;
  r.modificationTime = value.modificationTime;
  r.attributes = value.attributes;
  r.driveSlot = DriveSlot(drive);
  r.flags = value.isFolder ? kFolder : 0;
  SetNameFields(r, value.name);
  return r;
}

void EntryStore::SetNameFields(EntryRecord& r, std::u16string_view name) {
  name = name.substr(0, kMaxNameUnits);
  bool wide = false;
  r.nameOffset = AddName(name, wide);
  r.nameLength = uint16_t(name.size());
  r.flags = uint8_t(wide ? r.flags | kWideName : r.flags & ~kWideName);
}

void EntryStore::AppendValues(std::vector<FileEntry>& values, char16_t drive) {
  const size_t first = records_.size();
  if (records_.capacity() < first + values.size()) records_.reserve(first + values.size());
  // Record number -> position, later positions winning.
  uint64_t maxRecord = 0;
  for (const FileEntry& v : values) maxRecord = std::max(maxRecord, v.recordNumber);
  RecordMap positions(maxRecord, values.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) positions.Set(values[i].recordNumber, uint32_t(i));
  for (size_t i = 0; i < values.size(); ++i) {
    const FileEntry& v = values[i];
    records_.push_back(NewRecord(v, drive != 0 ? drive : v.drive));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    const FileEntry& v = values[i];
    const uint32_t n = uint32_t(first + i);
    EntryRecord& r = records_[n];
    if (StartsWithCutMark(v.path)) r.flags |= kPathCut;
    const char16_t letter = DriveOf(n);
    const uint32_t p = positions.Find(v.parentRecordNumber);
    // A path that is the parent's plus this name needs no copy: with each
    // link the path grows, so the links cannot loop.
    if (p != kNoEntry && p != i && v.name.size() <= kMaxNameUnits &&
        DriveOf(uint32_t(first + p)) == letter) {
      const std::u16string& base = values[p].path;
      const std::u16string_view path = v.path;
      if (path.size() == base.size() + 1 + v.name.size() &&
          path.compare(0, base.size(), base) == 0 && path[base.size()] == u'\\' &&
          path.substr(base.size() + 1) == v.name) {
        r.parent = uint32_t(first + p);
        continue;
      }
    }
    if (!IsRootForm(v.path, letter, RawName(n))) {
      keptPaths_[n] = v.path;
      r.flags |= kKeptPath;
    }
    if (v.parentRecordNumber != kRootFolderRecord) {
      keptParents_[n] = v.parentRecordNumber;
      r.flags |= kKeptParent;
    }
  }
  std::vector<FileEntry>().swap(values);
}

void EntryStore::Splice(EntryStore&& other) {
  if (records_.empty()) {
    *this = std::move(other);  // leaves `other` empty, and cannot fail
    return;
  }
  // Everything that may fail comes first, while this store is untouched: a
  // record must never point at a chunk or kept path that did not arrive.
  if (chunks_.size() + other.chunks_.size() > (size_t(1) << (32 - kChunkShift))) {
    throw std::length_error("name arena");
  }
  std::vector<char16_t> drives = drives_;
  std::vector<uint8_t> slots(other.drives_.size());
  for (size_t s = 0; s < slots.size(); ++s) {
    auto at = std::find(drives.begin(), drives.end(), other.drives_[s]);
    if (at == drives.end()) {
      if (drives.size() > 0xFF) throw std::length_error("drive letters");
      at = drives.insert(drives.end(), other.drives_[s]);
    }
    slots[s] = uint8_t(at - drives.begin());
  }
  records_.reserve(records_.size() + other.records_.size());
  chunks_.reserve(chunks_.size() + other.chunks_.size());
  // With room reserved, moving the nodes over allocates nothing.
  keptPaths_.reserve(keptPaths_.size() + other.keptPaths_.size());
  keptParents_.reserve(keptParents_.size() + other.keptParents_.size());

  const uint32_t first = uint32_t(records_.size());
  const uint32_t chunkBase = uint32_t(chunks_.size()) << kChunkShift;
  for (EntryRecord r : other.records_) {
    r.nameOffset += chunkBase;
    if (r.parent != kNoEntry) r.parent += first;
    r.driveSlot = slots[r.driveSlot];
    records_.push_back(r);
  }
  for (auto& chunk : other.chunks_) chunks_.push_back(std::move(chunk));
  if (!other.chunks_.empty()) used_ = other.used_;
  drives_.swap(drives);
  while (!other.keptPaths_.empty()) {
    auto node = other.keptPaths_.extract(other.keptPaths_.begin());
    node.key() += first;
    keptPaths_.insert(std::move(node));
  }
  while (!other.keptParents_.empty()) {
    auto node = other.keptParents_.extract(other.keptParents_.begin());
    node.key() += first;
    keptParents_.insert(std::move(node));
  }
  std::vector<EntryRecord>().swap(other.records_);
  std::vector<std::unique_ptr<char16_t[]>>().swap(other.chunks_);
  other.used_ = 0;
}

void EntryStore::Append(const FileEntry& value, uint32_t parent) {
  records_.push_back(NewRecord(value, value.drive));
  try {
    Place(uint32_t(records_.size() - 1), value.parentRecordNumber, parent, value.path);
  } catch (...) {
    RemoveLast();
    throw;
  }
}

void EntryStore::RemoveLast() noexcept {
  const uint32_t n = uint32_t(records_.size() - 1);
  keptPaths_.erase(n);
  keptParents_.erase(n);
  records_.pop_back();
}

void EntryStore::AppendScanned(const ScanRecord& scanned, char16_t drive) {
  records_.push_back(NewRecord(scanned, drive));
}

void EntryStore::KeepOnly(const std::vector<bool>& keep) {
  std::vector<uint32_t> renumbered(records_.size(), kNoEntry);
  uint32_t next = 0;
  for (uint32_t i = 0; i < records_.size(); ++i) {
    if (keep[i]) renumbered[i] = next++;
  }
  std::unordered_map<uint32_t, std::u16string> keptPaths;
  std::unordered_map<uint32_t, uint64_t> keptParents;
  // Parents that go, read before the records move over them.
  for (uint32_t i = 0; i < records_.size(); ++i) {
    const uint32_t parent = records_[i].parent;
    if (renumbered[i] != kNoEntry && parent != kNoEntry && renumbered[parent] == kNoEntry) {
      keptParents.emplace(renumbered[i], uint64_t{records_[parent].recordNumber});
    }
  }
  for (uint32_t i = 0; i < records_.size(); ++i) {
    const uint32_t to = renumbered[i];
    if (to == kNoEntry) continue;
    EntryRecord r = records_[i];
    if (r.parent != kNoEntry) {
      r.parent = renumbered[r.parent];
      if (r.parent == kNoEntry) r.flags |= kKeptParent;
    }
    if (auto it = keptPaths_.find(i); it != keptPaths_.end()) {
      keptPaths.emplace(to, std::move(it->second));
    }
    if (auto it = keptParents_.find(i); it != keptParents_.end()) {
      keptParents.emplace(to, it->second);
    }
    records_[to] = r;
  }
  records_.resize(next);
  keptPaths_ = std::move(keptPaths);
  keptParents_ = std::move(keptParents);
}

void EntryStore::SetName(uint32_t n, std::u16string_view name) {
  SetNameFields(records_[n], name);
}

size_t EntryStore::MemoryBytes() const {
  size_t bytes = records_.size() * sizeof(EntryRecord);
  if (!chunks_.empty()) bytes += (chunks_.size() - 1) * size_t(kChunkBytes) + used_;
  // Hash nodes: key, value, link and the allocator's header.
  for (const auto& [n, path] : keptPaths_) {
    bytes += 48 + (path.capacity() > 7 ? (path.capacity() + 1) * 2 : 0);
  }
  bytes += keptParents_.size() * 32;
  bytes += (keptPaths_.bucket_count() + keptParents_.bucket_count()) * sizeof(void*);
  return bytes;
}

}  // namespace zw

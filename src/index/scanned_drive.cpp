#include "index/scanned_drive.h"

#include <algorithm>

#include "index/build_paths.h"
#include "index/path_builder.h"
#include "index/record_map.h"
#include "platform/file_attributes.h"
#include "platform/process_memory.h"

namespace zw {

namespace {

constexpr uint16_t kUnknown = 0xFFFF, kWalking = 0xFFFE;

// The slow way, for the volumes links cannot describe: every path built as
// a string, then stored.
void CompleteThroughPaths(ScannedDrive& drive) {
  std::vector<FileEntry> values;
  values.reserve(drive.size());
  for (uint32_t i = 0; i < drive.size(); ++i) {
    values.push_back(drive.store[i].Value());
    values.back().parentRecordNumber = drive.parentRecords[i];
  }
  drive.store.clear();
  std::vector<uint64_t>().swap(drive.parentRecords);
  BuildPaths(drive.letter, values);
  DropMetadataEntries(values, drive.letter);
  drive.store.AppendValues(values, drive.letter);
  // A million small strings are free now; hand their pages back rather than
  // keep them resident for as long as the index lives.
  platform::ReturnFreedMemory();
}

}  // namespace

void ScannedDrive::reserve(size_t n) {
  store.reserve(n);
  parentRecords.reserve(n);
}

void ScannedDrive::Add(const ScanRecord& scanned) {
  if (scanned.recordNumber > kMaxStoredRecord) return;  // no sound MFT is that large
  store.AppendScanned(scanned, letter);
  parentRecords.push_back(scanned.parentRecordNumber);
}

void CompleteScannedDrive(ScannedDrive& drive) {
  const size_t n = drive.size();
  if (n == 0) return;
  EntryStore& store = drive.store;

  uint64_t maxRecord = kRootFolderRecord;
  for (uint32_t i = 0; i < n; ++i) maxRecord = std::max(maxRecord, store.Record(i).recordNumber);
  RecordMap positions(maxRecord, n, n);
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t record = store.Record(i).recordNumber;
    if (positions.Find(record) != kNoEntry) return CompleteThroughPaths(drive);
    positions.Set(record, i);
  }
  std::vector<uint32_t> parents(n, kNoEntry);
  for (uint32_t i = 0; i < n; ++i) {
    const uint64_t p = drive.parentRecords[i];
    if (p != kRootFolderRecord && p != 0) parents[i] = positions.Find(p);
  }

  // Depth below the drive's root (or below the last cut) and whether the top
  // folder is the volume's own ("$..."), from the top down; a loop leaves it
  // to the slow way. An entry with more ancestors than paths follow starts a
  // cut path of its own, and what lies below it continues that one: a deep
  // chain costs what any tree of its size costs.
  std::vector<uint16_t> depth(n, kUnknown);
  std::vector<bool> metadata(n, false);
  std::vector<bool> cut(n, false);
  std::vector<uint32_t> chain;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t e = i;
    while (depth[e] == kUnknown) {
      depth[e] = kWalking;
      chain.push_back(e);
      if (parents[e] == kNoEntry) break;
      e = parents[e];
    }
    if (depth[e] == kWalking && parents[e] != kNoEntry) return CompleteThroughPaths(drive);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const uint32_t c = *it;
      const uint32_t p = parents[c];
      if (p == kNoEntry) {
        const NameText name = store.RawName(c);
        depth[c] = 0;
        metadata[c] = !name.empty() && name[0] == u'$';
      } else if (depth[p] >= kMaxPathDepth) {
        parents[c] = kNoEntry;
        depth[c] = 0;
        metadata[c] = metadata[p];
        cut[c] = true;
      } else {
        depth[c] = uint16_t(depth[p] + 1);
        metadata[c] = metadata[p];
        cut[c] = cut[p];
      }
    }
    chain.clear();
  }
  std::vector<uint16_t>().swap(depth);

  bool anyMetadata = false;
  for (uint32_t i = 0; i < n; ++i) {
    store.Link(i, parents[i], drive.parentRecords[i], cut[i]);
    anyMetadata = anyMetadata || metadata[i];
  }
  std::vector<uint32_t>().swap(parents);
  std::vector<uint64_t>().swap(drive.parentRecords);

  PathBuilder paths(store);
  std::u16string path;
  for (uint32_t i = 0; i < n; ++i) {
    const EntryRecord& r = store.Record(i);
    // A cut path names no file: it must not be looked up.
    if (r.size != 0 || (r.flags & (EntryStore::kFolder | EntryStore::kPathCut)) != 0 || metadata[i])
      continue;
    paths.PathInto(i, path);
    platform::FileAttributeData data;
    if (platform::GetEntryAttributeData(path, data)) store.SetSize(i, data.size);
  }
  if (anyMetadata) {
    metadata.flip();
    store.KeepOnly(metadata);
  }
}

bool IsMetadataPath(std::u16string_view path, char16_t letter) {
  return path.size() > 3 && FoldAscii(path[0]) == FoldAscii(letter) && path[1] == u':' &&
         path[2] == u'\\' && path[3] == u'$';
}

void DropMetadataEntries(std::vector<FileEntry>& entries, char16_t letter) {
  entries.erase(
      std::remove_if(entries.begin(), entries.end(),
                     [letter](const FileEntry& e) { return IsMetadataPath(e.path, letter); }),
      entries.end());
}

}  // namespace zw

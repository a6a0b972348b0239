#include "index/build_paths.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "index/entry_store.h"
#include "index/record_map.h"
#include "platform/file_attributes.h"

namespace zw {

namespace {

constexpr int kMaxDepth = kMaxPathDepth;

// A chain that hit the depth limit and revisits a record is a loop: keep each
// ancestor once, up to the first that repeats (or is the entry itself), so
// the path does not repeat the same names a hundred times.
void CutLoop(const std::vector<FileEntry>& entries, uint64_t ownRecord,
             std::vector<uint32_t>& stack) {
  std::unordered_set<uint64_t> seen;
  seen.reserve(stack.size() * 2);
  seen.insert(ownRecord);
  for (size_t i = 0; i < stack.size(); ++i) {
    if (!seen.insert(entries[stack[i]].recordNumber).second) {
      stack.resize(i);
      return;
    }
  }
}

}  // namespace

void BuildPaths(char16_t letter, std::vector<FileEntry>& entries) {
  if (entries.empty()) return;
  const size_t n = entries.size();

  uint64_t maxRecord = kRootFolderRecord;
  for (const FileEntry& e : entries) maxRecord = std::max(maxRecord, e.recordNumber);
  RecordMap recordIndex(maxRecord, n, n);
  for (size_t i = 0; i < n; ++i) recordIndex.Set(entries[i].recordNumber, uint32_t(i));
  // Completed folders by record number; their path plus "\" is the cached
  // value, read from the entry itself rather than copied.
  RecordMap folderCache(maxRecord, n, n / 10 + 1);

  const std::u16string root = {letter, u':', u'\\'};
  std::vector<uint32_t> stack;
  stack.reserve(64);

  for (size_t i = 0; i < n; ++i) {
    FileEntry& e = entries[i];
    stack.clear();
    uint64_t p = e.parentRecordNumber;
    int depth = 0;
    uint32_t cachedFolder = kNoEntry;  // position of the folder whose path is the base
    bool cut = false;                  // the chain goes on above the nearest ancestors
    if (p != kRootFolderRecord) {
      for (;;) {
        if (p == 0) break;
        if (depth == kMaxDepth) {
          const size_t walked = stack.size();
          CutLoop(entries, e.recordNumber, stack);
          cut = stack.size() == walked;
          break;
        }
        const uint32_t cached = folderCache.Find(p);
        if (cached != kNoEntry) {
          cachedFolder = cached;
          break;
        }
        const uint32_t pos = recordIndex.Find(p);
        if (pos == kNoEntry) break;  // orphan: rooted at the drive
        stack.push_back(pos);
        p = entries[pos].parentRecordNumber;
        if (p == kRootFolderRecord) break;
        ++depth;
      }
    }

    // Sizes first, so the path costs exactly one allocation.
    const std::u16string_view start = cut ? kCutPathMark : std::u16string_view(root);
    size_t length = cachedFolder != kNoEntry ? entries[cachedFolder].path.size() + 1 : start.size();
    for (uint32_t pos : stack) length += entries[pos].name.size() + 1;
    length += e.name.size();

    std::u16string path;
    path.reserve(length);
    if (cachedFolder != kNoEntry) {
      path += entries[cachedFolder].path;
      path += u'\\';
    } else {
      path += start;
    }
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
      path += entries[*it].name;
      path += u'\\';
    }
    path += e.name;
    e.path = std::move(path);

    if (e.isFolder) {
      folderCache.Set(e.recordNumber, uint32_t(i));
    } else if (e.size == 0 && !e.path.empty() && !StartsWithCutMark(e.path)) {
      platform::FileAttributeData data;
      if (platform::GetEntryAttributeData(e.path, data)) e.size = data.size;
    }
  }
}

}  // namespace zw

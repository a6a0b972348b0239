// The search structure over FileIndex::entries. Its lock is also the lock that
// keeps readers of the entry array apart from writers (see FileIndex).
//
// Everything is flat: the name order and the extension lists are plain arrays
// of entry numbers, and the n-gram lists are delta-coded in PostingTables, so
// a million entries with n-grams stay near 50 bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "index/file_entry.h"
#include "platform/shared_mutex.h"
#include "search/posting_table.h"
#include "search/query.h"

namespace zw {

struct NameIndex {
  // Writer-first: a live change gets in between searches started back to back.
  mutable platform::SharedMutex lock;
  const std::vector<FileEntry>* entries = nullptr;  // attached entry array, or none
  std::vector<uint32_t> nameOrder;                  // ascending by lowerName
  bool ngramEnabled = false;

  // Extension lists: 32-bit ids, so any number of distinct extensions keeps a
  // list of its own. List `id` is extensionEntries[extensionStart[id] ..
  // extensionStart[id + 1]), ascending.
  std::unordered_map<std::u16string, uint32_t> extensionIds;
  std::vector<uint32_t> extensionStart;
  std::vector<uint32_t> extensionEntries;

  PostingTable unigramLists;  // key: the code unit
  PostingTable bigramLists;   // key: first << 16 | second
  PostingTable trigramLists;  // key: first << 32 | second << 16 | third

  // Position of each entry in `name` order and in `path` order (ordinal,
  // case-sensitive), so that sorting results compares integers. Computed on
  // the first sort that needs them (the window's own rebuild after live
  // changes runs on its thread and should not pay for them), for all entries
  // present then; dropped by every clear, rebuild and NoteEntriesChanged.
  struct RankCache {
    std::mutex mutex;  // taken inside the shared hold of `lock`
    std::vector<uint32_t> name, path;
    size_t nameCount = 0, pathCount = 0;  // entries ranked; 0: not computed
  };
  mutable RankCache ranks;
};

// Both: caller holds `lock` exclusively.
void ClearNameIndex(NameIndex& index);
void RebuildNameIndex(NameIndex& index);

// A writer that changed an entry in place (rename, delete) calls this while it
// still holds `lock` exclusively: the rank arrays no longer describe the names
// and are computed afresh by the next sort.
void NoteEntriesChanged(NameIndex& index);

// The rank of every entry by `name` (column 0) or `path` (column 1), computed
// if missing or shorter than the entry array. Caller holds `lock` shared and
// the index is attached; the array stays valid while that hold lasts.
const std::vector<uint32_t>& EntryRanks(const NameIndex& index, uint32_t column);

// Lookups; each takes `lock` shared for its own duration.
std::vector<uint32_t> PrefixLookup(const NameIndex& index, std::u16string_view foldedPattern);
std::vector<uint32_t> PrefixExtensionLookup(const NameIndex& index,
                                            std::u16string_view foldedPattern,
                                            std::u16string_view foldedExtension);
std::vector<uint32_t> ExtensionLookup(const NameIndex& index, std::u16string_view foldedExtension);
// Caller holds `lock` shared.
std::vector<uint32_t> ContainsLookup(const NameIndex& index, std::u16string_view foldedPattern);

// The whole query in one pass, no worker threads. Without n-grams, text
// inside names is scanned in pieces, each under its own shared hold.
std::vector<uint32_t> RunQuery(const NameIndex& index, const SearchQuery& query);

// Bytes held by the index's own arrays and maps (not the entries). Caller
// holds `lock` (shared is enough).
size_t NameIndexBytes(const NameIndex& index);

}  // namespace zw

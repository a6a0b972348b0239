// The search structure over FileIndex::entries. Its lock is also the lock that
// keeps readers of the entry array apart from writers (see FileIndex).
//
// Everything is flat: the name order is a plain array of entry numbers, and
// the extension and n-gram lists are delta-coded in PostingTables, so a
// million entries with n-grams stay near 50 bytes each.
//
// The tables describe the entries as they were built. Live changes do not
// rebuild them: they record which built entries changed their name since, and
// every lookup drops those from what the tables give and tests them, and the
// entries appended since, one by one. The answers are what a fresh build
// would give; a large enough change set is folded in by a rebuild that runs
// off the lock (RebuildNameIndex in index/file_index.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "index/entry_store.h"
#include "platform/shared_mutex.h"
#include "search/posting_table.h"
#include "search/query.h"

namespace zw {

// What one build over the entries produces, and the changes recorded against
// it since (swapped out together, so that both are freed off the lock).
struct NameTables {
  uint32_t builtCount = 0;          // the tables describe entries [0, builtCount)
  std::vector<uint32_t> nameOrder;  // ascending by lowerName as built
  // Positions in nameOrder, ascending by lowerName read backwards: the names
  // that end in a text lie together, and their positions give name order.
  std::vector<uint32_t> suffixOrder;
  bool ngramEnabled = false;

  // Extension lists: 32-bit ids, so any number of distinct extensions keeps a
  // list of its own, keyed by its id. Deleted entries are in none.
  std::unordered_map<std::u16string, uint32_t> extensionIds;
  PostingTable extensionLists;

  PostingTable unigramLists;  // key: the code unit
  PostingTable bigramLists;   // key: first << 16 | second
  PostingTable trigramLists;  // key: first << 32 | second << 16 | third

  // Built entries whose name changed (renamed, deleted) since the build, with
  // the folded name they were placed by, which keeps the name order's binary
  // search sound.
  std::unordered_map<uint32_t, std::u16string> builtNames;
  // The same entries as bits, 64 to a word, which a lookup walks in order;
  // empty until the first change.
  std::vector<uint64_t> changedBits;
  // Changed plus appended entries beyond which a writer rebuilds.
  size_t deltaLimit = 0;

  // Position of each entry in `name` order and in `path` order (ordinal,
  // case-sensitive), so that sorting results compares integers. Built with
  // the tables; kept current by NameIndex::ranks (under its mutex, which is
  // why sorts holding `lock` shared may bring them up to date).
  mutable std::vector<uint32_t> nameRanks, pathRanks;
};

struct NameIndex : NameTables {
  // Writer-first: a live change gets in between searches started back to back.
  mutable platform::SharedMutex lock;
  const EntryStore* entries = nullptr;  // attached entry array, or none

  // How far nameRanks and pathRanks describe the entries. Live changes only
  // note the entries whose text changed: the next sort places those and the
  // appended ones among the rest, rather than ordering a million texts again
  // on the window's thread. Ranks dropped (too many changes) are computed
  // afresh by the next sort that needs them.
  struct RankCache {
    std::mutex mutex;  // taken inside the shared hold of `lock`; guards the ranks too
    size_t nameCount = 0, pathCount = 0;         // entries ranked; 0: not computed
    std::vector<uint32_t> nameMoved, pathMoved;  // ranked entries whose text changed since
  };
  mutable RankCache ranks;
};

// Reads only `entries`; holds no lock. The caller keeps every writer of the
// entries out meanwhile (it holds entriesMutex), while searches go on.
NameTables BuildNameTables(const EntryStore& entries, bool ngrams);

// Caller holds `lock` exclusively. Attaches `entries` and puts `tables` in;
// `tables` gets the previous ones back, with the changes recorded against
// them, to be freed after the lock is let go.
void SwapNameTables(NameIndex& index, const EntryStore* entries, NameTables& tables);

// Caller holds `lock` exclusively. Detaches and releases everything.
void ClearNameIndex(NameIndex& index);

// Caller holds `lock` exclusively, and calls it just before the name of entry
// `n` changes (rename, delete; its path changes with it).
void NoteNameChange(NameIndex& index, uint32_t n);
// The same when only the path of entry `n` changes (its folder moved).
void NotePathChange(NameIndex& index, uint32_t n);

// The same when the paths below a folder change with it (its descendants
// are not named): the next sort ranks every path afresh.
void NotePathsBelowChanged(NameIndex& index);

// A writer that changed entries in place in other ways calls this while it
// still holds `lock` exclusively: the next sort computes the rank arrays afresh.
void NoteEntriesChanged(NameIndex& index);

// Entries the tables do not describe as they stand: changed plus appended.
// Caller holds `lock`, or entriesMutex.
size_t NameIndexDelta(const NameIndex& index);
bool NameIndexWantsRebuild(const NameIndex& index);

// The rank of every entry by `name` (column 0) or `path` (column 1), brought
// up to date first if entries changed or were appended since they were built. Caller holds `lock`
// shared and the index is attached; the array stays valid while that hold lasts.
const std::vector<uint32_t>& EntryRanks(const NameIndex& index, uint32_t column);

// The rank of every entry in name order and in path order, as a build
// computes them (each the one place that orders those texts in full).
std::vector<uint32_t> NameRanks(const EntryStore& entries);
std::vector<uint32_t> PathRanks(const EntryStore& entries);
// The same by sorting every built path: what the tree order must equal.
std::vector<uint32_t> PathRanksByText(const EntryStore& entries);

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

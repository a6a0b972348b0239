// The search structure over the entries (FileIndex owns both). Its tables are
// guarded by the entries' own lock: they are read through an EntryAccess and
// changed through an EntryWriteView of the entries they describe.
//
// Everything is flat: the name order is a plain array of entry numbers, and
// the extension and n-gram lists are PostingTables (each list in the smallest
// of three forms: delta-coded, Elias-Fano or a bitmap), so a million entries
// with n-grams stay near 50 bytes each.
//
// The tables describe the entries as they were built. Live changes do not
// rebuild them: they record which built entries changed their name since, and
// every lookup drops those from what the tables give and tests them, and the
// entries appended since, one by one. The answers are what a fresh build
// would give; a large enough change set is folded in by a rebuild that runs
// off the lock (RebuildNameIndex in engine/file_index.h).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/columns.h"
#include "index/entry_guard.h"
#include "index/entry_store.h"
#include "search/packed_uints.h"
#include "search/posting_table.h"
#include "search/query.h"

namespace zw {

// What one build over the entries produces, and the changes recorded against
// it since (swapped out together, so that both are freed off the lock).
struct NameTables {
  uint32_t builtCount = 0;  // the tables describe entries [0, builtCount)
  PackedUints nameOrder;    // ascending by lowerName as built
  // Positions in nameOrder, ascending by lowerName read backwards: the names
  // that end in a text lie together, and their positions give name order.
  PackedUints suffixOrder;
  bool ngramEnabled = false;

  // Extension lists: 32-bit ids, so any number of distinct extensions keeps a
  // list of its own, keyed by its id. Deleted entries are in none.
  std::unordered_map<std::u16string, uint32_t> extensionIds;
  PostingTable extensionLists;

  PostingTable unigramLists;  // key: the code unit
  // Key: first << 32 | second << 16 | third, and FinalPairKey of each name's
  // last two units: a pair is then found as the trigrams it begins and the
  // names it ends, so no table of pairs is kept.
  PostingTable trigramLists;

  // Hangul, kept apart from the tables above (which read names as stored):
  // the entries whose names are stored with composable jamo (few: files
  // copied from a Mac), as bits (empty when there are none), ascending, and
  // with their names composed and folded, back to back (jamoEnds[k] ends
  // that of jamoEntries[k]); and for the entries whose names hold Hangul,
  // the runs of leading-consonant letters in their initials forms. Built
  // whether or not n-grams are.
  std::vector<uint64_t> jamoBits;
  std::vector<uint32_t> jamoEntries, jamoEnds;
  std::vector<char16_t> jamoNames;
  PostingTable jamoTrigrams;  // trigrams and final pairs of those names, by position in jamoEntries
  PostingTable initialsLists;

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
  // case-sensitive), as the build computed them: they move into the rank
  // cache when the tables are swapped in.
  PackedUints nameRanks, pathRanks;
};

// The rank arrays by which results are sorted (integers compared, not
// texts), and how far they describe the entries. Sorts bring them up to date
// while holding the entries only shared, so a mutex of their own guards them
// (taken inside that hold). Live changes only note the entries whose text
// changed: the next sort places those and the appended ones among the rest,
// rather than ordering a million texts again on the window's thread. Ranks
// dropped (too many changes) are computed afresh by the next sort.
class RankCache {
 public:
  // The rank of every entry by `column` (kColumnName or kColumnFolder), brought up to date first;
  // `entries` are the held entries (none when the index is not attached). The array stays valid
  // while that hold lasts.
  const PackedUints& Ranks(const EntryStore* entries, uint32_t column);
  // Entries the ranks of `column` describe (0: to be computed).
  size_t RankedCount(uint32_t column);

  // Takes the ranks a build computed, describing `builtCount` entries; the
  // ones held so far go back into `tables`.
  void TakeBuilt(NameTables& tables, uint32_t builtCount);
  void Drop();
  // Entry `n`'s name (and with it its path) or only its path changed.
  void NoteNameChange(uint32_t n);
  void NotePathChange(uint32_t n);
  // Paths below a folder changed with it: every path is ranked afresh.
  void DropPaths();
  size_t Bytes();

 private:
  const PackedUints& RanksLocked(const EntryStore* entries, uint32_t column);

  std::mutex mutex_;
  PackedUints nameRanks_, pathRanks_;
  size_t nameCount_ = 0, pathCount_ = 0;         // entries ranked; 0: not computed
  std::vector<uint32_t> nameMoved_, pathMoved_;  // ranked entries whose text changed since
};

class NameIndex {
 public:
  explicit NameIndex(const GuardedEntries& entries) : guarded_(entries) {}
  NameIndex(const NameIndex&) = delete;
  NameIndex& operator=(const NameIndex&) = delete;

  // The entries the tables describe, whose lock guards them too.
  const GuardedEntries& Guarded() const { return guarded_; }
  const NameTables& Tables(const EntryAccess& hold) const {
    Check(hold);
    return tables_;
  }
  NameTables& Tables(const EntryWriteView& hold) {
    Check(hold);
    return tables_;
  }
  // Whether tables were built over the entries since they were last emptied.
  bool Attached(const EntryAccess& hold) const {
    Check(hold);
    return attached_;
  }
  RankCache& Ranks(const EntryAccess& hold) const {
    Check(hold);
    return ranks_;
  }

 private:
  friend void SwapNameTables(NameIndex& index, const EntryWriteView& hold, NameTables& tables);
  friend void ClearNameIndex(NameIndex& index, const EntryWriteView& hold);
  void Check([[maybe_unused]] const EntryAccess& hold) const {
    assert(&hold.guarded() == &guarded_);
  }

  const GuardedEntries& guarded_;
  NameTables tables_;
  bool attached_ = false;
  mutable RankCache ranks_;
};

// Reads only the entries, holding the writer mutex: every writer stays out
// meanwhile while searches go on.
NameTables BuildNameTables(const WriterAccess& writer, bool ngrams);
// The same over entries nobody else reaches yet (a compacted copy).
NameTables BuildNameTables(const EntryStore& entries, bool ngrams);

// Attaches the entries and puts `tables` in; `tables` gets the previous ones
// back, with the changes recorded against them, to be freed after the lock
// is let go.
void SwapNameTables(NameIndex& index, const EntryWriteView& hold, NameTables& tables);

// Detaches and releases everything.
void ClearNameIndex(NameIndex& index, const EntryWriteView& hold);

// Called just before the name of entry `n` changes (rename, delete; its path
// changes with it).
void NoteNameChange(NameIndex& index, const EntryWriteView& hold, uint32_t n);
// The same when only the path of entry `n` changes (its folder moved).
void NotePathChange(NameIndex& index, const EntryWriteView& hold, uint32_t n);

// The same when the paths below a folder change with it (its descendants
// are not named): the next sort ranks every path afresh.
void NotePathsBelowChanged(NameIndex& index, const EntryWriteView& hold);

// A writer that changed entries in place in other ways calls this before it
// lets go: the next sort computes the rank arrays afresh.
void NoteEntriesChanged(NameIndex& index, const EntryWriteView& hold);

// Entries the tables do not describe as they stand: changed plus appended.
size_t NameIndexDelta(const NameIndex& index, const EntryAccess& hold);
bool NameIndexWantsRebuild(const NameIndex& index, const EntryAccess& hold);

// The rank of every entry by `name` (column 0) or `path` (column 1), brought
// up to date first if entries changed or were appended since they were built.
// The array stays valid while `hold` lasts.
const PackedUints& EntryRanks(const NameIndex& index, const EntryAccess& hold, uint32_t column);

inline uint64_t TrigramKey(char16_t first, char16_t second, char16_t third) {
  return uint64_t{first} << 32 | uint64_t{second} << 16 | third;
}

inline constexpr uint64_t kFinalPair = uint64_t{1} << 48;
inline uint64_t FinalPairKey(char16_t first, char16_t second) {
  return kFinalPair | uint64_t{first} << 32 | uint64_t{second} << 16;
}

// The unigram table (order 1) or else the trigram table over the folded
// names; false when it would not fit 32-bit offsets.
[[nodiscard]] bool BuildNgramTable(PostingTable& table, const EntryStore& entries, int order);
// The rank of every entry in name order and in path order, as a build
// computes them (each the one place that orders those texts in full).
// Equal names come in the order of `pathRanks` (the entries' PathRanks).
std::vector<uint32_t> NameRanks(const EntryStore& entries, const PackedUints& pathRanks);
std::vector<uint32_t> PathRanks(const EntryStore& entries);
// The same by sorting every built path: what the tree order must equal.
std::vector<uint32_t> PathRanksByText(const EntryStore& entries);

// Lookups; each takes the entries' lock shared for its own duration.
std::vector<uint32_t> PrefixLookup(const NameIndex& index, std::u16string_view foldedPattern);
std::vector<uint32_t> PrefixExtensionLookup(const NameIndex& index,
                                            std::u16string_view foldedPattern,
                                            std::u16string_view foldedExtension);
std::vector<uint32_t> ExtensionLookup(const NameIndex& index, std::u16string_view foldedExtension);
// Within the caller's hold.
std::vector<uint32_t> ContainsLookup(const NameIndex& index, const EntryAccess& hold,
                                     std::u16string_view foldedPattern);

// The whole query in one pass, no worker threads. Without n-grams, text
// inside names is scanned in pieces, each under its own shared hold.
std::vector<uint32_t> RunQuery(const NameIndex& index, const SearchQuery& query);

// Bytes held by the index's own arrays and maps (not the entries).
size_t NameIndexBytes(const NameIndex& index, const EntryAccess& hold);

}  // namespace zw

// What the name index's own files share (not for its users).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "index/entry_store.h"
#include "search/name_index.h"

namespace zw::name_index_detail {

// Changes beyond which a writer folds them in by a rebuild, at the least.
inline constexpr size_t kMinDeltaLimit = 65536;

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

// The lists of `table` (trigrams and final pairs) whose names hold the pair
// of units: a pair is in exactly the names where it begins a trigram or ends
// the name.
inline std::vector<PostingTable::List> PairLists(const PostingTable& table, char16_t first,
                                                 char16_t second) {
  const uint64_t pair = TrigramKey(first, second, 0);
  std::vector<PostingTable::List> lists = table.FindRange(pair, pair | 0xFFFF);
  lists.push_back(table.Find(FinalPairKey(first, second)));
  return lists;
}

// `many` and `few` as one list, both sorted by `less`, equal ones from `many`
// first. Each of `few` is placed by binary search, so only the elements at
// the probes are compared: far fewer reads than a merge when `few` is small.
template <class Less>
std::vector<uint32_t> MergeFew(const std::vector<uint32_t>& many, const std::vector<uint32_t>& few,
                               Less&& less) {
  std::vector<uint32_t> merged;
  merged.reserve(many.size() + few.size());
  auto from = many.begin();
  for (uint32_t e : few) {
    const auto at = std::upper_bound(from, many.end(), e, less);
    merged.insert(merged.end(), from, at);
    merged.push_back(e);
    from = at;
  }
  merged.insert(merged.end(), from, many.end());
  return merged;
}

// The entry texts the index reads, in one place.
inline NameText FoldedName(EntryRef e) {
  return e.lowerName();
}
inline NameText FoldedExtension(EntryRef e) {
  return e.lowerExtension();
}
inline NameText ShownName(EntryRef e) {
  return e.name();
}
inline bool IsDeleted(EntryRef e) {
  return e.isDeleted();
}

// Whether built entry `e` changed its name since the build.
inline bool IsChanged(const NameTables& tables, uint32_t e) {
  const size_t word = e >> 6;
  return word < tables.changedBits.size() && (tables.changedBits[word] >> (e & 63) & 1) != 0;
}

// The Hangul tables of a build (NameTables::jamoBits, initialsLists).
void BuildHangulTables(NameTables& tables, const EntryStore& entries);

// The built entries whose initials forms contain `letters` (leading-consonant
// letters only), ascending; a superset from three letters on.
std::vector<uint32_t> InitialsCandidates(const NameTables& tables, std::u16string_view letters);

// Positions in jamoEntries of the names stored as jamo that may contain
// `pattern` (folded, composed); every position for one unit or none.
std::vector<uint32_t> JamoCandidates(const NameTables& tables, std::u16string_view pattern);

inline bool IsJamoName(const NameTables& tables, uint32_t e) {
  const size_t word = e >> 6;
  return word < tables.jamoBits.size() && (tables.jamoBits[word] >> (e & 63) & 1) != 0;
}

}  // namespace zw::name_index_detail

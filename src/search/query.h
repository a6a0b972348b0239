// A search text turned into what the matcher needs: a folded name pattern, an
// optional extension term and where the pattern must sit in a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "index/entry_store.h"

namespace zw {

enum class MatchMode : uint32_t {
  Prefix = 1,
  Suffix = 2,
  Contains = 3,
  Extension = 4,
  PrefixExtension = 5,
};

struct SearchQuery {
  std::u16string rawText;
  std::u16string foldedPattern;
  std::u16string pattern;
  std::u16string foldedExtension;
  MatchMode mode = MatchMode::Contains;
  // The pattern or extension holds Hangul syllables or conjoining jamo: names
  // are read with their jamo composed. (For any other text the composed and
  // the stored name match alike, so those searches read names as stored.)
  bool composed = false;
  // The pattern is only leading-consonant letters and initial-consonant
  // search is on: a name's initials form may match too.
  bool initials = false;
};

inline constexpr size_t kNotFound = static_cast<size_t>(-1);

// Never fails; a text of only blanks or stars yields a query that matches nothing.
// The pattern and extension come out with their jamo composed.
SearchQuery ParseQuery(std::u16string_view text, bool initialConsonants = false);

// Position of the first occurrence of `needle`, or kNotFound. Exact code units.
size_t FindSubstring(std::u16string_view haystack, std::u16string_view needle);

// Whether both the pattern and the extension term are empty.
inline bool MatchesNothing(const SearchQuery& q) {
  return q.foldedPattern.empty() && q.foldedExtension.empty();
}

// Whether a name matches: read composed when the query asks for it, or by
// its initials form. A deleted entry never matches.
bool Matches(std::u16string_view name, std::u16string_view extension, const SearchQuery& query);
bool Matches(EntryRef entry, const SearchQuery& query);
// The same by the stored units alone: what the index's tables answer.
bool MatchesStored(EntryRef entry, const SearchQuery& query);

// What a Suffix query's name must end with. With an extension term the name
// ends in pattern, dot, extension: "*port.txt" finds "report.txt". (Requiring
// the whole name to end in "port" and also to have the extension "txt" could
// never be true at once.)
std::u16string SuffixWithExtension(const SearchQuery& query);

}  // namespace zw

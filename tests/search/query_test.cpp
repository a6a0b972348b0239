#include "search/query.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "search_support.h"

namespace zw {
namespace {

struct Parsed {
  const char16_t* text;
  const char16_t* pattern;
  const char16_t* extension;
  MatchMode mode;
};

TEST(ParseQuery, WorkedExamples) {
  const Parsed cases[] = {
      {u"Report", u"report", u"", MatchMode::Contains},
      {u"  Report  ", u"report", u"", MatchMode::Contains},
      {u"\tReport \t", u"report", u"", MatchMode::Contains},
      {u"report.txt", u"report.txt", u"", MatchMode::Contains},
      {u"*.TXT", u"", u"txt", MatchMode::Extension},
      {u"rep*.txt", u"rep", u"txt", MatchMode::PrefixExtension},
      {u"rep*", u"rep", u"", MatchMode::Prefix},
      {u"*port", u"port", u"", MatchMode::Suffix},
      {u"*port.txt", u"port", u"txt", MatchMode::Suffix},
      {u"*port*", u"port", u"", MatchMode::Contains},
      {u"*port*.txt", u"port", u"txt", MatchMode::Contains},
      {u"a*b.txt", u"a*b", u"txt", MatchMode::Contains},
      {u"*.*", u".", u"", MatchMode::Contains},
      {u"*", u"", u"", MatchMode::Contains},
      {u".txt*", u".txt", u"", MatchMode::Prefix},
      {u"**", u"", u"", MatchMode::Contains},
      {u"***", u"*", u"", MatchMode::Contains},
      {u"a b*", u"a b", u"", MatchMode::Prefix},
      {u"x.", u"x.", u"", MatchMode::Contains},
      {u"*x.", u"x.", u"", MatchMode::Suffix},
  };
  for (const Parsed& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    SearchQuery q = ParseQuery(c.text);
    EXPECT_EQ(q.rawText, c.text);
    EXPECT_EQ(q.foldedPattern, c.pattern);
    EXPECT_EQ(q.foldedExtension, c.extension);
    EXPECT_EQ(q.mode, c.mode);
  }
}

TEST(ParseQuery, KeepsTypedCaseAndFoldsOnlyAscii) {
  SearchQuery q = ParseQuery(u"  RePort*.TxT ");
  EXPECT_EQ(q.pattern, u"RePort");
  EXPECT_EQ(q.foldedPattern, u"report");
  EXPECT_EQ(q.foldedExtension, u"txt");
  EXPECT_EQ(ParseQuery(u"Ärger").foldedPattern, u"Ärger");
  EXPECT_NE(ParseQuery(u"Ärger").foldedPattern, ParseQuery(u"ärger").foldedPattern);
  EXPECT_EQ(ParseQuery(u"REPORT").foldedPattern, ParseQuery(u"Report").foldedPattern);
}

TEST(ParseQuery, BlankTextsMatchNothing) {
  for (const char16_t* text : {u"", u"   ", u"\t \t", u"*", u" * "}) {
    SearchQuery q = ParseQuery(text);
    EXPECT_TRUE(MatchesNothing(q));
    EXPECT_EQ(q.mode, MatchMode::Contains);
  }
  // Other white space is part of the pattern.
  EXPECT_EQ(ParseQuery(u"\n").foldedPattern, u"\n");
}

TEST(ParseQuery, NeverFailsOnOddCodeUnits) {
  const char16_t odd[] = {0xD800, u'*', u'.', 0xDFFF, 0};
  SearchQuery q = ParseQuery(odd);
  EXPECT_EQ(q.mode, MatchMode::PrefixExtension);
  EXPECT_EQ(q.foldedPattern, std::u16string(1, char16_t(0xD800)));
  EXPECT_EQ(q.foldedExtension, std::u16string(1, char16_t(0xDFFF)));
}

TEST(FindSubstring, PositionsAndEdges) {
  EXPECT_EQ(FindSubstring(u"aaab", u"aab"), 1u);
  EXPECT_EQ(FindSubstring(u"abc", u""), 0u);
  EXPECT_EQ(FindSubstring(u"", u""), 0u);
  EXPECT_EQ(FindSubstring(u"ab", u"abc"), kNotFound);
  EXPECT_EQ(FindSubstring(u"", u"a"), kNotFound);
  EXPECT_EQ(FindSubstring(u"xabcabc", u"abc"), 1u);
  EXPECT_EQ(FindSubstring(u"abcab", u"cab"), 2u);
  EXPECT_EQ(FindSubstring(u"abcd", u"cd"), 2u);         // needle ending at the last unit
  EXPECT_EQ(FindSubstring(u"ABC", u"abc"), kNotFound);  // no folding here
}

TEST(Matches, EveryMode) {
  using test::Item;
  auto e = [](const char16_t* name, bool folder = false) {
    return test::MakeEntry(Item{name, folder}, 0);
  };
  auto m = [](const FileEntry& entry, const char16_t* text) {
    return Matches(entry.lowerName, entry.lowerExtension, ParseQuery(text));
  };
  EXPECT_TRUE(m(e(u"notes.TXT"), u"*.txt"));
  EXPECT_FALSE(m(e(u"notes.txt.bak"), u"*.txt"));
  EXPECT_TRUE(m(e(u"Report.txt"), u"rep*.txt"));
  EXPECT_FALSE(m(e(u"Report.txt.bak"), u"rep*.txt"));
  EXPECT_FALSE(m(e(u"myreport.txt"), u"rep*.txt"));
  EXPECT_TRUE(m(e(u"Report"), u"*port"));
  EXPECT_FALSE(m(e(u"Reports"), u"*port"));
  EXPECT_TRUE(m(e(u"myreport.txt"), u"*port*.txt"));
  EXPECT_FALSE(m(e(u"myreport.doc"), u"*port*.txt"));
  EXPECT_TRUE(m(e(u"xreport.txt"), u"*port.txt"));  // suffix is tested on the whole name
  EXPECT_FALSE(m(e(u"xreport.txt"), u"*port"));
  EXPECT_TRUE(m(e(u"a*b.txt"), u"a*b.txt"));
  EXPECT_FALSE(m(e(u"axb.txt"), u"a*b.txt"));
  EXPECT_TRUE(m(e(u"REPORT"), u"report"));
  EXPECT_TRUE(m(e(u"rep"), u"rep*"));
  EXPECT_FALSE(m(e(u"re"), u"rep*"));
  // No extension: no dot, a dot at the end, and every folder.
  EXPECT_FALSE(m(e(u"README"), u"*.txt"));
  EXPECT_FALSE(m(e(u"notes."), u"n*.txt"));
  EXPECT_TRUE(m(e(u"notes."), u"*."));  // no extension term: a suffix that is a dot
  EXPECT_FALSE(m(e(u"old.txt", true), u"*.txt"));
  EXPECT_FALSE(m(e(u"old.txt", true), u"old*.txt"));
  EXPECT_TRUE(m(e(u".profile"), u"*.profile"));
  // Both parts empty: nothing, not everything.
  EXPECT_FALSE(m(e(u"anything"), u"*"));
  EXPECT_FALSE(m(e(u"anything"), u"  "));
}

// The simpler test for entries that arrive while a search runs: the whole text,
// lowered with the C library's towlower, must occur in the lower-case name.
bool MatchesIncremental(const FileEntry& entry, std::u16string_view rawText) {
  std::u16string lowered(rawText);
  for (char16_t& c : lowered) {
    // towlower takes wint_t; code units outside the BMP halves stay as they are.
    c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
  }
  return FindSubstring(entry.lowerName, lowered) != kNotFound;
}

TEST(Matches, IncrementalRuleLowersTheWholeTextAndIgnoresStars) {
  FileEntry e = test::MakeEntry({u"Report*.txt"}, 0);
  EXPECT_TRUE(MatchesIncremental(e, u"REPORT"));
  EXPECT_TRUE(MatchesIncremental(e, u"t*.t"));
  EXPECT_FALSE(MatchesIncremental(e, u"rep*.txt "));  // untrimmed
  EXPECT_FALSE(MatchesIncremental(test::MakeEntry({u"report.txt"}, 0), u"*.txt"));
}

}  // namespace
}  // namespace zw

#include "search/name_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>

#include "base/columns.h"
#include "search_support.h"

namespace zw {
namespace {

using test::Files;
using test::Fill;
using test::NamesOf;
using Names = std::vector<std::u16string>;

class NameIndexTest : public ::testing::TestWithParam<bool> {
 protected:
  void Make(const std::vector<test::Item>& items) { Fill(index, items, GetParam()); }
  Names Query(const char16_t* text) {
    return NamesOf(index, RunQuery(index.nameIndex, ParseQuery(text)));
  }
  Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
  }
  // Held by pointer: the index's destructor may throw, a fixture's may not.
  std::unique_ptr<FileIndex> owned = std::make_unique<FileIndex>();
  FileIndex& index = *owned;
};

TEST_P(NameIndexTest, PrefixWalkTakesTheRunAndStopsAtTheFirstMiss) {
  Make(Files({u"rfa", u"report.txt", u"Rep", u"repo", u"aaa", u"rep x"}));
  EXPECT_EQ(Query(u"rep*"), (Names{u"Rep", u"rep x", u"repo", u"report.txt"}));
  EXPECT_EQ(Query(u"zz*"), Names{});  // binary search ends past the last name
  EXPECT_EQ(Query(u"rep*.txt"), Names{u"report.txt"});
  EXPECT_EQ(Query(u"a*"), Names{u"aaa"});
}

TEST_P(NameIndexTest, ExtensionListsAreAscendingAndFolded) {
  Make({{u"a.TXT"}, {u"dir.txt", true}, {u"b.txt"}, {u"c.txt.bak"}, {u"notes."}, {u".txt"}});
  EXPECT_EQ(RunQuery(index.nameIndex, ParseQuery(u"*.txt")), (std::vector<uint32_t>{0, 2, 5}));
  EXPECT_EQ(Query(u"*.bak"), Names{u"c.txt.bak"});
  EXPECT_EQ(Query(u"*.nothing"), Names{});
}

TEST_P(NameIndexTest, ContainsFindsEachEntryOnceAndConfirmsCandidates) {
  Make(Files({u"cab.txt", u"a_b", u"abab.txt", u"abc-bcd", u"xabcdx", u"b"}));
  EXPECT_EQ(Query(u"ab"), (Names{u"cab.txt", u"abab.txt", u"abc-bcd", u"xabcdx"}));
  EXPECT_EQ(Query(u"abcd"), Names{u"xabcdx"});  // both trigrams in abc-bcd, not adjacent
  EXPECT_EQ(Query(u"zzz"), Names{});
  EXPECT_EQ(Query(u"b"), (Names{u"cab.txt", u"a_b", u"abab.txt", u"abc-bcd", u"xabcdx", u"b"}));
  EXPECT_EQ(Query(u"*ab*.txt"), (Names{u"cab.txt", u"abab.txt"}));
  EXPECT_EQ(Query(u"BAB"), Names{u"abab.txt"});
}

TEST_P(NameIndexTest, SuffixWalksTheNameOrder) {
  Make(Files({u"Report", u"reports", u"xport", u"port", u"a.port.txt"}));
  EXPECT_EQ(Query(u"*port"), (Names{u"port", u"Report", u"xport"}));
  EXPECT_EQ(Query(u"*port.txt"), Names{u"a.port.txt"});
}

TEST_P(NameIndexTest, EmptyAndDetachedIndexesAnswerNothing) {
  for (const char16_t* text : {u"a", u"ab", u"abc", u"a*", u"*a", u"*.a", u"a*.b"}) {
    EXPECT_TRUE(RunQuery(index.nameIndex, ParseQuery(text)).empty());
  }
  Make(Files({u"abc.a"}));
  EXPECT_EQ(Query(u"abc").size(), 1u);
  {
    const EntryWriteView hold(index.entries);
    ClearNameIndex(index.nameIndex, hold);
  }
  for (const char16_t* text : {u"a", u"ab", u"abc", u"a*", u"*a", u"*.a", u"a*.a"}) {
    EXPECT_TRUE(RunQuery(index.nameIndex, ParseQuery(text)).empty()) << std::string(1, text[0]);
  }
}

TEST_P(NameIndexTest, EntriesAppendedAfterTheRebuildAreFoundWithoutOne) {
  Make(Files({u"alpha", u"beta", u"zeta"}));
  {
    const EntryWriteView hold(index.entries);
    test::AppendEntry(hold.store(), test::MakeEntry({u"alphabet.txt"}, 3));
    test::AppendEntry(hold.store(), test::MakeEntry({u"Alp"}, 4));
  }
  // In name order, as a rebuild would give them.
  EXPECT_EQ(Query(u"alp*"), (Names{u"Alp", u"alpha", u"alphabet.txt"}));
  EXPECT_EQ(Query(u"lph"), (Names{u"alpha", u"alphabet.txt"}));
  EXPECT_EQ(Query(u"*.txt"), Names{u"alphabet.txt"});
  EXPECT_EQ(Query(u"*bet.txt"), Names{u"alphabet.txt"});
}

// Names kept one byte a unit (Latin-1) and names kept as UTF-16 match and
// sort alike, by their 16-bit units: only A-Z fold (never U+00C9/U+00E9), a
// pattern unit from 0x100 up is in no narrow name, an unpaired surrogate is a
// unit like any other, and a rename moves a name between the two forms.
TEST_P(NameIndexTest, NarrowAndWideNamesMatchAndSortByTheirUnits) {
  const Names names = {u"\u00C9t\u00E9.TXT",
                       u"\u00E9T\u00C9.txt",
                       u"caf\u00E9",
                       u"CAF\u00C9",
                       u"a\u0100b",
                       u"x\xD800y",
                       u"\u00FF",
                       u"\u0100",
                       u"Z",
                       u"z",
                       u"Zz\u00FF"};
  std::vector<test::Item> items;
  for (const std::u16string& n : names) items.push_back({n});
  Make(items);
  EXPECT_EQ(Query(u"\u00E9*"), Names{u"\u00E9T\u00C9.txt"});
  EXPECT_EQ(Sorted(Query(u"caf*")), Sorted({u"caf\u00E9", u"CAF\u00C9"}));
  EXPECT_EQ(Query(u"*f\u00E9"), Names{u"caf\u00E9"});
  EXPECT_EQ(Query(u"t\u00E9"), Names{u"\u00C9t\u00E9.TXT"});
  EXPECT_EQ(Sorted(Query(u"*.txt")), Sorted({u"\u00C9t\u00E9.TXT", u"\u00E9T\u00C9.txt"}));
  EXPECT_EQ(Sorted(Query(u"\u0100")), Sorted({u"a\u0100b", u"\u0100"}));
  EXPECT_EQ(Sorted(Query(u"\u00FF")), Sorted({u"\u00FF", u"Zz\u00FF"}));
  EXPECT_EQ(Query(u"\xD800"), Names{u"x\xD800y"});
  {
    const EntryReadView hold(index.entries);
    const EntryStore& entries = hold.entries();
    const NameTables& t = index.nameIndex.Tables(hold);
    Names folded, backwards;
    for (uint32_t e : t.nameOrder) folded.push_back(entries[e].Value().lowerName);
    for (uint32_t pos : t.suffixOrder) {
      backwards.push_back(folded[pos]);
      std::reverse(backwards.back().begin(), backwards.back().end());
    }
    EXPECT_TRUE(std::is_sorted(folded.begin(), folded.end()));
    EXPECT_TRUE(std::is_sorted(backwards.begin(), backwards.end()));
    const PackedUints& ranks = EntryRanks(index.nameIndex, hold, kColumnName);
    ASSERT_EQ(ranks.size(), names.size());
    Names byRank(names.size());
    for (uint32_t e = 0; e < names.size(); ++e) byRank.at(ranks[e]) = names[e];
    EXPECT_EQ(byRank, Sorted(names));
  }
  for (const std::u16string to : {u"wide\u4E2D", u"Narrow\u00E9"}) {
    {
      const EntryWriteView hold(index.entries);
      NoteNameChange(index.nameIndex, hold, 0);
      hold.store().SetName(0, to);
      EXPECT_EQ(hold.entries()[0].Value().name, to);
    }
    EXPECT_EQ(Query(u"\u00C9t*"), Names{});
    EXPECT_EQ(Query(u"wide*"), to[0] == u'w' ? Names{to} : Names{});
    EXPECT_EQ(Query(u"*\u4E2D"), to[0] == u'w' ? Names{to} : Names{});
    EXPECT_EQ(Query(u"ow\u00E9"), to[0] == u'N' ? Names{to} : Names{});
  }
}

// A name written by a Mac (conjoining jamo) and one written by Windows
// (syllables) are found alike, and leading consonants find the syllables
// they begin, whether the entries were built, renamed or appended since.
TEST_P(NameIndexTest, HangulIsComparedComposedAndByInitials) {
  const std::u16string mac = u"\u1107\u1169\u1100\u1169\u1109\u1165_mac.pdf";  // 보고서
  const std::u16string minutes = u"\u1112\u116C\u110B\u1174\u1105\u1169\u11A8_mac.pdf";  // 회의록
  Make(Files({u"보고서_2024.docx", mac.c_str(), u"복사본 - 보고서.hwp", u"ㅂㄱㅅ 메모.txt",
              u"사진.jpg", u"고양이 사진.png", minutes.c_str(), u"report.txt"}));
  auto initials = [&](const std::u16string& text, bool on = true) {
    return Sorted(NamesOf(index, RunQuery(index.nameIndex, ParseQuery(text, on))));
  };
  const Names both = {mac, u"보고서_2024.docx"};  // name order: as stored
  EXPECT_EQ(Sorted(Query(u"보고서")), Sorted({mac, u"보고서_2024.docx", u"복사본 - 보고서.hwp"}));
  EXPECT_EQ(Query(u"보고서*"), both);
  EXPECT_EQ(Query(u"\u1107\u1169\u1100\u1169\u1109\u1165*"), both);  // pasted decomposed
  EXPECT_EQ(Query(u"보고*.pdf"), Names{mac});
  EXPECT_EQ(Query(u"*고서_mac.pdf"), Names{mac});
  EXPECT_EQ(Query(u"*의록_mac"), Names{});
  EXPECT_EQ(Query(u"록_"), Names{minutes});
  EXPECT_EQ(Query(u"\u1107"), Names{});  // a lone leading consonant is not the syllable
  EXPECT_EQ(Query(u"*.docx"), Names{u"보고서_2024.docx"});
  EXPECT_EQ(initials(u"ㅂㄱㅅ"),
            Sorted({u"보고서_2024.docx", mac, u"복사본 - 보고서.hwp", u"ㅂㄱㅅ 메모.txt"}));
  EXPECT_EQ(initials(u"ㅂㄱㅅ", false), Names{u"ㅂㄱㅅ 메모.txt"});
  EXPECT_EQ(initials(u"ㅅㅈ"), Sorted({u"사진.jpg", u"고양이 사진.png"}));
  EXPECT_EQ(initials(u"ㅎㅇㄹ*.pdf"), Names{minutes});
  EXPECT_EQ(initials(u"*ㅅㅈ.png"), Names{u"고양이 사진.png"});
  EXPECT_EQ(initials(u"ㅂㄱㅅ*"), Sorted({u"보고서_2024.docx", mac, u"ㅂㄱㅅ 메모.txt"}));
  EXPECT_EQ(initials(u"ㅂㄱ서"), Names{});  // a syllable in the pattern: matched as it is
  {
    const EntryWriteView hold(index.entries);
    NoteNameChange(index.nameIndex, hold, 7);
    hold.store().SetName(7, u"\u1109\u1161\u110C\u1175\u11AB.txt");  // 사진, decomposed
    NoteNameChange(index.nameIndex, hold, 1);
    hold.store().SetName(1, u"old.pdf");
    test::AppendEntry(hold.store(), test::MakeEntry({u"\u1109\u1161\u110C\u1175\u11AB 2"}, 8));
    test::AppendEntry(hold.store(), test::MakeEntry({u"\u1109\u1161.pdf", true}, 9));
  }
  EXPECT_EQ(Query(u"사*.pdf"), Names{});  // a folder has no extension, composed or not
  EXPECT_EQ(Query(u"보고서*"), Names{u"보고서_2024.docx"});
  EXPECT_EQ(Sorted(Query(u"사진")),
            Sorted({u"사진.jpg", u"고양이 사진.png", u"\u1109\u1161\u110C\u1175\u11AB.txt",
                    u"\u1109\u1161\u110C\u1175\u11AB 2"}));
  EXPECT_EQ(initials(u"ㅅㅈ*"), Sorted({u"사진.jpg", u"\u1109\u1161\u110C\u1175\u11AB.txt",
                                        u"\u1109\u1161\u110C\u1175\u11AB 2"}));
}

INSTANTIATE_TEST_SUITE_P(Ngrams, NameIndexTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "on" : "off"; });

// The same answers with and without n-grams, and both equal to testing every
// entry with Matches, over many generated names and queries.
TEST(NameIndexProperty, NgramsChangeNothingButSpeed) {
  const auto items = test::RandomItems(3000, 7);
  FileIndex plain, fast;
  Fill(plain, items, false);
  Fill(fast, items, true);
  ASSERT_TRUE(fast.nameIndex.Tables(test::Read(fast)).ngramEnabled);

  std::vector<std::u16string> texts;
  for (size_t k = 0; k < 400; ++k) {
    const std::u16string& n = items[(k * 7919) % items.size()].name;
    if (n.empty()) continue;
    const size_t from = k % n.size();
    texts.push_back(n.substr(from, 1 + k % 4));
    texts.push_back(u"*" + n.substr(from, 1 + k % 3) + u"*." + u"ab");
    texts.push_back(n.substr(0, 1 + k % 3) + u"*");
    texts.push_back(u"*" + n.substr(from));
    texts.push_back(n.substr(0, 2) + u"*.b");
  }
  texts.push_back(u"*.b");
  texts.push_back(u"*.");
  for (const std::u16string& text : texts) {
    SearchQuery q = ParseQuery(text);
    std::vector<uint32_t> expected;
    {
      const EntryReadView hold(plain.entries);
      for (EntryRef e : hold.entries()) {
        if (Matches(e, q)) expected.push_back(e.id());
      }
    }
    std::vector<uint32_t> a = RunQuery(plain.nameIndex, q);
    std::vector<uint32_t> b = RunQuery(fast.nameIndex, q);
    EXPECT_EQ(a, b) << "query differs with n-grams";
    if (q.mode == MatchMode::Suffix) {
      // Found from the names' ends, delivered in name order all the same.
      std::vector<uint32_t> walked;
      const EntryReadView hold(fast.entries);
      for (uint32_t e : fast.nameIndex.Tables(hold).nameOrder) {
        if (Matches(hold.entries()[e], q)) walked.push_back(e);
      }
      EXPECT_EQ(b, walked);
    }
    EXPECT_EQ(std::set<uint32_t>(a.begin(), a.end()).size(), a.size()) << "duplicates";
    std::sort(a.begin(), a.end());
    EXPECT_EQ(a, expected);
  }
}

// A prefix run too long to read name by name is answered from the
// extension's list, as bits or, when far shorter than the run, sorted by
// name: what testing every entry gives, in the walk's order, built and after
// changes.
TEST(NameIndexProperty, ALongPrefixRunAnswersAsTestingEveryEntry) {
  std::vector<test::Item> items = test::RandomItems(500, 3);
  const std::vector<test::Item> run = test::RandomItems(4500, 11);
  for (size_t i = 0; i < run.size(); ++i) {
    const char16_t* ext = i % 200 == 0 ? u".x" : i % 3 != 0 ? u".b" : u".B";
    items.push_back({u"aBc" + run[i].name + ext});
  }
  for (bool ngrams : {false, true}) {
    FileIndex index;
    Fill(index, items, ngrams);
    for (int round = 0; round < 2; ++round) {
      static const char16_t* const kTexts[] = {u"abc*.b",  u"AB*.B",  u"a*.b",
                                               u"abca*.b", u"abc*.x", u"ab*.x"};
      for (size_t t = 0; t < std::size(kTexts); ++t) {
        SCOPED_TRACE(testing::Message()
                     << "ngrams " << ngrams << " round " << round << " text " << t);
        const SearchQuery q = ParseQuery(kTexts[t]);
        std::vector<uint32_t> expected;
        {
          const EntryReadView hold(index.entries);
          for (EntryRef e : hold.entries()) {
            if (Matches(e, q)) expected.push_back(e.id());
          }
        }
        const std::vector<uint32_t> got = RunQuery(index.nameIndex, q);
        const Names names = NamesOf(index, got);
        // Equal names: the built ones first, then the changed and appended
        // ones, each by number.
        auto delta = [&](uint32_t e) {
          return round > 0 && (e >= items.size() || (e >= 500 && e < 900 && (e - 500) % 7 == 0));
        };
        std::vector<std::tuple<std::u16string, bool, uint32_t>> keyed;
        for (size_t k = 0; k < got.size(); ++k) {
          keyed.emplace_back(FoldAscii(names[k]), delta(got[k]), got[k]);
        }
        EXPECT_TRUE(std::is_sorted(keyed.begin(), keyed.end()));
        std::vector<uint32_t> sorted = got;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, expected);
      }
      const EntryWriteView hold(index.entries);
      for (uint32_t e = 500; e < 900; e += 7) {
        NoteNameChange(index.nameIndex, hold, e);
        hold.store().SetName(e, items[(e * 7 + 11) % items.size()].name);
      }
      for (uint32_t k = 0; k < 50; ++k) {
        const auto n = static_cast<uint32_t>(hold.entries().size());
        test::AppendEntry(hold.store(), test::MakeEntry(items[(k * 13) % items.size()], n));
      }
    }
  }
}

// Over names mixing syllables, jamo and letters, the index answers what
// testing every entry with Matches gives, in order, built and after changes.
TEST(NameIndexProperty, HangulAnswersEqualTestingEveryEntry) {
  static const char16_t kUnits[] = u"a.가각나ㄱㄴ\u1100\u1102\u1161\u11A8";
  std::vector<test::Item> items;
  uint64_t s = 5;
  auto next = [&]() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  };
  for (int i = 0; i < 1500; ++i) {
    std::u16string name(1 + next() % 7, u'a');
    for (char16_t& c : name) c = kUnits[next() % 11];
    items.push_back({name, next() % 4 == 0});
  }
  std::vector<std::u16string> texts = {
      u"ㄱ",     u"ㄱㄴ",   u"ㄴㄱㄱ",          u"ㄱㄱㄴㄱ", u"ㄱ*", u"*ㄴ", u"*ㄱ*.a", u"ㄱ*.가",
      u"가",     u"각나",   u"\u1100\u1161",    u"\u1100",   u"각*", u"*나", u"*가*.a", u"나*.a",
      u"가각나", u"*a가각", u"각\u1100\u1161a*"};
  for (bool ngrams : {false, true}) {
    FileIndex index;
    Fill(index, items, ngrams);
    for (int round = 0; round < 2; ++round) {
      for (size_t t = 0; t < texts.size(); ++t) {
        const SearchQuery q = ParseQuery(texts[t], true);
        std::vector<uint32_t> expected;
        {
          const EntryReadView hold(index.entries);
          for (EntryRef e : hold.entries()) {
            if (Matches(e, q)) expected.push_back(e.id());
          }
        }
        std::vector<uint32_t> got = RunQuery(index.nameIndex, q);
        const Names names = NamesOf(index, got);
        if (q.mode != MatchMode::Contains && q.mode != MatchMode::Extension) {
          Names folded = names;
          for (auto& n : folded) n = FoldAscii(n);
          EXPECT_TRUE(std::is_sorted(folded.begin(), folded.end())) << "name order";
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, expected) << "ngrams " << ngrams << " round " << round << " text " << t;
      }
      // Renames between forms and arrivals, answered without a rebuild.
      const EntryWriteView hold(index.entries);
      for (uint32_t e = 0; e < 200; e += 3) {
        NoteNameChange(index.nameIndex, hold, e);
        hold.store().SetName(e, items[(e * 7 + 11) % items.size()].name);
      }
      for (uint32_t k = 0; k < 50; ++k) {
        const auto n = static_cast<uint32_t>(hold.entries().size());
        test::AppendEntry(hold.store(), test::MakeEntry(items[(k * 13) % items.size()], n));
      }
    }
  }
}

TEST(NameIndexProperty, PostingListsHoldEveryNameOnceAscending) {
  FileIndex index;
  Fill(index, test::RandomItems(2000, 11), true);
  const EntryReadView hold(index.entries);
  const NameTables& ni = index.nameIndex.Tables(hold);
  // Lists of every form are read here.
  std::set<uint8_t> forms;
  for (const PostingTable* table : {&ni.unigramLists, &ni.trigramLists}) {
    forms.insert(table->forms.begin(), table->forms.end());
  }
  EXPECT_EQ(forms.size(), 3u);
  for (const PostingTable* table : {&ni.unigramLists, &ni.trigramLists}) {
    ASSERT_FALSE(table->keys.empty());
    EXPECT_TRUE(std::is_sorted(table->keys.begin(), table->keys.end()));
    for (size_t k = 0; k < table->keys.size(); ++k) {
      std::vector<uint32_t> list;
      DecodeList(table->Find(table->keys[k]), list);
      ASSERT_EQ(list.size(), table->counts[k]);
      EXPECT_TRUE(std::adjacent_find(list.begin(), list.end(), std::greater_equal<>()) ==
                  list.end());
    }
  }
  // Name order: every entry once, ascending by lower-case name.
  std::vector<uint32_t> order(ni.nameOrder.begin(), ni.nameOrder.end());
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return hold.entries()[a].Value().lowerName < hold.entries()[b].Value().lowerName;
  }));
  std::sort(order.begin(), order.end());
  for (uint32_t k = 0; k < order.size(); ++k) ASSERT_EQ(order[k], k);
}

TEST(NameIndexMemory, ClearReleasesEverything) {
  FileIndex index;
  Fill(index, test::RandomItems(500, 3), true);
  const size_t full = NameIndexBytes(index.nameIndex, test::Read(index));
  const EntryWriteView hold(index.entries);
  ClearNameIndex(index.nameIndex, hold);
  const NameTables& tables = index.nameIndex.Tables(hold);
  EXPECT_LT(NameIndexBytes(index.nameIndex, hold), full);
  EXPECT_EQ(NameIndexBytes(index.nameIndex, hold),
            sizeof(NameIndex) + tables.extensionIds.bucket_count() * sizeof(void*));
  EXPECT_FALSE(tables.ngramEnabled);
}

}  // namespace
}  // namespace zw

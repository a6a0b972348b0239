#include "search/result_set.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <set>

#include "index/build_paths.h"
#include "index/scanned_drive.h"
#include "search/name_index.h"
#include "search/path_order.h"
#include "search/string_order.h"
#include "search/type_filter.h"
#include "search_support.h"
#include "support/built_paths.h"

namespace zw {
namespace {

using Names = std::vector<std::u16string>;

std::vector<uint32_t> SortedNumbers(FileIndex& index, SortSpec order, bool byRanks) {
  ResultSet results;
  std::vector<uint32_t> all(test::Read(index).entries().size());
  std::iota(all.begin(), all.end(), 0u);
  results.Replace(all);
  if (byRanks) {
    SortResults(results, order, index.nameIndex);
  } else {
    const EntryReadView hold(index.entries);
    results.SortResults(order, [&](uint32_t n) { return LookupEntry(hold, n); });
  }
  return results.Snapshot();
}

Names SortedNames(FileIndex& index, SortSpec order, bool byRanks) {
  return test::NamesOf(index, SortedNumbers(index, order, byRanks));
}

class SortTest : public ::testing::TestWithParam<bool> {};

TEST_P(SortTest, NamesAreOrdinalAndCaseSensitive) {
  FileIndex index;
  test::Fill(index, test::Files({u"ab", u"apple", u"a b", u"Zebra", u"a"}), false);
  EXPECT_EQ(SortedNames(index, {0, false, true}, GetParam()),
            (Names{u"Zebra", u"a", u"a b", u"ab", u"apple"}));
  EXPECT_EQ(SortedNames(index, {0, true, true}, GetParam()),
            (Names{u"apple", u"ab", u"a b", u"a", u"Zebra"}));
}

TEST_P(SortTest, FoldersStayFirstInBothDirections) {
  FileIndex index;
  test::Fill(index, {{u"b"}, {u"D", true}, {u"a"}, {u"c", true}, {u"E"}}, false);
  EXPECT_EQ(SortedNames(index, {0, false, true}, GetParam()),
            (Names{u"D", u"c", u"E", u"a", u"b"}));
  EXPECT_EQ(SortedNames(index, {0, true, true}, GetParam()), (Names{u"c", u"D", u"b", u"a", u"E"}));
  EXPECT_EQ(SortedNames(index, {0, true, false}, GetParam()),
            (Names{u"c", u"b", u"a", u"E", u"D"}));
}

TEST_P(SortTest, PathOrderPutsTheSeparatorBetweenSpaceAndLetters) {
  FileIndex index;
  test::Fill(index, test::Files({u"x"}), false);
  {
    const EntryWriteView hold(index.entries);
    std::vector<FileEntry> values;
    for (const char16_t* p : {u"D:\\a_\\x", u"D:\\a\\x", u"D:\\a b", u"C:\\z", u"D:\\a"}) {
      FileEntry e = test::MakeEntry({u"x"}, static_cast<uint32_t>(values.size()));
      e.path = p;
      e.name = p;  // shows which one landed where
      values.push_back(e);
    }
    hold.store().clear();
    test::AppendEntries(hold.store(), std::move(values));
  }
  RebuildNameIndex(index, false);
  EXPECT_EQ(SortedNames(index, {1, false, true}, GetParam()),
            (Names{u"C:\\z", u"D:\\a", u"D:\\a b", u"D:\\a\\x", u"D:\\a_\\x"}));
}

// Entries alike in the key come in path order, equal (cut) paths by drive,
// and descending is the exact reverse, whichever way the sort goes.
TEST_P(SortTest, TiesFollowThePathThenTheDrive) {
  FileIndex index;
  test::Fill(index, test::Files({u"x"}), false);
  {
    const EntryWriteView hold(index.entries);
    std::vector<FileEntry> values;
    const std::pair<const char16_t*, char16_t> paths[] = {{u"D:\\b\\x", u'D'},
                                                          {u"D:\\a\\x", u'D'},
                                                          {u"C:\\z\\x", u'C'},
                                                          {u"\u2026\\x", u'E'},
                                                          {u"\u2026\\x", u'C'}};
    for (const auto& [path, drive] : paths) {
      FileEntry e =
          test::MakeEntry({u"x", false, drive, 7, 7}, static_cast<uint32_t>(values.size()));
      e.path = path;
      values.push_back(e);
    }
    hold.store().clear();
    test::AppendEntries(hold.store(), std::move(values));
  }
  RebuildNameIndex(index, false);
  auto sorted = [&](SortSpec order) {
    ResultSet results;
    results.Replace({3, 0, 4, 2, 1});
    if (GetParam()) {
      SortResults(results, order, index.nameIndex);
    } else {
      const EntryReadView hold(index.entries);
      results.SortResults(order, [&](uint32_t n) { return LookupEntry(hold, n); });
    }
    return results.Snapshot();
  };
  using Numbers = std::vector<uint32_t>;
  for (uint32_t column : {kColumnName, kColumnFolder, kColumnSize, kColumnDate}) {
    EXPECT_EQ(sorted({column, false, true}), (Numbers{2, 1, 0, 4, 3})) << column;
    EXPECT_EQ(sorted({column, true, false}), (Numbers{3, 4, 0, 1, 2})) << column;
  }
}

INSTANTIATE_TEST_SUITE_P(Ranks, SortTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ranks" : "texts"; });

// Ties included: both ways give one order, entry for entry.
TEST(Sort, RanksAndTextsAgreeOnGeneratedNames) {
  FileIndex index;
  auto items = test::RandomItems(3000, 5);
  test::Fill(index, items, false);
  for (uint32_t column : {kColumnName, kColumnFolder, kColumnSize, kColumnDate}) {
    for (bool descending : {false, true}) {
      for (bool folders : {false, true}) {
        SortSpec order{column, descending, folders};
        EXPECT_EQ(SortedNumbers(index, order, true), SortedNumbers(index, order, false))
            << column << descending << folders;
      }
    }
  }
}

TEST(Sort, SizeAndDateColumns) {
  FileIndex index;
  test::Fill(index,
             {{u"a", false, u'D', 30, 1},
              {u"b", false, u'D', 10, 3},
              {u"c", true, u'D', 0, 2},
              {u"d", false, u'D', 20, 0}},
             false);
  EXPECT_EQ(SortedNames(index, {2, false, true}, true), (Names{u"c", u"b", u"d", u"a"}));
  EXPECT_EQ(SortedNames(index, {2, true, false}, true), (Names{u"a", u"d", u"b", u"c"}));
  EXPECT_EQ(SortedNames(index, {3, false, false}, true), (Names{u"d", u"a", u"c", u"b"}));
  EXPECT_EQ(SortedNames(index, {3, true, true}, true), (Names{u"c", u"b", u"a", u"d"}));
}

// A build leaves the name and path ranks ready: the first sort orders none.
TEST(Sort, RanksAreReadyWhenTheBuildEnds) {
  FileIndex index;
  test::Fill(index, test::RandomItems(500, 9), true);
  const EntryReadView hold(index.entries);
  RankCache& ranks = index.nameIndex.Ranks(hold);
  const EntryStore& entries = hold.entries();
  EXPECT_EQ(ranks.RankedCount(kColumnName), entries.size());
  EXPECT_EQ(ranks.RankedCount(kColumnFolder), entries.size());
  const PackedUints& byName = EntryRanks(index.nameIndex, hold, kColumnName);
  EXPECT_EQ(std::vector<uint32_t>(byName.begin(), byName.end()),
            RanksOf(OrderByText(entries.size(), [&](uint32_t i) { return entries[i].name(); })));
}

// Texts over two letters and a zero unit: many copies, prefixes, and texts
// that differ only past a shared key. Either way round, the order is that of
// a stable sort of the texts as read.
TEST(Sort, TextOrderIsAStableSortOfTheTexts) {
  std::mt19937 random(5);
  std::vector<std::u16string> texts(5000);
  for (std::u16string& t : texts) {
    t.resize(random() % 10);
    for (char16_t& u : t) u = std::u16string_view(u"\0ab", 3)[random() % 3];
  }
  for (const bool backwards : {false, true}) {
    std::vector<std::u16string> read = texts;
    if (backwards) {
      for (std::u16string& t : read) std::reverse(t.begin(), t.end());
    }
    std::vector<uint32_t> expected(texts.size());
    std::iota(expected.begin(), expected.end(), 0u);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](uint32_t a, uint32_t b) { return read[a] < read[b]; });
    const auto text = [&](uint32_t i) { return std::u16string_view(texts[i]); };
    EXPECT_EQ(backwards ? OrderByText<true>(texts.size(), text) : OrderByText(texts.size(), text),
              expected)
        << backwards;
  }
}

// Path order read from the folder tree equals sorting the built paths, also
// where a sibling's name continues another's with a unit below or above "\",
// and for paths cut below a chain deeper than paths follow.
TEST(Sort, PathOrderFromTheTreeIsThePathOrder) {
  std::vector<FileEntry> d, c;
  uint64_t next = 100;
  std::set<std::pair<uint64_t, std::u16string>> taken;  // one name per sibling
  auto add = [&](std::vector<FileEntry>& v, uint64_t parent, std::u16string name, bool folder) {
    taken.insert({parent, name});
    FileEntry e;
    e.recordNumber = next++;
    e.parentRecordNumber = parent;
    e.name = std::move(name);
    e.isFolder = folder;
    e.size = 1;
    v.push_back(e);
    return e.recordNumber;
  };
  const uint64_t a = add(d, 5, u"a", true);
  add(d, a, u"x", false);
  const uint64_t ab = add(d, a, u"a b", true);
  add(d, ab, u"\u00e9", false);
  add(d, 5, u"a b", false);
  add(d, 5, u"a_b", false);
  add(d, 5, u"a.txt", false);
  add(d, 5, u"A", false);
  add(d, 5, u"a]", false);  // ']' sorts just above '\'
  add(d, 5, u"a[", false);  // '[' just below it
  add(d, a, u"zz", true);   // an empty folder: no block
  // A random tree of short names from awkward units.
  std::mt19937 random(7);
  const std::u16string units = u" ._a\u00e9[]";
  std::vector<uint64_t> folders = {5, a, ab};
  for (int k = 0; k < 2000; ++k) {
    const uint64_t parent = folders[random() % folders.size()];
    std::u16string name;
    for (size_t len = 1 + random() % 3; len > 0; --len) name += units[random() % units.size()];
    if (taken.count({parent, name}) != 0) continue;
    const uint64_t r = add(d, parent, name, random() % 3 == 0);
    if (d.back().isFolder) folders.push_back(r);
  }
  add(c, 5, u"c-drive", false);
  test::BuildPathsAndNames(u'D', d);
  test::BuildPathsAndNames(u'C', c);
  EntryStore store;
  store.AppendValues(d, u'D');  // D: first in the store, last in path order
  store.AppendValues(c, u'C');
  ScannedDrive deep(u'B');  // cut paths sort after every drive's, B: first
  for (uint64_t k = 0; k < 300; ++k) {
    ScanRecord r;
    r.recordNumber = 1000 + k;
    r.parentRecordNumber = k == 0 ? 5 : 999 + k;
    r.name = k % 2 ? u"b" : u"a";
    r.isFolder = true;
    deep.Add(r);
  }
  CompleteScannedDrive(deep);
  store.Splice(std::move(deep.store));
  ASSERT_TRUE(TreePathOrder(store).has_value());
  EXPECT_EQ(PathRanks(store), PathRanksByText(store));
}

TEST(Sort, RanksFollowRenamesAndAppendedEntries) {
  FileIndex index;
  test::Fill(index, test::Files({u"b", u"c", u"a"}), false);
  {
    const EntryWriteView hold(index.entries);
    hold.store().SetName(2, u"z");  // a rename in place
    NoteEntriesChanged(index.nameIndex, hold);
    test::AppendEntry(hold.store(), test::MakeEntry({u"0"}, 3));  // and an entry with no rank
  }
  EXPECT_EQ(SortedNames(index, {0, false, false}, true), (Names{u"0", u"b", u"c", u"z"}));
  {
    const EntryWriteView hold(index.entries);
    test::AppendEntry(hold.store(), test::MakeEntry({u"d"}, 4));  // appended after the ranks
  }
  EXPECT_EQ(SortedNames(index, {0, false, false}, true), (Names{u"0", u"b", u"c", u"d", u"z"}));
}

TEST(Sort, NumbersPastTheEndDoNotBreakTheSort) {
  FileIndex index;
  test::Fill(index, {{u"b"}, {u"a", true}}, false);
  ResultSet results;
  results.Replace({9, 0, 1});
  SortResults(results, {0, false, true}, index.nameIndex);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{1, 0, 9}));
  SortResults(results, {1, true, true}, index.nameIndex);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{1, 9, 0}));
}

TEST(Sort, EmptySetNeverCallsLookup) {
  ResultSet results;
  int calls = 0;
  results.SortResults({}, [&](uint32_t) {
    ++calls;
    return std::optional<EntryRef>();
  });
  EXPECT_EQ(calls, 0);
  results.Replace({5, 1});
  results.SortResults({}, [&](uint32_t) {
    ++calls;
    return std::optional<EntryRef>();
  });
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(results.Count(), 2u);  // unresolved entries stay
}

TEST(ResultSet, KeepIfPreservesOrder) {
  ResultSet results;
  results.Replace({4, 1, 3, 2});
  results.KeepIf([](uint32_t) { return true; });
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{4, 1, 3, 2}));
  results.KeepIf([](uint32_t n) { return n % 2 == 0; });
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{4, 2}));
  results.KeepIf([](uint32_t) { return false; });
  EXPECT_EQ(results.Count(), 0u);
  EXPECT_EQ(results.At(0), kNoEntry);
}

TEST(ResultSet, ClearMakesOlderGenerationsStale) {
  ResultSet results;
  const uint64_t first = results.Clear();
  EXPECT_TRUE(results.IfCurrent(first, [](auto& e) { e.push_back(1); }));
  const uint64_t second = results.Clear();
  EXPECT_FALSE(results.IfCurrent(first, [](auto& e) { e.push_back(2); }));
  EXPECT_TRUE(results.IfCurrent(second, [](auto& e) { e.push_back(3); }));
  EXPECT_EQ(results.Snapshot(), std::vector<uint32_t>{3});
}

TEST(TypeFilter, Categories) {
  auto passes = [](const test::Item& item, TypeCategory c) {
    FileEntry e = test::MakeEntry(item, 0);
    TypeFilterState s;
    s.category = c;
    return TypeFilter(&e, s);
  };
  using enum TypeCategory;
  EXPECT_TRUE(passes({u"folder", true}, All));
  EXPECT_TRUE(passes({u"folder", true}, NoSelection));
  EXPECT_TRUE(passes({u"folder", true}, Folders));
  EXPECT_FALSE(passes({u"folder", true}, Files));
  EXPECT_FALSE(passes({u"Photos.jpg", true}, Images));
  EXPECT_TRUE(passes({u"README"}, All));
  EXPECT_TRUE(passes({u"README"}, Files));
  for (TypeCategory c : {Documents, Images, Videos, Music, Programs, Archives}) {
    EXPECT_FALSE(passes({u"README"}, c));
    EXPECT_FALSE(passes({u"notes."}, c));
  }
  EXPECT_TRUE(passes({u"readme.TXT"}, Documents));
  EXPECT_TRUE(passes({u"Photo.JPG"}, Images));
  EXPECT_TRUE(passes({u"clip.TS"}, Videos));
  EXPECT_TRUE(passes({u"song.opus"}, Music));
  EXPECT_TRUE(passes({u"data.Z"}, Archives));
  EXPECT_TRUE(passes({u"archive.tar.gz"}, Archives));
  EXPECT_TRUE(passes({u"disk.iso"}, Archives));
  EXPECT_FALSE(passes({u"disk.iso"}, Programs));
  EXPECT_FALSE(passes({u"a.docx2"}, Documents));
  EXPECT_FALSE(passes({u"a.tx"}, Documents));
}

TEST(TypeFilter, DrivesDeletedEntriesAndIndexing) {
  FileEntry d = test::MakeEntry({u"a.txt", false, u'D'}, 0);
  FileEntry c = test::MakeEntry({u"a.txt", false, u'C'}, 1);
  TypeFilterState s;
  s.hasDriveChecks = true;
  EXPECT_FALSE(TypeFilter(&d, s));  // boxes exist, none ticked: nothing passes
  s.checkedDrives = {u'D'};
  EXPECT_TRUE(TypeFilter(&d, s));
  EXPECT_FALSE(TypeFilter(&c, s));
  s.hasDriveChecks = false;
  EXPECT_TRUE(TypeFilter(&c, s));
  EXPECT_FALSE(TypeFilter(nullptr, s));
  FileEntry gone = d;
  gone.name.clear();
  EXPECT_FALSE(TypeFilter(&gone, s));

  FileIndex index;
  test::Fill(index, test::Files({u"a", u"b"}), false);
  ResultSet results;
  results.Replace({0, 1, 7});
  // A run in progress does not hide the drives it has appended already.
  index.indexing = true;
  FilterResults(results, index.entries, s);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(AllPassing(index.entries, s), (std::vector<uint32_t>{0, 1}));
  index.indexing = false;
}

}  // namespace
}  // namespace zw

// What a result row shows and what its double click starts, read through the
// view's functions only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <set>
#include <string>

#include "engine/file_index.h"
#include "search/search_support.h"
#include "search/type_filter.h"
#include "view/cell_text.h"
#include "view/icon_choice.h"
#include "view/layout.h"
#include "view/open_command.h"
#include "view/shown_text.h"
#include "view/size_text.h"
#include "view/status_text.h"

namespace zw::view {
namespace {

using test::Item;

class Cells : public ::testing::Test {
 protected:
  // Entry numbers: 0 a file at the root, 1 a folder, 2 a deleted file,
  // 3 a name longer than a cell.
  void SetUp() override {
    test::Fill(index_,
               {{u"a.txt", false, u'C', 1536, 0},
                {u"Work", true, u'C', 4096, 0},
                {u"gone.txt"},
                {std::u16string(1500, u'x')}},
               false);
    const EntryWriteView view(index_.entries);
    view.store().SetParentAndPath(0, 0, kNoEntry, u"C:\\a.txt");
    view.store().SetParentAndPath(1, 0, kNoEntry, u"C:\\Work\\a b");
    view.store().MarkDeleted(2);
  }
  std::u16string Cell(uint32_t n, uint32_t column) {
    char16_t text[kCellTextCapacity];
    if (!CellText(index_, n, column, text, kCellTextCapacity)) return u"(none)";
    return text;
  }
  FileIndex index_;
};

TEST_F(Cells, ColumnsOfAFileAndAFolder) {
  EXPECT_EQ(Cell(0, kColumnName), u"a.txt");
  EXPECT_EQ(Cell(0, kColumnFolder), u"C:");
  EXPECT_EQ(Cell(1, kColumnFolder), u"C:\\Work");
  EXPECT_EQ(Cell(0, kColumnSize), u"1.5 KB");
  EXPECT_EQ(Cell(1, kColumnSize), u"<DIR>");  // whatever its size
  EXPECT_EQ(Cell(0, 7), u"");
  EXPECT_EQ(Cell(3, kColumnName), std::u16string(kCellTextCapacity - 1, u'x'));
  EXPECT_EQ(Cell(4, kColumnName), u"(none)");
  EXPECT_EQ(Cell(kNoEntry, kColumnName), u"(none)");
  EXPECT_EQ(FolderOf(u"nobackslash"), u"nobackslash");
  EXPECT_EQ(FolderOf(u"\\top"), u"\\top");
}

// The zone comes from TZ here; the Windows build asks the system, and the
// window tests check its date cells under Wine.
#if !defined(_WIN32)
TEST_F(Cells, DateIsLocalTimeWithoutSeconds) {
  const char* saved = std::getenv("TZ");
  const std::string restore = saved ? saved : "";
  setenv("TZ", "KST-9", 1);  // nine hours ahead of UTC, no summer time
  tzset();
  char16_t text[kCellTextCapacity];
  FormatDateText(0, text, kCellTextCapacity);
  EXPECT_EQ(std::u16string(text), u"1601-01-01 09:00");
  // 2024-03-01 05:05:59 UTC
  FormatDateText(133537431590000000ull, text, kCellTextCapacity);
  EXPECT_EQ(std::u16string(text), u"2024-03-01 14:05");
  FormatDateText(0x8000000000000000ull, text, kCellTextCapacity);
  EXPECT_EQ(std::u16string(text), u"");
  if (saved) {
    setenv("TZ", restore.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
#endif

TEST_F(Cells, DoubleClickOpensTheEntryOrShowsItInItsFolder) {
  const auto select = OpenCommandFor(index_, 1, kColumnFolder);
  ASSERT_TRUE(select);
  EXPECT_EQ(select->action, OpenAction::kShowInFolder);
  EXPECT_EQ(select->path, u"C:\\Work\\a b");
  const auto open = OpenCommandFor(index_, 0, kColumnName);
  ASSERT_TRUE(open);
  EXPECT_EQ(open->action, OpenAction::kOpen);
  EXPECT_EQ(open->path, u"C:\\a.txt");
  EXPECT_EQ(open->refusal, OpenRefusal::kNone);
  EXPECT_FALSE(OpenCommandFor(index_, 2, kColumnName));  // deleted
  EXPECT_FALSE(OpenCommandFor(index_, 9, kColumnName));
}

// A folder named "x\y" on a crafted volume: its files' paths read as files
// of a folder y in a folder x.
TEST(OpenCommand, ABackslashInANameAboveTheEntryIsRefused) {
  FileIndex index;
  test::Fill(index, {{u"x\\y", true, u'C'}, {u"a.txt", false, u'C'}}, false);
  {
    const EntryWriteView view(index.entries);
    view.store().SetParentAndPath(0, 5, kNoEntry, u"C:\\x\\y");
    view.store().SetParentAndPath(1, view.store()[0].recordNumber(), 0, u"C:\\x\\y\\a.txt");
  }
  const auto command = OpenCommandFor(index, 1, kColumnName);
  ASSERT_TRUE(command);
  EXPECT_EQ(command->refusal, OpenRefusal::kAlteredPath);
}

// A path cut below a chain deeper than paths follow shows its mark in the
// folder cell and is never opened: it names another file, or none.
TEST_F(Cells, ACutPathIsMarkedAndNeverOpened) {
  {
    const EntryWriteView view(index_.entries);
    view.store().SetParentAndPath(3, 0, kNoEntry, u"\u2026\\deep\\x");
  }
  EXPECT_EQ(Cell(3, kColumnFolder), u"\u2026\\deep");
  for (uint32_t column : {kColumnName, kColumnFolder}) {
    const auto command = OpenCommandFor(index_, 3, column);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->refusal, OpenRefusal::kPathCut);
  }
}

TEST(ShownText, OrdinaryNamesAsTheyAreAndHiddenOnesEscaped) {
  for (const std::u16string_view plain :
       {u"보고서 2024 (최종).hwp", u"写真.jpg", u"Café Ünïcode.txt", u"\U0001F600 smile.png",
        u"\U0001F468\u200D\U0001F469\u200D\U0001F467",
        u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645", u"C:\\Work\\a b\\.gitignore",
        u"{0AFACED1-E828-11D1-9187-B532F1E9575D}", u"C:", u""}) {
    EXPECT_TRUE(ShowsAsIs(plain)) << std::string(plain.begin(), plain.end());
    std::u16string scratch;
    EXPECT_EQ(Shown(plain, scratch).data(), plain.data());  // the text itself, no copy
  }
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"\x1b]0;owned\x07x", u"{U+001B}]0;owned{U+0007}x"},
      {u"a\r\nD:\\fake.exe", u"a{U+000D}{U+000A}D:\\fake.exe"},
      {u"\x7f\u0085\u00ad", u"{U+007F}{U+0085}{U+00AD}"},
      {u"\u202Etxt.exe", u"{U+202E}txt.exe"},
      {u"a\u2066b\u2069\u200Bc\uFEFF\u2028", u"a{U+2066}b{U+2069}{U+200B}c{U+FEFF}{U+2028}"},
      {u"a\u200Db\u200C", u"a{U+200D}b{U+200C}"},  // joiners beside ASCII hide
      {u"\xD800x\xDC00", u"{U+D800}x{U+DC00}"},
      {u"C:\\Program Files \\a.exe", u"C:\\Program Files{U+0020}\\a.exe"},
      {u"a. .", u"a{U+002E}{U+0020}{U+002E}"},
      {u"a.b c\u3000", u"a.b c{U+3000}"},
      {u"{U+0041}", u"{U+007B}U+0041}"},
  };
  for (const auto& [raw, shown] : cases) {
    EXPECT_FALSE(ShowsAsIs(raw));
    std::u16string scratch;
    EXPECT_EQ(Shown(raw, scratch), shown);
  }
  // Wherever it stands: the check reads several units at a time.
  const std::u16string base = u"D:\\abcdefghijk\\lmnopq.txt";
  EXPECT_TRUE(ShowsAsIs(base));
  for (size_t at = 0; at <= base.size(); ++at) {
    for (const std::u16string_view bad : {u"\x1b", u"\u202E", u"{U+", u" \\", u".\\", u"\xDC00"}) {
      std::u16string text = base;
      text.insert(at, bad);
      EXPECT_FALSE(ShowsAsIs(text)) << at;
    }
  }
}

TEST(ShownText, CellsShowNamesAndFoldersEscaped) {
  FileIndex index;
  test::Fill(index, {{u"\u202Egpj.exe"}}, false);
  {
    const EntryWriteView view(index.entries);
    view.store().SetParentAndPath(0, 0, kNoEntry, u"C:\\Program Files \\\u202Egpj.exe");
  }
  char16_t text[kCellTextCapacity];
  ASSERT_TRUE(CellText(index, 0, kColumnName, text, kCellTextCapacity));
  EXPECT_EQ(std::u16string(text), u"{U+202E}gpj.exe");
  ASSERT_TRUE(CellText(index, 0, kColumnFolder, text, kCellTextCapacity));
  EXPECT_EQ(std::u16string(text), u"C:\\Program Files{U+0020}");
}

TEST(Icons, EachModeChoosesByFolderClassOrExtension) {
  FileIndex index;
  test::Fill(index,
             {{u"README"}, {u"Report.PDF"}, {u"clip.ts"}, {u"shortcut.lnk"}, {u"photos.jpg", true}},
             false);
  auto choose = [&](uint32_t n, bool fast) {
    IconChoice c;
    EXPECT_TRUE(ChooseIcon(index, n, fast, c));
    return c;
  };
  using Kind = IconChoice::Kind;
  EXPECT_EQ(choose(0, true).kind, Kind::File);
  EXPECT_EQ(choose(0, false).kind, Kind::File);
  EXPECT_EQ(choose(1, true).iconClass, IconClass::Document);
  EXPECT_EQ(choose(1, false).extension, u"pdf");
  EXPECT_EQ(choose(2, true).iconClass, IconClass::Video);  // before Code
  EXPECT_EQ(choose(3, true).kind, Kind::File);
  EXPECT_EQ(choose(3, false).kind, Kind::Extension);
  EXPECT_EQ(choose(4, true).kind, Kind::Folder);
  EXPECT_EQ(choose(4, false).kind, Kind::Folder);
  IconChoice none;
  EXPECT_FALSE(ChooseIcon(index, 5, true, none));

  std::set<std::u16string_view> distinct(kPrefetchedIconExtensions.begin(),
                                         kPrefetchedIconExtensions.end());
  EXPECT_EQ(distinct.size(), 64u);
  EXPECT_EQ(distinct.count(u""), 0u);
}

// The filter's categories and the class icons were chosen apart; one table
// holds both, and neither may drift towards the other.
TEST(Icons, ClassesAndTypeCategoriesKeepTheirOwnLists) {
  auto inCategory = [](std::u16string_view name, TypeCategory c) {
    FileEntry e = test::MakeEntry({std::u16string(name)}, 0);
    TypeFilterState state;
    state.category = c;
    return TypeFilter(&e, state);
  };
  using enum TypeCategory;
  for (std::u16string_view x : {u"log", u"json", u"ini"}) {
    EXPECT_EQ(ClassOfExtension(x), IconClass::Document);
    EXPECT_FALSE(inCategory(std::u16string(u"a.") + std::u16string(x), Documents));
  }
  EXPECT_TRUE(inCategory(u"a.txt", Documents));
  EXPECT_EQ(ClassOfExtension(u"heic"), IconClass::Image);
  EXPECT_FALSE(inCategory(u"a.heic", Images));
  EXPECT_EQ(ClassOfExtension(u"z"), std::nullopt);
  EXPECT_TRUE(inCategory(u"a.z", Archives));
  EXPECT_EQ(ClassOfExtension(u"ts"), IconClass::Video);  // not Code
  EXPECT_TRUE(inCategory(u"a.ts", Videos));
}

TEST(FormatSize, UnitsChangeAtTheBoundaryAndRoundAfterwards) {
  EXPECT_EQ(FormatSize(0), u"0 B");
  EXPECT_EQ(FormatSize(1023), u"1023 B");
  EXPECT_EQ(FormatSize(1024), u"1.0 KB");
  EXPECT_EQ(FormatSize(1536), u"1.5 KB");
  EXPECT_EQ(FormatSize(1048575), u"1024.0 KB");
  EXPECT_EQ(FormatSize(1048576), u"1.0 MB");
  EXPECT_EQ(FormatSize(500107862016ull), u"465.8 GB");
  EXPECT_EQ(FormatSize(1ull << 50), u"1024.0 TB");  // TB is the largest unit
  EXPECT_EQ(FormatSize(UINT64_MAX), u"16777216.0 TB");
}

TEST(StatusTexts, CountsAndLettersInPlace) {
  EXPECT_EQ(ScanProgressText(u'D', 123456), u"D: 1회성 스캔 중... 123456개 레코드");
  EXPECT_EQ(DriveIndexedText(u'C', 0), u"C: 완료 - 총 0개 항목");
  EXPECT_EQ(IndexingDoneText(18446744073709551615ull),
            u"인덱싱 완료: 18446744073709551615개 항목 - 목록 준비 중...");
  EXPECT_EQ(ItemCountText(1000000), u"1000000개 항목");
  EXPECT_EQ(DialogProgressText(u'D', 123456), u"D: 드라이브 스캔 중... 123456개 레코드");
}

// The path fills the status line as it is shown, and a long one is cut
// with a mark, never inside an escape or between two halves of a pair.
TEST(StatusTexts, FailedOpenShowsThePathCutToTheStatusLine) {
  EXPECT_EQ(OpenFailedText(u"C:\\a b\\x\x1b.txt"), u"열 수 없습니다: C:\\a b\\x{U+001B}.txt");
  const std::u16string head = u"열 수 없습니다: ";
  const size_t room = kStatusTextCapacity - 1 - head.size() - 1;  // before the mark
  for (size_t shift = 0; shift <= 9; ++shift) {
    SCOPED_TRACE(shift);
    // An escape, and then a pair, across the cut.
    const std::u16string path =
        std::u16string(room - shift, u'a') + u"\x07" + u"\U0001F600" + u"bbbbbbbbbbbb";
    const std::u16string text = OpenFailedText(path);
    ASSERT_LE(text.size(), kStatusTextCapacity - 1);
    EXPECT_EQ(text.back(), u'…');
    const std::u16string kept = text.substr(head.size(), text.size() - head.size() - 1);
    std::u16string shown;
    AppendShown(shown, path);
    EXPECT_EQ(shown.compare(0, kept.size(), kept), 0);
    const size_t brace = kept.rfind(u'{');
    if (brace != std::u16string::npos) {
      EXPECT_NE(kept.find(u'}', brace), std::u16string::npos);
    }
    EXPECT_FALSE(kept.back() >= 0xD800 && kept.back() <= 0xDBFF);
  }
  EXPECT_EQ(OpenFailedText(std::u16string(200, u'a')).size(), kStatusTextCapacity - 1);
}

TEST(Layout, ScalesWithTheDpiAndMakesRoomForTheDriveRow) {
  EXPECT_EQ(ScaleForDpi(250, 144), 375);
  EXPECT_EQ(ScaleForDpi(18, 144), 27);
  EXPECT_EQ(ScaleForDpi(5, 120), 6);  // 6.25
  EXPECT_EQ(ScaleForDpi(2, 120), 3);  // 2.5: halves away from zero

  const MainLayout bare = ComputeMainLayout(944, 541, 96, 22, 0, 0);
  EXPECT_EQ(bare.searchEdit, (Box{10, 10, 944 - 30 - 200, 36}));
  EXPECT_EQ(bare.typeCombo, (Box{944 - 210, 10, 200, 36}));
  EXPECT_EQ(bare.resultList, (Box{10, 56, 924, 541 - 22 - 56 - 10}));

  const MainLayout row = ComputeMainLayout(1400, 800, 144, 33, 3, DriveButtonWidth(120, 144));
  ASSERT_EQ(row.driveChecks.size(), 3u);
  EXPECT_EQ(row.driveChecks[0], (Box{15, 15 + 54 + 6, 75, 30}));
  EXPECT_EQ(row.driveChecks[2].x, 15 + 2 * (75 + 6));
  EXPECT_EQ(row.driveButton, (Box{15 + 3 * (75 + 6), 75, 150, 30}));  // at least 100 at 96
  EXPECT_EQ(DriveButtonWidth(200, 96), 216);  // a text wider than 100: never clipped
  EXPECT_EQ(row.resultList.y, 75 + 30 + 6);
  EXPECT_EQ(row.resultList.height, 800 - 33 - 111 - 15);
}

}  // namespace
}  // namespace zw::view

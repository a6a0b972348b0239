// browse's pure pieces: widths of wide text, cutting, the columns fitted to a
// terminal's width, the search line's editing and the printed path.
#include <gtest/gtest.h>

#include <string>

#include "cli/browse/chosen_path.h"
#include "cli/browse/line_editor.h"
#include "cli/browse/row_layout.h"
#include "cli/browse/text_width.h"

namespace zw::cli::browse {
namespace {

TEST(BrowseText, WideCharactersTakeTwoColumnsAndCutsNeverSplitThem) {
  EXPECT_EQ(TextWidth(U"report.txt"), 10);
  EXPECT_EQ(TextWidth(U"보고서.docx"), 11);
  EXPECT_EQ(TextWidth(U"会議資料"), 8);
  // As a Mac stores 보고: leading consonants take the columns, vowels none.
  EXPECT_EQ(TextWidth(U"\u1107\u1169\u1100\u1169"), 4);
  EXPECT_EQ(TextWidth(U"cafe\u0301"), 4);
  EXPECT_EQ(TextWidth(U"\U0001F600"), 2);
  // Surrogate pairs from UTF-16 are one character.
  EXPECT_EQ(ToUtf32(u"a\U0001F600"), U"a\U0001F600");
  EXPECT_EQ(ToUtf32(u"a\xD800z"), U"a\uFFFDz");
  // Jamo are shown as the syllables they spell (curses would drop the vowels).
  std::u32string shown;
  AppendForTerminal(shown, u"\u1107\u1169\u1100\u1169\u1109\u1165_1.docx");
  EXPECT_EQ(shown, U"보고서_1.docx");

  EXPECT_EQ(FitText(U"보고서.docx", 11), U"보고서.docx");  // fits: untouched
  EXPECT_EQ(FitText(U"보고서.docx", 7), U"보고서…");
  // 서 would straddle the edge: it goes whole, and the text is one column short.
  EXPECT_EQ(FitText(U"보고서.docx", 6), U"보고…");
  EXPECT_EQ(FitText(U"abc", 1), U"…");
  EXPECT_EQ(FitText(U"abc", 0), U"");
  for (int width = 1; width < 14; ++width)
    EXPECT_LE(TextWidth(FitText(U"보고서_2024_최종.docx", width)), width) << width;
}

TEST(BrowseLayout, ColumnsStayOnTheScreenInOrderAndGiveWayFromTheRight) {
  for (int width = 1; width <= 300; ++width) {
    const RowLayout layout = FitColumns(width);
    int end = 0;
    for (const ColumnSpan& span : layout.columns) {
      if (span.width == 0) continue;
      EXPECT_GE(span.x, end) << width;
      end = span.x + span.width;
      EXPECT_LE(end, width) << width;
    }
    EXPECT_GT(layout.columns[kColumnName].width, 0) << width;
  }
  const RowLayout wide = FitColumns(120);
  EXPECT_EQ(wide.columns[kColumnSize].width, kSizeWidth);
  EXPECT_EQ(wide.columns[kColumnDate].width, kDateWidth);
  EXPECT_EQ(wide.columns[kColumnDate].x + kDateWidth, 120);
  EXPECT_GT(wide.columns[kColumnFolder].width, wide.columns[kColumnName].width);
  // Narrower, the date goes first, then the size, then the folder.
  const RowLayout noDate = FitColumns(60);
  EXPECT_EQ(noDate.columns[kColumnDate].width, 0);
  EXPECT_EQ(noDate.columns[kColumnSize].width, kSizeWidth);
  const RowLayout noSize = FitColumns(30);
  EXPECT_EQ(noSize.columns[kColumnSize].width, 0);
  EXPECT_GT(noSize.columns[kColumnFolder].width, 0);
  const RowLayout nameOnly = FitColumns(12);
  EXPECT_EQ(nameOnly.columns[kColumnFolder].width, 0);
  EXPECT_EQ(nameOnly.columns[kColumnName].width, 12);
}

TEST(BrowseLayout, ALongSearchLineShowsTheTextAroundTheCursor) {
  const std::u32string text = U"보고서 보고서 보고서 report";  // 27 columns
  const LineSlice end = SliceAroundCursor(text, text.size(), 10);
  EXPECT_EQ(end.last, text.size());
  // As much as fits before it ("서 report"), one column left for the cursor.
  EXPECT_EQ(end.cursorColumn, 9);
  EXPECT_LE(TextWidth(std::u32string_view(text).substr(end.first, end.last - end.first)), 10);
  const LineSlice start = SliceAroundCursor(text, 0, 10);
  EXPECT_EQ(start.first, 0u);
  EXPECT_EQ(start.cursorColumn, 0);
  EXPECT_LE(TextWidth(std::u32string_view(text).substr(0, start.last)), 10);
  const LineSlice middle = SliceAroundCursor(text, 5, 10);  // after "보고서 보"
  EXPECT_LE(middle.first, 5u);
  EXPECT_LT(middle.cursorColumn, 10);
  EXPECT_EQ(TextWidth(std::u32string_view(text).substr(middle.first, 5 - middle.first)),
            middle.cursorColumn);
}

TEST(BrowseLineEditor, EditsAtTheCursorAndKeepsControlCharactersOut) {
  LineEditor line;
  for (char32_t c : std::u32string(U"보고서 2024")) EXPECT_TRUE(line.Insert(c));
  EXPECT_FALSE(line.Insert(U'\t'));
  EXPECT_FALSE(line.Insert(U'\x1B'));
  EXPECT_FALSE(line.Insert(U'\x9B'));
  EXPECT_EQ(line.Utf16(), u"보고서 2024");
  line.Left();
  line.Left();
  EXPECT_TRUE(line.Backspace());  // the 0 before "24"
  EXPECT_EQ(line.Utf16(), u"보고서 224");
  line.End();
  EXPECT_TRUE(line.Insert(U' '));
  EXPECT_TRUE(line.DeleteWordBefore());  // the blank, then "224"
  EXPECT_EQ(line.Utf16(), u"보고서 ");
  line.Home();
  EXPECT_FALSE(line.Backspace());
  EXPECT_FALSE(line.DeleteWordBefore());
  EXPECT_TRUE(line.DeleteForward());
  EXPECT_EQ(line.Utf16(), u"고서 ");
  EXPECT_TRUE(line.Clear());
  EXPECT_FALSE(line.Clear());
  EXPECT_EQ(line.Cursor(), 0u);
}

TEST(BrowseChosenPath, PrintedAsListDoesOrUnderTheMountPoint) {
  EXPECT_EQ(ChosenPathLine(u"D:\\Work\\보고서.txt", false, ""), "D:\\Work\\보고서.txt\n");
  EXPECT_EQ(ChosenPathLine(u"D:\\Work\\보고서.txt", false, "/mnt/win/"),
            "/mnt/win/Work/보고서.txt\n");
  EXPECT_EQ(ChosenPathLine(u"D:\\a.txt", false, "/"), "/a.txt\n");
  // A cut path names no place under the mount point.
  EXPECT_EQ(ChosenPathLine(u"\u2026\\deep\\a.txt", true, "/mnt/win"), "…\\deep\\a.txt\n");
  // A name that could move the cursor is shown, not obeyed.
  EXPECT_EQ(ChosenPathLine(u"D:\\a\x1B[2Jb", false, "/mnt/win"), "/mnt/win/a{U+001B}[2Jb\n");
}

}  // namespace
}  // namespace zw::cli::browse

// Where the result list's columns go on a terminal of a given width, and
// which part of a long search line is shown around its cursor.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/columns.h"

namespace zw::cli::browse {

struct ColumnSpan {
  int x = 0;
  int width = 0;  // 0: not shown
};

// Name, folder, size and date (base/columns.h order), two blanks apart. The
// size and the date keep their full widths; the name and the folder share
// what is left, two parts to three. On a narrow terminal the date goes first,
// then the size, then the folder.
struct RowLayout {
  ColumnSpan columns[kColumnCount];
};
inline constexpr int kColumnGap = 2;
inline constexpr int kSizeWidth = 9;   // "1023.9 KB"
inline constexpr int kDateWidth = 16;  // "2024-03-01 14:05"
RowLayout FitColumns(int screenWidth);

// The part of a text (by code points) that a line of `width` columns shows
// with the cursor on it: [first, last), and the cursor's column.
struct LineSlice {
  size_t first = 0;
  size_t last = 0;
  int cursorColumn = 0;
};
LineSlice SliceAroundCursor(std::u32string_view text, size_t cursor, int width);

}  // namespace zw::cli::browse

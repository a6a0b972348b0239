#include "cli/browse/row_layout.h"

#include <algorithm>

#include "cli/browse/text_width.h"

namespace zw::cli::browse {

namespace {

// The name and the folder share `room` columns from `x`.
void Split(RowLayout& layout, int x, int room) {
  const int name = std::clamp(room * 2 / 5, std::min(room, 12), 60);
  layout.columns[kColumnName] = {x, name};
  if (room - name - kColumnGap > 0)
    layout.columns[kColumnFolder] = {x + name + kColumnGap, room - name - kColumnGap};
}

}  // namespace

RowLayout FitColumns(int screenWidth) {
  RowLayout layout;
  if (screenWidth <= 0) return layout;
  const int withBoth = screenWidth - kSizeWidth - kDateWidth - 2 * kColumnGap;
  const int withSize = screenWidth - kSizeWidth - kColumnGap;
  if (withBoth >= 32) {
    Split(layout, 0, withBoth);
    layout.columns[kColumnSize] = {withBoth + kColumnGap, kSizeWidth};
    layout.columns[kColumnDate] = {screenWidth - kDateWidth, kDateWidth};
  } else if (withSize >= 24) {
    Split(layout, 0, withSize);
    layout.columns[kColumnSize] = {screenWidth - kSizeWidth, kSizeWidth};
  } else if (screenWidth >= 24) {
    Split(layout, 0, screenWidth);
  } else {
    layout.columns[kColumnName] = {0, screenWidth};
  }
  return layout;
}

LineSlice SliceAroundCursor(std::u32string_view text, size_t cursor, int width) {
  LineSlice slice;
  cursor = std::min(cursor, text.size());
  if (width <= 1) {
    slice.first = slice.last = cursor;
    return slice;
  }
  // Back from the cursor while what lies before it fits, one column kept
  // for the cursor itself.
  int before = 0;
  slice.first = cursor;
  while (slice.first > 0 && before + CellWidth(text[slice.first - 1]) <= width - 1) {
    before += CellWidth(text[--slice.first]);
  }
  slice.cursorColumn = before;
  int used = before;
  slice.last = cursor;
  while (slice.last < text.size() && used + CellWidth(text[slice.last]) <= width) {
    used += CellWidth(text[slice.last++]);
  }
  return slice;
}

}  // namespace zw::cli::browse

#include <windows.h>

#include <commctrl.h>

#include "app/main_window.h"
#include "app/wide_text.h"
#include "index/file_index.h"
#include "settings/settings.h"
#include "view/cell_text.h"
#include "view/open_command.h"

namespace zw::app {

namespace {

// The list view keeps the pointer until its next request on this thread.
thread_local char16_t g_cellText[view::kCellTextCapacity];

}  // namespace

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom != resultList || resultList == nullptr) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      FillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
      break;
    case LVN_COLUMNCLICK:
      OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
      break;
    case NM_DBLCLK:
      OpenEntry(reinterpret_cast<const NMITEMACTIVATE&>(header));
      break;
    default:
      break;
  }
  return 0;
}

uint32_t MainWindow::RowEntry(int row) const {
  if (row < 0 || !results) return kNoEntry;
  return results->At(size_t(row));
}

void MainWindow::FillDisplayInfo(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  const uint32_t n = RowEntry(item.iItem);
  if (n == kNoEntry) return;
  // A row whose entry cannot be shown is left unanswered.
  if (item.mask & LVIF_IMAGE) {
    const std::optional<int> icon = IconForEntry(n);
    if (!icon) return;
    item.iImage = *icon;
  }
  if (item.mask & LVIF_TEXT) {
    if (!view::CellText(GetIndex(), n, uint32_t(item.iSubItem), g_cellText,
                        view::kCellTextCapacity))
      return;
    item.pszText = AsWideBuffer(g_cellText);
  }
}

void MainWindow::OnColumnClick(int column) {
  if (uint32_t(column) == sortColumn) {
    sortDescending = !sortDescending;
    WriteDword(kSortDescending, sortDescending ? 1 : 0);
  } else {
    // Another column sorts ascending; the stored direction is left as it was.
    sortDescending = false;
    if (uint32_t(column) > 3) return;
    sortColumn = uint32_t(column);
    WriteDword(kSortColumn, sortColumn);
  }
  UpdateSortMenu();
  ResortResults();
}

void MainWindow::OpenEntry(const NMITEMACTIVATE& activation) {
  const uint32_t n = RowEntry(activation.iItem);
  if (n == kNoEntry) return;
  const auto command = view::OpenCommandFor(GetIndex(), n, uint32_t(activation.iSubItem));
  if (!command || !shellOpen) return;
  shellOpen(hwnd, ToWide(command->file), ToWide(command->parameters));
}

}  // namespace zw::app

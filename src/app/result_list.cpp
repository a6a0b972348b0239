#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include <utility>

#include "app/main_window.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "settings/settings.h"
#include "view/cell_text.h"
#include "view/open_command.h"
#include "view/status_text.h"

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
    case NM_CUSTOMDRAW:
      if (reinterpret_cast<const NMCUSTOMDRAW&>(header).dwDrawStage == CDDS_PREPAINT)
        drawnVersion = rowsVersion;
      break;
    case NM_DBLCLK:
      OpenEntry(reinterpret_cast<const NMITEMACTIVATE&>(header));
      break;
    case LVN_BEGINDRAG:
      OnBeginDrag(reinterpret_cast<const NMLISTVIEW&>(header).iItem);
      break;
    default:
      break;
  }
  return 0;
}

uint32_t MainWindow::RowEntry(const EntryAccess& /*hold*/, int row) const {
  if (row < 0 || !results) return kNoEntry;
  return results->At(size_t(row));
}

void MainWindow::FillDisplayInfo(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  {
    const EntryReadView hold(GetIndex().entries);
    const uint32_t n = RowEntry(hold, item.iItem);
    if (n == kNoEntry) return;
    // A row whose entry cannot be shown is left unanswered.
    if ((item.mask & LVIF_IMAGE) && !view::ChooseIcon(hold, n, fastIcons, iconChoice)) return;
    if ((item.mask & LVIF_TEXT) &&
        !view::CellText(hold, n, uint32_t(item.iSubItem), g_cellText, view::kCellTextCapacity))
      return;
  }
  // The shell is asked for an icon without holding the entries.
  if (item.mask & LVIF_IMAGE) {
    const std::optional<int> icon = IconOfChoice();
    if (!icon) return;
    item.iImage = *icon;
  }
  if (item.mask & LVIF_TEXT) item.pszText = AsWideBuffer(g_cellText);
}

void MainWindow::OnColumnClick(int column) {
  if (uint32_t(column) == sortColumn) {
    sortDescending = !sortDescending;
    // Unsaved, it still holds for this session; WriteDword told the debugger.
    static_cast<void>(WriteDword(kSortDescending, sortDescending ? 1 : 0));
  } else {
    // Another column sorts ascending; the stored direction is left as it was.
    sortDescending = false;
    if (uint32_t(column) >= kColumnCount) return;
    sortColumn = uint32_t(column);
    static_cast<void>(WriteDword(kSortColumn, sortColumn));  // as above
  }
  UpdateSortMenu();
  ResortResults();
}

LRESULT CALLBACK MainWindow::ListProc(HWND list, UINT message, WPARAM wParam,
                                      LPARAM lParam) noexcept {
  auto* window = HookOwner<MainWindow>(list);
  if (window == nullptr) return PassToControl(list, message, wParam, lParam);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      try {
        window->OnListPress(lParam);
      } catch (...) {
        window->pressed.reset();  // no memory: no press to act on
      }
      break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      try {
        if (window->OnListKey(message, wParam)) return 0;
      } catch (...) {
        return 0;  // no memory for the entry's path: nothing done
      }
      break;
    case WM_CHAR:
      // The characters of Enter, Ctrl+Enter, Escape and Ctrl+C: their keys
      // have done their work.
      if (wParam == L'\r' || wParam == L'\n' || wParam == 0x1B || wParam == 0x03) return 0;
      break;
    case WM_CONTEXTMENU:
      if (HWND(wParam) != list) break;  // the header's
      try {
        window->ShowRowMenu(lParam);
      } catch (...) {
        // No memory for the entry's path: no menu.
      }
      return 0;
    default:
      break;
  }
  return PassToControl(list, message, wParam, lParam);
}

void MainWindow::OnListPress(LPARAM point) {
  // Seen before the list handles the press: rows may move while it tracks
  // the mouse, and the double click that follows must not act on another.
  pressed.reset();
  if (drawnVersion != rowsVersion) return;
  LVHITTESTINFO hit{};
  hit.pt = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  const int row = int(::SendMessageW(resultList, LVM_SUBITEMHITTEST, 0, LPARAM(&hit)));
  const EntryReadView hold(GetIndex().entries);
  const uint32_t n = RowEntry(hold, row);
  if (n == kNoEntry) return;
  auto command = view::OpenCommandFor(hold, n, kColumnName);
  if (!command) return;
  pressed = RowTarget{row, n, std::move(command->path)};
}

void MainWindow::OpenEntry(const NMITEMACTIVATE& activation) {
  const std::optional<RowTarget> press = std::exchange(pressed, std::nullopt);
  if (!press || press->row != activation.iItem) return;
  if (const auto command = CommandForRow(*press, uint32_t(activation.iSubItem))) Perform(*command);
}

std::optional<view::OpenCommand> MainWindow::CommandForRow(const RowTarget& target,
                                                           uint32_t column) const {
  std::optional<view::OpenCommand> command;
  {
    const EntryReadView hold(GetIndex().entries);
    const uint32_t n = RowEntry(hold, target.row);
    // A number renumbered since the aim fails here too: nothing is done.
    if (n == kNoEntry || n != target.entry) return std::nullopt;
    command = view::OpenCommandFor(hold, n, column);
  }
  if (!command || command->path != target.path)
    return std::nullopt;  // deleted or renamed meanwhile
  return command;
}

void MainWindow::Perform(const view::OpenCommand& command) {
  if (command.refusal != view::OpenRefusal::kNone) {
    SetStatus(command.refusal == view::OpenRefusal::kPathCut ? view::kStatusOpenPathCut
                                                             : view::kStatusOpenAlteredPath);
    return;
  }
  if (!shellOpen) return;
  switch (shellOpen(command.action, ToWide(command.path))) {
    case ShellResult::kDone:
      break;
    case ShellResult::kNoUserShell:
      SetStatus(view::kStatusOpenNoUserShell);
      break;
    case ShellResult::kFailed:
      SetStatus(view::OpenFailedText(command.path));
      break;
  }
}

}  // namespace zw::app

// What the keyboard and the mouse do with the result rows beyond the list's
// own: the way between the search box and the list, Enter and Ctrl+Enter,
// the row menu, copying a path and dragging a row out. Each acts on the
// entry the user aimed at, through the same checks as a double click.
#include <windows.h>

#include <commctrl.h>
#include <windowsx.h>

#include "app/main_window.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "view/shown_text.h"
#include "view/status_text.h"

namespace zw::app {

LRESULT CALLBACK MainWindow::SearchEditProc(HWND edit, UINT message, WPARAM wParam,
                                            LPARAM lParam) noexcept {
  if (message == WM_KEYDOWN) {
    auto* window = HookOwner<MainWindow>(edit);
    if (window != nullptr && window->OnSearchEditKey(wParam)) return 0;
  }
  return PassToControl(edit, message, wParam, lParam);
}

bool MainWindow::OnSearchEditKey(WPARAM key) {
  if (key != VK_DOWN && key != VK_NEXT) return false;
  if (::SendMessageW(resultList, LVM_GETITEMCOUNT, 0, 0) <= 0) return false;
  SelectRow(0);
  ::SetFocus(resultList);
  return true;
}

bool MainWindow::OnListKey(UINT message, WPARAM key) {
  const bool control = ::GetKeyState(VK_CONTROL) < 0;
  const bool shift = ::GetKeyState(VK_SHIFT) < 0;
  // The menu keys are taken whole, so that the system makes no second
  // menu of them (from the key's release) and F10 does not open the bar.
  if (key == VK_APPS || (key == VK_F10 && shift)) {
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) ShowRowMenu(-1);
    return true;
  }
  if (message != WM_KEYDOWN) return false;
  switch (key) {
    case VK_RETURN:
      if (const auto target = SelectedRow()) {
        if (const auto command = CommandForRow(*target, control ? kColumnFolder : kColumnName))
          Perform(*command);
      }
      return true;
    case VK_ESCAPE:
      FocusSearchBox(/*selectText=*/true);
      return true;
    case VK_UP:
      if (::SendMessageW(resultList, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED) != 0) return false;
      FocusSearchBox();
      return true;
    case 'C':
      if (!control) return false;
      if (const auto target = SelectedRow()) CopyPath(target->path);
      return true;
    default:
      return false;
  }
}

void MainWindow::RememberFocus() {
  HWND focus = ::GetFocus();
  if (focus != nullptr && ::IsChild(hwnd, focus)) focusBeforeDeactivation = focus;
}

void MainWindow::RestoreFocus() {
  HWND target = focusBeforeDeactivation;
  // A drive check box of an earlier run is gone; its handle may name
  // another window by now.
  if (target == nullptr || !::IsChild(hwnd, target) || !::IsWindowVisible(target) ||
      !::IsWindowEnabled(target))
    target = searchEdit;
  ::SetFocus(target);
}

void MainWindow::FocusSearchBox(bool selectText) {
  focusBeforeDeactivation = searchEdit;
  if (::GetActiveWindow() == hwnd) ::SetFocus(searchEdit);
  if (selectText) ::SendMessageW(searchEdit, EM_SETSEL, 0, -1);
}

void MainWindow::SelectRow(int row) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(resultList, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&state));
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(resultList, LVM_SETITEMSTATE, WPARAM(row), LPARAM(&state));
  ::SendMessageW(resultList, LVM_SETSELECTIONMARK, 0, LPARAM(row));
  ::SendMessageW(resultList, LVM_ENSUREVISIBLE, WPARAM(row), FALSE);
}

std::optional<MainWindow::RowTarget> MainWindow::SelectedRow() const {
  if (drawnVersion != rowsVersion) return std::nullopt;  // the user saw other rows there
  const int row = int(::SendMessageW(resultList, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
  const EntryReadView hold(GetIndex().entries);
  const uint32_t n = RowEntry(hold, row);
  if (n == kNoEntry) return std::nullopt;
  auto command = view::OpenCommandFor(hold, n, kColumnName);
  if (!command) return std::nullopt;
  return RowTarget{row, n, std::move(command->path)};
}

void MainWindow::ShowRowMenu(LPARAM point) {
  std::optional<RowTarget> target;
  POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
  if (point == -1) {
    target = SelectedRow();
    if (!target) return;
    ::SendMessageW(resultList, LVM_ENSUREVISIBLE, WPARAM(target->row), FALSE);
    RECT label{};
    label.left = LVIR_LABEL;
    ::SendMessageW(resultList, LVM_GETITEMRECT, WPARAM(target->row), LPARAM(&label));
    at = {label.left, label.bottom};
    ::ClientToScreen(resultList, &at);
  } else {
    LVHITTESTINFO hit{};
    hit.pt = at;
    ::ScreenToClient(resultList, &hit.pt);
    const int row = int(::SendMessageW(resultList, LVM_SUBITEMHITTEST, 0, LPARAM(&hit)));
    // Only on the row the button went down on, as it was then.
    if (row < 0 || !pressed || pressed->row != row) return;
    target = pressed;
    SelectRow(row);
  }
  // Both asked now: the menu's own loop lets the rows change under it.
  const std::optional<view::OpenCommand> open = CommandForRow(*target, kColumnName);
  const std::optional<view::OpenCommand> show = CommandForRow(*target, kColumnFolder);
  if (!open || !show) return;
  OwnedMenu menu(::CreatePopupMenu());
  if (!menu) return;
  ::AppendMenuW(menu.Get(), MF_STRING, IDM_ROW_OPEN, L"열기(&O)");
  ::AppendMenuW(menu.Get(), MF_STRING, IDM_ROW_SHOW_IN_FOLDER, L"폴더 열기(&F)");
  ::AppendMenuW(menu.Get(), MF_STRING, IDM_ROW_COPY_PATH, L"전체 경로 복사(&C)");
  ::SetMenuDefaultItem(menu.Get(), IDM_ROW_OPEN, FALSE);
  const UINT chosen = UINT(
      ::TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr));
  switch (chosen) {
    case IDM_ROW_OPEN:
      Perform(*open);
      break;
    case IDM_ROW_SHOW_IN_FOLDER:
      Perform(*show);
      break;
    case IDM_ROW_COPY_PATH:
      CopyPath(open->path);
      break;
    default:
      break;  // dismissed
  }
}

void MainWindow::CopyPath(std::u16string_view path) {
  // As the list shows it: a name that could start a new line or hide what
  // follows it must not do so where the path is pasted.
  std::u16string scratch;
  if (!CopyToClipboard(hwnd, ToWide(view::Shown(path, scratch))))
    SetStatus(view::kStatusCopyFailed);
}

void MainWindow::OnBeginDrag(int row) {
  if (!pressed || pressed->row != row) return;
  const std::optional<view::OpenCommand> command = CommandForRow(*pressed, kColumnName);
  if (!command) return;
  if (command->refusal != view::OpenRefusal::kNone) {
    Perform(*command);  // says why, and does nothing else
    return;
  }
  const ComPtr<IDataObject> data = FileDataObject(ToWide(command->path));
  if (!data) {
    SetStatus(view::OpenFailedText(command->path));
    return;
  }
  // Never a move: this process runs elevated, and the file is the user's.
  if (dragOut) dragOut(*data.Get(), DROPEFFECT_COPY | DROPEFFECT_LINK);
}

}  // namespace zw::app

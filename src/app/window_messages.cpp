#include <windows.h>

#include <commctrl.h>

#include "app/main_window.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "search/query.h"
#include "settings/settings.h"
#include "view/list_changes.h"
#include "view/status_text.h"

namespace zw::app {

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) noexcept {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    ::EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      ::PostMessageW(hwnd, WM_APP_STARTUP, 0, 0);
      OnCreate();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_ACTIVATE:
      // The focus goes back to the control that had it, as in a dialog.
      if (LOWORD(wParam) == WA_INACTIVE) {
        RememberFocus();
      } else if (HIWORD(wParam) == 0) {
        RestoreFocus();
        return 0;
      }
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_SETFOCUS:
      // The window itself takes no keys; its controls do.
      RestoreFocus();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      ::BeginPaint(hwnd, &paint);
      ::EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      // The drive check boxes stand on the window's own background.
      ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
      return LRESULT(::GetSysColorBrush(COLOR_WINDOW));
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      return OnCommand(wParam, lParam);
    case WM_TIMER:
      if (wParam == IDT_SEARCH) {
        searchTimer.Stop();
        SearchFromWindow();
      } else if (wParam == IDT_ROW_SWEEP) {
        sweepTimer.Stop();
        SweepRows();
      }
      return 0;
    case WM_APP_INDEXING_DONE:
      OnIndexingDone(wParam, lParam);
      return 0;
    case WM_APP_SEARCH_PROGRESS:
      return 0;
    case WM_APP_SEARCH_DONE:
      OnSearchDone(wParam, lParam);
      return 0;
    case WM_APP_DRIVE_INDEXED:
      OnDriveIndexed(wParam, lParam);
      return 0;
    case WM_APP_SCAN_PROGRESS:
      if (IsCurrentRun(wParam))
        SetStatus(view::ScanProgressText(LowOfParam(wParam), uint64_t(lParam)));
      return 0;
    case WM_APP_LIST_READY:
      OnListReady(wParam, lParam);
      return 0;
    case WM_APP_INDEX_CHANGED:
      OnIndexChanged();
      return 0;
    case WM_APP_STARTUP:
      OnStartup();
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

LRESULT MainWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  switch (id) {
    case IDM_ABOUT:
      ::DialogBoxParamW(AppInstance(), MAKEINTRESOURCEW(IDD_ABOUTBOX), hwnd, AboutProc, 0);
      return 0;
    case IDM_EXIT:
      ::DestroyWindow(hwnd);
      return 0;
    case IDM_SELECT_DRIVES:
    case IDC_DRIVE_BUTTON:
      ChooseDrives();
      return 0;
    case IDM_SORT_NAME:
      SortByColumn(kColumnName);
      return 0;
    case IDM_SORT_PATH:
      SortByColumn(kColumnFolder);
      return 0;
    case IDM_SORT_SIZE:
      SortByColumn(kColumnSize);
      return 0;
    case IDM_SORT_DATE:
      SortByColumn(kColumnDate);
      return 0;
    case IDM_SORT_ASCENDING:
    case IDM_SORT_DESCENDING:
      SortDescending(id == IDM_SORT_DESCENDING);
      return 0;
    case IDM_FOLDERS_FIRST:
      ToggleFoldersFirst();
      return 0;
    case IDM_INITIAL_CONSONANTS:
      ToggleInitialConsonantSearch();
      return 0;
    case IDC_SEARCH_EDIT:
      if (code == EN_CHANGE) SearchSoon();
      return 0;
    case IDC_TYPE_COMBO:
      if (code == CBN_SELCHANGE) {
        searchTimer.Stop();
        SearchFromWindow();
      }
      return 0;
    default:
      if (id >= IDC_DRIVE_CHECK_FIRST && id <= IDC_DRIVE_CHECK_LAST) {
        OnDriveCheckChanged();
        return 0;
      }
      return ::DefWindowProcW(hwnd, WM_COMMAND, wParam, 0);
  }
}

void MainWindow::SortByColumn(uint32_t column) {
  sortColumn = column;
  // Unsaved, it still holds for this session; WriteDword told the debugger.
  static_cast<void>(WriteDword(kSortColumn, column));
  UpdateSortMenu();
  ResortResults();
}

void MainWindow::SortDescending(bool descending) {
  sortDescending = descending;
  // Unsaved, it still holds for this session; WriteDword told the debugger.
  static_cast<void>(WriteDword(kSortDescending, descending ? 1 : 0));
  UpdateSortMenu();
  ResortResults();
}

void MainWindow::ToggleFoldersFirst() {
  foldersFirst = !foldersFirst;
  // Unsaved, it still holds for this session; WriteDword told the debugger.
  static_cast<void>(WriteDword(kFoldersFirst, foldersFirst ? 1 : 0));
  UpdateSortMenu();
  ResortResults();
}

void MainWindow::ToggleInitialConsonantSearch() {
  initialConsonantSearch = !initialConsonantSearch;
  // Unsaved, it still holds for this session; WriteDword told the debugger.
  static_cast<void>(WriteDword(kInitialConsonantSearch, initialConsonantSearch ? 1 : 0));
  UpdateSortMenu();
  // The list of everything does not depend on it.
  if (!SearchTextEmpty()) {
    searchTimer.Stop();
    SearchFromWindow();
  }
}

void MainWindow::SearchSoon() {
  if (searchDebounce) {
    searchTimer.Stop();
    searchTimer.Start(hwnd, kSearchDebounceMs);
  } else {
    SearchFromWindow();
  }
}

bool MainWindow::SearchTextEmpty() const {
  return ::GetWindowTextLengthW(searchEdit) == 0;
}

TypeFilterState MainWindow::FilterState() const {
  TypeFilterState state;
  state.hasTypeCombo = typeCombo != nullptr;
  if (typeCombo != nullptr) {
    const LRESULT selection = ::SendMessageW(typeCombo, CB_GETCURSEL, 0, 0);
    state.category =
        selection == CB_ERR ? TypeCategory::NoSelection : static_cast<TypeCategory>(int(selection));
  }
  state.hasDriveChecks = !driveChecks.empty();
  state.checkedDrives = checkedDrives;
  return state;
}

SortSpec MainWindow::CurrentSort() const {
  return SortSpec{sortColumn, sortDescending, foldersFirst};
}

void MainWindow::SweepRows() {
  if (!results) return;
  if (rowSweep.Step(*results, GetIndex(), FilterState()) != 0) {
    SetResultCount(results->Count());
  } else {
    RowsChanged();  // a rename shows in its row
  }
  if (rowSweep.Pending()) sweepTimer.Start(hwnd, 10);
}

void MainWindow::StopSweep() {
  rowSweep.Cancel();
  sweepTimer.Stop();
}

uint64_t MainWindow::RenewResults(bool forSearch) {
  StopSweep();
  ++searchNumber;               // a completion still on its way belongs to the old list
  searchAgainWhenDone = false;  // what fills it next sees the index as it is now
  // While a search is in flight the set holds its part answer, not the list.
  const bool listShown = !searchInFlight;
  searchInFlight = false;
  if (!forSearch) {
    results->DropKept();
    return results->Clear();
  }
  if (listShown) return results->ClearKeeping();
  return results->Clear();
}

void MainWindow::SearchFromWindow() {
  FileIndex& index = GetIndex();
  if (view::EntryCount(index) == 0) return;
  const std::u16string text = WindowText(searchEdit);
  if (searcher && searcher->running.load()) searcher->cancelRequested = true;
  if (text.empty()) {
    ShowAllEntries();
    return;
  }
  const SearchQuery query = ParseQuery(text, initialConsonantSearch);
  RenewResults(/*forSearch=*/true);
  searchInFlight = true;
  searcher->SetNameIndex(&index.nameIndex);
  const uint32_t number = searchNumber;
  HWND window = hwnd;
  searcher->StartSearch(
      query, results.get(),
      [window, number](uint64_t count) {
        ::PostMessageW(window, WM_APP_SEARCH_PROGRESS, number, LPARAM(count));
      },
      [window, number](uint64_t count) {
        ::PostMessageW(window, WM_APP_SEARCH_DONE, number, LPARAM(count));
      });
}

void MainWindow::ShowAllEntries() {
  FileIndex& index = GetIndex();
  RenewResults();
  const size_t count = AppendAllPassing(*results, index.entries, FilterState());
  if (count != 0) {
    SortResults(*results, CurrentSort(), index.nameIndex);
    RowsChanged();
  }
  SetResultCount(count);
}

void MainWindow::OnSearchDone(WPARAM wParam, LPARAM lParam) {
  if (!results || uint32_t(wParam) != searchNumber || !searchInFlight) return;  // overtaken
  searchInFlight = false;
  const bool failed = uint64_t(lParam) == kSearchFailed;
  if (failed) {
    // What was delivered is no answer: the list shows again what it showed.
    results->RestoreKept();
  } else {
    FilterResults(*results, GetIndex().entries, FilterState());
  }
  results->DropKept();
  ResortResults();
  SetResultCount(results->Count());
  if (failed) SetStatus(view::kStatusSearchFailed);
  if (searchAgainWhenDone) SearchFromWindow();
}

void MainWindow::ResortResults() {
  if (!results || results->Count() == 0) return;
  SortResults(*results, CurrentSort(), GetIndex().nameIndex);
  RowsChanged();
}

void MainWindow::RowsChanged(bool erase) {
  ++rowsVersion;
  ::InvalidateRect(resultList, nullptr, erase ? TRUE : FALSE);
}

void MainWindow::SetResultCount(uint64_t count) {
  ::SendMessageW(resultList, LVM_SETITEMCOUNT, WPARAM(int(count)), LVSICF_NOSCROLL);
  RowsChanged();
  SetStatus(view::ItemCountText(count));
}

void MainWindow::SetStatus(std::u16string_view text) {
  const std::wstring terminated = ToWide(text);
  ::SendMessageW(statusBar, SB_SETTEXTW, 0, LPARAM(terminated.c_str()));
}

void MainWindow::UpdateSortMenu() {
  HMENU menu = ::GetMenu(hwnd);
  if (menu == nullptr) return;
  auto check = [menu](UINT id, bool on) {
    ::CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  };
  check(IDM_SORT_NAME, sortColumn == kColumnName);
  check(IDM_SORT_PATH, sortColumn == kColumnFolder);
  check(IDM_SORT_SIZE, sortColumn == kColumnSize);
  check(IDM_SORT_DATE, sortColumn == kColumnDate);
  check(IDM_SORT_ASCENDING, !sortDescending);
  check(IDM_SORT_DESCENDING, sortDescending);
  check(IDM_FOLDERS_FIRST, foldersFirst);
  check(IDM_INITIAL_CONSONANTS, initialConsonantSearch);
}

void MainWindow::OnDriveIndexed(WPARAM wParam, LPARAM lParam) {
  if (!IsCurrentRun(wParam)) return;
  SetStatus(view::DriveIndexedText(LowOfParam(wParam), uint64_t(lParam)));
  if (SearchTextEmpty()) {
    ShowAllEntries();
  } else {
    SearchSoon();
  }
}

void MainWindow::OnIndexChanged() {
  FileIndex& index = GetIndex();
  if (!results) return;
  // Only a search the list waits for delivers what it finds; one overtaken
  // by the list of every entry will not, however long it runs on.
  const bool running = searchInFlight && searcher && searcher->running.load();
  switch (view::StepForIndexChange(SearchTextEmpty(), running)) {
    case view::IndexChangeStep::FollowInList: {
      const view::ListFollowResult r = view::AppendNewEntries(*results, index, FilterState());
      if (r.appended != 0) SetResultCount(results->Count());
      // Any row may belong to a file deleted or renamed just now; the rows are
      // looked over from a timer, apart from this message's own work.
      rowSweep.Restart(results->Count());
      RowsChanged();  // a rename shows in its row
      sweepTimer.Start(hwnd, 0);
      break;
    }
    case view::IndexChangeStep::SearchAgain:
      view::MarkAllSeen(*results, index);
      SearchFromWindow();
      break;
    case view::IndexChangeStep::SearchAgainWhenDone:
      view::MarkAllSeen(*results, index);
      searchAgainWhenDone = true;
      break;
  }
}

}  // namespace zw::app

#include <windows.h>

#include <commctrl.h>

#include <iterator>

#include "app/dpi.h"
#include "app/drive_select_dialog.h"
#include "app/main_window.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "live/change_notifier.h"
#include "live/live_update.h"
#include "settings/settings.h"
#include "view/layout.h"
#include "view/list_changes.h"
#include "view/status_text.h"
#include "volumes/drive_info.h"

namespace zw::app {

bool MainWindow::IsCurrentRun(WPARAM wParam) const {
  return RunOfParam(wParam) == runNumber;
}

void MainWindow::OnStartup() {
  {
    // The index starts with the stored choice, on a first run with every
    // fixed NTFS drive as well.
    std::set<char16_t> initial = InitialDriveSet(NtfsDriveLetters);
    FileIndex& index = GetIndex();
    std::lock_guard hold(index.drivesMutex);
    index.drives = std::move(initial);
  }
  std::set<char16_t> drives = LoadSelectedDrives();
  const bool chosen = SelectDrives(AppInstance(), hwnd, drives);
  FocusSearchBox();  // what the user does next is type
  if (!chosen) {
    SetStatus(view::kStatusChooseDrives);
    return;
  }
  // Indexed either way; a write that failed has told the debugger.
  static_cast<void>(SaveSelectedDrives(drives));
  static_cast<void>(WriteDword(kFirstRunComplete, 1));
  StartIndexing(drives);
}

void MainWindow::ChooseDrives() {
  FileIndex& index = GetIndex();
  if (index.indexing.load()) {
    RequestStop(index);
    JoinIndexThread(index);
  }
  std::set<char16_t> drives = LoadSelectedDrives();
  const bool chosen = SelectDrives(AppInstance(), hwnd, drives);
  FocusSearchBox();
  if (!chosen) return;
  static_cast<void>(SaveSelectedDrives(drives));  // as at startup
  StartIndexing(drives);
}

void MainWindow::StartIndexing(const std::set<char16_t>& drives) {
  if (drives.empty()) return;
  FileIndex& index = GetIndex();
  if (index.indexing.load()) {
    RequestStop(index);
    JoinIndexThread(index);
  }
  // The journal threads hold entry numbers of the index this run replaces.
  StopLiveUpdate();
  JoinListBuilder();
  RenewResults();
  ::SendMessageW(resultList, LVM_SETITEMCOUNT, 0, 0);
  RowsChanged(true);
  SetStatus(view::kStatusIndexing);
  ShowProgressWindow();

  const uint32_t run = ++runNumber;
  HWND window = hwnd;
  IndexingCallbacks callbacks;
  callbacks.progress = [window, run, record = progress, &index](char16_t drive, uint64_t done,
                                                                uint64_t) {
    if (record) {
      if (HWND dialog = record->dialog.load())
        ::PostMessageW(dialog, WM_APP_PROGRESS_TEXT, WPARAM(drive), LPARAM(done));
      if (record->userCancelled.load()) index.stopRequested = true;
    }
    ::PostMessageW(window, WM_APP_SCAN_PROGRESS, WPARAM(MakeRunParam(run, drive)), LPARAM(done));
  };
  callbacks.driveDone = [window, run](char16_t drive, uint64_t count) {
    ::PostMessageW(window, WM_APP_DRIVE_INDEXED, WPARAM(MakeRunParam(run, drive)), LPARAM(count));
  };
  callbacks.complete = [window, run](bool success, uint64_t count) {
    ::PostMessageW(window, WM_APP_INDEXING_DONE, WPARAM(MakeRunParam(run, success ? 1 : 0)),
                   LPARAM(count));
  };
  IndexRunOptions options;
  options.indexer = driveIndexer;
  options.fastSearch = ReadFlag(kFastSearch, kDefaultFastSearch);
  // Refused only for an empty set, which returned above.
  static_cast<void>(StartIndexRun(index, drives, std::move(callbacks), std::move(options)));
}

void MainWindow::OnIndexingDone(WPARAM wParam, LPARAM lParam) {
  // A run that was stopped for a new drive choice reports after the new run
  // has begun: its list would show the new run's half-built index.
  if (!IsCurrentRun(wParam)) return;
  CloseProgressWindow();
  FocusSearchBox();
  SetStatus(view::IndexingDoneText(uint64_t(lParam)));
  RebuildDriveChecks();
  StartListBuilder();
}

void MainWindow::StartListBuilder() {
  JoinListBuilder();
  FileIndex& index = GetIndex();
  ResultSet* target = results.get();
  const uint64_t generation = RenewResults();
  const uint32_t run = runNumber;
  HWND window = hwnd;
  // Joined before the next one, and at shutdown: it never outlives the
  // result set or posts to a window that is gone.
  listBuilder = std::thread([&index, target, generation, run, window]() noexcept {
    uint64_t count = 0;
    bool delivered = false;
    try {
      if (const auto built = view::BuildFullList(index, *target, generation)) {
        count = *built;
        delivered = true;
      } else {
        count = view::MarkAllSeen(*target, index);
      }
    } catch (...) {
      // No memory for the list: it stays as it is until the next search.
    }
    // Posted also when a search has taken the list over: the run's live
    // update starts with this message.
    ::PostMessageW(window, WM_APP_LIST_READY, WPARAM(MakeRunParam(run, delivered ? 1 : 0)),
                   LPARAM(count));
  });
}

void MainWindow::JoinListBuilder() {
  if (listBuilder.joinable()) listBuilder.join();
}

void MainWindow::OnListReady(WPARAM wParam, LPARAM lParam) {
  if (!IsCurrentRun(wParam)) return;
  FileIndex& index = GetIndex();
  if (LowOfParam(wParam) != 0) {  // the list of every entry, unless a search came first
    FilterResults(*results, index.entries, FilterState());
    ResortResults();
    SetResultCount(results->Count());
    SetStatus(view::ItemCountText(uint64_t(lParam)));
  }
  StartLiveUpdateForThisRun();
}

void MainWindow::StartLiveUpdateForThisRun() {
  FileIndex& index = GetIndex();
  StopLiveUpdate();  // a fresh id map for this run's entries
  if (!changeNotifier) {
    HWND window = hwnd;
    changeNotifier = std::make_unique<ChangeNotifierThread>(
        [window] { ::PostMessageW(window, WM_APP_INDEX_CHANGED, 0, 0); });
  }
  ChangeNotifierThread* notifier = changeNotifier.get();
  index.changedCallback = [notifier] { notifier->Notify(); };
  // Lives as long as the window, and is dropped (OnDestroy) once the live
  // update that calls it has stopped.
  ResultSet* shown = results.get();
  index.renumberedCallback = [shown](const std::vector<uint32_t>& oldToNew, uint32_t count) {
    shown->Renumber(oldToNew, count);
  };
  StartLiveUpdate(index, ReadFlag(kCreateChangeJournal, kDefaultCreateChangeJournal));
}

void MainWindow::RebuildDriveChecks() {
  driveChecks.clear();
  checkedDrives.clear();
  std::set<char16_t> drives;
  {
    FileIndex& index = GetIndex();
    std::lock_guard hold(index.drivesMutex);
    drives = index.drives;
  }
  if (drives.empty()) return;
  auto button = [this](const wchar_t* text, DWORD style, int id) {
    HWND control =
        ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd,
                          reinterpret_cast<HMENU>(INT_PTR(id)), AppInstance(), nullptr);
    ::SendMessageW(control, WM_SETFONT, WPARAM(uiFont.Get()), TRUE);
    return control;
  };
  int i = 0;
  for (char16_t letter : drives) {
    if (IDC_DRIVE_CHECK_FIRST + i > IDC_DRIVE_CHECK_LAST) break;
    const wchar_t text[] = {wchar_t(letter), L':', 0};
    OwnedWindow check(button(text, BS_AUTOCHECKBOX, IDC_DRIVE_CHECK_FIRST + i));
    ::SendMessageW(check.Get(), BM_SETCHECK, BST_CHECKED, 0);
    checkedDrives.insert(letter);
    driveChecks.push_back(std::move(check));
    ++i;
  }
  if (!driveButton) {
    constexpr wchar_t kText[] = L"드라이브 선택...";
    driveButton.Reset(button(kText, 0, IDC_DRIVE_BUTTON));
    SIZE extent{};
    if (HDC dc = ::GetDC(driveButton.Get())) {
      HGDIOBJ old = ::SelectObject(dc, uiFont.Get());
      ::GetTextExtentPoint32W(dc, kText, int(std::size(kText) - 1), &extent);
      ::SelectObject(dc, old);
      ::ReleaseDC(driveButton.Get(), dc);
    }
    driveButtonWidth = view::DriveButtonWidth(extent.cx, DpiForWindow(hwnd));
  }
  Layout();
}

void MainWindow::OnDriveCheckChanged() {
  checkedDrives.clear();
  std::set<char16_t> drives;
  {
    FileIndex& index = GetIndex();
    std::lock_guard hold(index.drivesMutex);
    drives = index.drives;
  }
  size_t i = 0;
  for (char16_t letter : drives) {
    if (i < driveChecks.size() &&
        ::SendMessageW(driveChecks[i].Get(), BM_GETCHECK, 0, 0) == BST_CHECKED)
      checkedDrives.insert(letter);
    ++i;
  }
  searchTimer.Stop();
  SearchFromWindow();
}

void MainWindow::ShowProgressWindow() {
  CloseProgressWindow();
  progress = std::make_shared<ProgressWindow>();
  progress->instance = AppInstance();
  progress->owner = hwnd;
  HWND dialog = ::CreateDialogParamW(AppInstance(), MAKEINTRESOURCEW(IDD_PROGRESS), hwnd,
                                     ProgressDialogProc, LPARAM(progress.get()));
  if (dialog == nullptr) return;
  progress->dialog = dialog;
  progress->textControl = ::GetDlgItem(dialog, IDC_PROGRESS_TEXT);
  progress->progressBar = ::GetDlgItem(dialog, IDC_PROGRESS_BAR);
  if (HWND bar = progress->progressBar) {
    ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
    ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
  }
  RECT owner{};
  RECT box{};
  ::GetWindowRect(hwnd, &owner);
  ::GetWindowRect(dialog, &box);
  const int x = owner.left + ((owner.right - owner.left) - (box.right - box.left)) / 2;
  const int y = owner.top + ((owner.bottom - owner.top) - (box.bottom - box.top)) / 2;
  ::SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE);
  ::ShowWindow(dialog, SW_SHOW);
  ::UpdateWindow(dialog);
}

void MainWindow::CloseProgressWindow() {
  if (!progress) return;
  if (HWND dialog = progress->dialog.load()) {
    ::SetForegroundWindow(progress->owner);
    ::DestroyWindow(dialog);  // clears progress->dialog on its way out
  }
  progress.reset();
}

}  // namespace zw::app

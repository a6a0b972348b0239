#include "app/main_window.h"

#include <windows.h>

#include <commctrl.h>

#include "app/dpi.h"
#include "app/wide_text.h"
#include "engine/file_index.h"
#include "live/change_notifier.h"
#include "live/live_update.h"
#include "settings/settings.h"
#include "view/layout.h"
#include "view/status_text.h"

namespace zw::app {

namespace {

HINSTANCE g_instance = nullptr;

constexpr const wchar_t* kTypeFilterTexts[kTypeCategoryCount] = {L"폴더 + 파일 (전체)",
                                                                 L"모든 폴더만",
                                                                 L"모든 파일만",
                                                                 L"문서 (doc,pdf,txt,xlsx)",
                                                                 L"이미지 (jpg,png,gif,bmp)",
                                                                 L"동영상 (mp4,avi,mkv,mov)",
                                                                 L"음악 (mp3,flac,wav,aac)",
                                                                 L"실행파일 (exe,dll,msi)",
                                                                 L"압축파일 (zip,rar,7z,tar)"};

constexpr const wchar_t* kColumnHeaders[kColumnCount] = {L"파일명", L"경로", L"크기", L"수정일"};

HFONT MakeUiFont(int height) {
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void Place(HWND control, const view::Box& box) {
  ::SetWindowPos(control, nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER);
}

}  // namespace

HINSTANCE AppInstance() {
  return g_instance;
}
void SetAppInstance(HINSTANCE instance) {
  g_instance = instance;
}

MainWindow::MainWindow() {
  ::LoadStringW(g_instance, IDS_APP_TITLE, titleText, 100);
  ::LoadStringW(g_instance, IDC_ZANDERWYN, classNameText, 100);
}

MainWindow::~MainWindow() {
  // Normally gone already (closed by the user); otherwise it goes now, while
  // every member its messages touch is still here.
  if (hwnd != nullptr) ::DestroyWindow(hwnd);
  CloseProgressWindow();
}

bool MainWindow::Create(int showCommand) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = g_instance;
  wc.hIcon = ::LoadIconW(g_instance, MAKEINTRESOURCEW(IDI_ZANDERWYN));
  wc.hIconSm = ::LoadIconW(g_instance, MAKEINTRESOURCEW(IDI_SMALL));
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = MAKEINTRESOURCEW(IDC_ZANDERWYN);
  wc.lpszClassName = classNameText;
  ::RegisterClassExW(&wc);  // a second window of the process finds it registered

  const uint32_t dpi = GetSystemDpi();
  const int width = view::ScaleForDpi(960, dpi);
  const int height = view::ScaleForDpi(600, dpi);
  HWND created = ::CreateWindowExW(0, classNameText, titleText, WS_OVERLAPPEDWINDOW, 0, 0, width,
                                   height, nullptr, nullptr, g_instance, this);
  if (created == nullptr) return false;
  hwnd = created;

  RECT frame{};
  ::GetWindowRect(hwnd, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int x = work.left + ((work.right - work.left) - (frame.right - frame.left)) / 2;
  const int y = work.top + ((work.bottom - work.top) - (frame.bottom - frame.top)) / 2;
  ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
  ::ShowWindow(hwnd, showCommand);
  ::UpdateWindow(hwnd);
  return true;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam) noexcept {
  MainWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(self));
    if (self != nullptr) self->hwnd = window;
  } else {
    self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (self == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  try {
    const LRESULT result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->ForgetDestroyedWindows();
    }
    return result;
  } catch (...) {
    // Nothing escapes into the system: a command that could not finish
    // (no memory, no thread) leaves the window as it stands.
    return message == WM_NCCREATE ? TRUE : 0;
  }
}

void MainWindow::OnCreate() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  const UINT dpi = DpiForWindow(hwnd);
  auto scaled = [dpi](int v) { return view::ScaleForDpi(v, dpi); };
  uiFont.Reset(MakeUiFont(scaled(18)));
  searchFont.Reset(MakeUiFont(scaled(24)));

  auto child = [&](DWORD exStyle, const wchar_t* cls, DWORD style, int id, int height, HFONT font) {
    HWND control = ::CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, height, hwnd,
                                     reinterpret_cast<HMENU>(INT_PTR(id)), g_instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, WPARAM(font), TRUE);
    return control;
  };
  searchEdit = child(WS_EX_CLIENTEDGE, L"EDIT", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                     IDC_SEARCH_EDIT, 0, searchFont.Get());
  ::SendMessageW(searchEdit, EM_SETCUEBANNER, TRUE, LPARAM(L"검색어 입력..."));
  HookControl(searchEdit, SearchEditProc, searchEditHook, this);
  typeCombo =
      child(0, L"COMBOBOX", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST,
            IDC_TYPE_COMBO, 200, uiFont.Get());
  for (const wchar_t* text : kTypeFilterTexts)
    ::SendMessageW(typeCombo, CB_ADDSTRING, 0, LPARAM(text));
  ::SendMessageW(typeCombo, CB_SETCURSEL, 0, 0);
  // Shared: the list shows the system's image list, which is not its to destroy.
  resultList = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW,
                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                         LVS_SHOWSELALWAYS | LVS_OWNERDATA | LVS_SHAREIMAGELISTS,
                     IDC_RESULT_LIST, 0, uiFont.Get());
  ::SendMessageW(resultList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  HookControl(resultList, ListProc, listHook, this);
  InitIcons();
  for (int c = 0; c < int(kColumnCount); ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = scaled(view::kColumnWidths[c]);
    column.pszText = const_cast<wchar_t*>(kColumnHeaders[c]);
    column.iSubItem = c;
    ::SendMessageW(resultList, LVM_INSERTCOLUMNW, WPARAM(c), LPARAM(&column));
  }
  statusBar = child(0, STATUSCLASSNAMEW, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, IDC_STATUS_BAR, 0,
                    uiFont.Get());
  SetStatus(view::kStatusReady);

  searcher.reset();  // its workers go before the results they fill
  results = std::make_unique<ResultSet>();
  searcher = std::make_unique<Searcher>(ReadFlag(kParallelSearch, kDefaultParallelSearch),
                                        ReadFlag(kProgressiveSearch, kDefaultProgressiveSearch));

  sortColumn = ReadSortColumn();
  sortDescending = ReadFlag(kSortDescending, kDefaultSortDescending);
  foldersFirst = ReadFlag(kFoldersFirst, kDefaultFoldersFirst);
  initialConsonantSearch = ReadFlag(kInitialConsonantSearch, kDefaultInitialConsonantSearch);
  UpdateSortMenu();
  searchDebounce = ReadFlag(kSearchDebounce, kDefaultSearchDebounce);

  Layout();
  focusBeforeDeactivation = searchEdit;
  ::SetFocus(searchEdit);
}

void MainWindow::Layout() {
  if (searchEdit == nullptr) return;
  RECT client{};
  ::GetClientRect(hwnd, &client);
  ::SendMessageW(statusBar, WM_SIZE, 0, 0);
  RECT bar{};
  ::GetWindowRect(statusBar, &bar);
  const view::MainLayout layout =
      view::ComputeMainLayout(client.right, client.bottom, DpiForWindow(hwnd), bar.bottom - bar.top,
                              driveChecks.size(), driveButton ? driveButtonWidth : 0);
  Place(searchEdit, layout.searchEdit);
  Place(typeCombo, layout.typeCombo);
  for (size_t i = 0; i < driveChecks.size(); ++i)
    Place(driveChecks[i].Get(), layout.driveChecks[i]);
  if (driveButton) Place(driveButton.Get(), layout.driveButton);
  Place(resultList, layout.resultList);
}

void MainWindow::OnDestroy() {
  FileIndex& index = GetIndex();
  StopLiveUpdate();
  changeNotifier.reset();  // its thread posts to this window
  index.changedCallback = nullptr;
  index.renumberedCallback = nullptr;
  RequestStop(index);
  JoinIndexThread(index);
  // The run's callables point at this window: nothing may call them later.
  index.progressCallback = nullptr;
  index.driveDoneCallback = nullptr;
  index.completeCallback = nullptr;
  if (searcher) searcher->StopAll();
  JoinListBuilder();
  searchTimer.Stop();
  sweepTimer.Stop();
  ::PostQuitMessage(0);
}

void MainWindow::ForgetDestroyedWindows() {
  // The system has destroyed every child and owned window with this one.
  for (OwnedWindow& check : driveChecks) check.Release();
  driveChecks.clear();
  driveButton.Release();
  searchTimer.Forget();
  sweepTimer.Forget();
  hwnd = searchEdit = typeCombo = resultList = statusBar = focusBeforeDeactivation = nullptr;
}

}  // namespace zw::app

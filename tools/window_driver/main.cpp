// Drives a running Zanderwyn.exe from outside, the way a user would, for
// `make run` without a display: answers the drive dialog, types a search,
// waits for the list to fill, and later closes the window. Only messages
// that every system carries between processes are used (BM_CLICK, WM_CHAR,
// WM_GETTEXT, LVM_GETITEMCOUNT, WM_CLOSE).
//
//   zw-window-driver search TEXT   answer the dialog (OK), type TEXT, wait
//   zw-window-driver close         close the main window
// Exit status 0 on success; 1 with a message when something did not appear
// within its time.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>

namespace {

constexpr DWORD kWaitMs = 120000;

bool WaitFor(const std::function<bool()>& done, const char* what) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (::GetTickCount() - start > kWaitMs) {
      std::fprintf(stderr, "zw-window-driver: gave up waiting for %s\n", what);
      return false;
    }
    ::Sleep(50);
  }
  return true;
}

HWND MainWindow() {
  return ::FindWindowW(L"ZANDERWYN", nullptr);
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 256, LPARAM(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

// "1234개 항목", the status once a list is shown.
bool ShowsItemCount(HWND status) {
  const std::wstring text = TextOf(status);
  const size_t tail = text.find(L"개 항목");
  return tail != std::wstring::npos && tail > 0 && tail + 4 == text.size() &&
         text.find_first_not_of(L"0123456789") == tail;
}

int Search(const wchar_t* text) {
  HWND dialog = nullptr;
  if (!WaitFor([&] { return (dialog = ::FindWindowW(L"#32770", L"인덱싱할 드라이브 선택")); },
               "the drive dialog"))
    return 1;
  // A click that arrives while the dialog is still being set up can be lost
  // (seen under load), so press OK once it is shown, and again until it goes.
  const auto pressOk = [&] {
    if (!::IsWindow(dialog)) return true;
    if (::IsWindowVisible(dialog))
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     LPARAM(::GetDlgItem(dialog, IDOK)));
    ::Sleep(1000);
    return !::IsWindow(dialog);
  };
  if (!WaitFor(pressOk, "the drive dialog to close")) return 1;
  HWND window = MainWindow();
  HWND status = ::GetDlgItem(window, 1004);
  HWND edit = ::GetDlgItem(window, 1001);
  HWND list = ::GetDlgItem(window, 1003);
  // The progress dialog closes when the run ends; the count that follows is
  // the list of every entry.
  if (!WaitFor([&] { return !::FindWindowW(L"#32770", L"인덱싱 중...") && ShowsItemCount(status); },
               "the list of every entry"))
    return 1;
  const std::wstring everything = TextOf(status);
  for (const wchar_t* c = text; *c; ++c) ::PostMessageW(edit, WM_CHAR, WPARAM(*c), 1);
  if (!WaitFor(
          [&] {
            return TextOf(edit) == text && ShowsItemCount(status) && TextOf(status) != everything &&
                   ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0;
          },
          "the search results"))
    return 1;
  ::Sleep(500);  // let the list paint its rows and icons
  const std::wstring shown = TextOf(status) + L"\n";
  char utf8[1024];
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, shown.data(), int(shown.size()), utf8,
                                      int(sizeof utf8), nullptr, nullptr);
  std::fwrite(utf8, 1, size_t(n > 0 ? n : 0), stdout);
  return 0;
}

int Close() {
  HWND window = MainWindow();
  if (window == nullptr) return 0;
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  return WaitFor([] { return MainWindow() == nullptr; }, "the window to close") ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"search") == 0) return Search(argv[2]);
  if (argc == 2 && std::wcscmp(argv[1], L"close") == 0) return Close();
  std::fprintf(stderr, "usage: zw-window-driver search TEXT | close\n");
  return 2;
}

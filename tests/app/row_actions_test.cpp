// The window's everyday habits: where the keyboard focus goes, the keys
// between the search box and the list, the row menu, copying a path and
// dragging a row out, each driven by the messages the user's action makes.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_ids.h"
#include "app/drive_select_dialog.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "view/status_text.h"

namespace zw::app::test {
namespace {

// Answers the next popup menu shown on this thread, from a timer, while the
// menu's own loop runs: reads its items, then types `key` into it (a
// mnemonic, or Escape to dismiss it).
class MenuWatch {
 public:
  explicit MenuWatch(wchar_t key) : key_(key) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 20, OnTimer);
  }
  ~MenuWatch() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  MenuWatch(const MenuWatch&) = delete;
  MenuWatch& operator=(const MenuWatch&) = delete;
  int Seen() const { return seen_; }
  const std::vector<std::wstring>& Items() const { return items_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) noexcept {
    MenuWatch* self = current_;
    HWND menu = nullptr;
    while ((menu = ::FindWindowExW(HWND_DESKTOP, menu, L"#32768", nullptr)) != nullptr &&
           !::IsWindowVisible(menu)) {
    }
    if (self == nullptr || menu == nullptr || menu == self->answered_ || !::IsWindowVisible(menu))
      return;
    self->answered_ = menu;
    ++self->seen_;
    self->items_.clear();
    HMENU items = HMENU(::SendMessageW(menu, MN_GETHMENU, 0, 0));
    for (int i = 0; i < ::GetMenuItemCount(items); ++i) {
      wchar_t text[64] = {};
      ::GetMenuStringW(items, UINT(i), text, 64, MF_BYPOSITION);
      self->items_.push_back(text);
    }
    if (self->key_ == VK_ESCAPE) {
      ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      ::PostMessageW(menu, WM_CHAR, self->key_, 0);
    }
  }
  static inline MenuWatch* current_ = nullptr;
  wchar_t key_;
  UINT_PTR timer_ = 0;
  HWND answered_ = nullptr;
  int seen_ = 0;
  std::vector<std::wstring> items_;
};

std::wstring ClipboardText() {
  if (!::OpenClipboard(nullptr)) return L"(clipboard not open)";
  std::wstring text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) text = chars;
    ::GlobalUnlock(data);
  }
  ::CloseClipboard();
  return text;
}

using Asked = std::pair<view::OpenAction, std::wstring>;

class RowActions : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fake_.Add(u'C', {{u"C:\\Work", true},
                     {u"C:\\Work\\report.txt"},
                     {u"C:\\report.pdf"},
                     {u"C:\\H\\report."},  // Win32 would read it as C:\H\report
                     {u"C:\\notes.md"}});
  }
  // Rows: C:\H\report. (refused), C:\report.pdf, C:\Work\report.txt.
  void OpenOnReports() {
    OpenIndexed({u'C'});
    Type(u"report");
    ASSERT_PUMP_UNTIL(Status() == u"3개 항목", "the three reports");
    Settle();
  }
  HWND List() const { return Control(IDC_RESULT_LIST); }
  HWND Edit() const { return Control(IDC_SEARCH_EDIT); }
  int Selected() const {
    return int(::SendMessageW(List(), LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
  }
  // The right button pressed and released over `row` (or below the rows).
  void RightClick(int row) {
    ::RedrawWindow(Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    ListView_GetItemRect(List(), row < 0 ? 0 : row, &r, LVIR_LABEL);
    const int y = row < 0 ? r.bottom + 20 * (r.bottom - r.top) : (r.top + r.bottom) / 2;
    const LPARAM at = MAKELPARAM(r.left + 2, y);
    // Where the message says the cursor was: the list asks for the menu there.
    POINT screen{r.left + 2, y};
    ::ClientToScreen(List(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    ::PostMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    ::PostMessageW(List(), WM_RBUTTONUP, 0, at);
    Settle();
  }
};

TEST_F(RowActions, FocusIsInTheSearchBoxAfterEachDialogAndReturnsToTheControlThatHadIt) {
  Open([](HWND dialog) { Click(dialog, IDCANCEL); });
  Settle();
  EXPECT_EQ(::GetFocus(), Edit()) << "after the drive dialog";
  wchar_t cue[32] = {};
  ::SendMessageW(Edit(), EM_GETCUEBANNER, WPARAM(cue), 32);
  EXPECT_STREQ(cue, L"검색어 입력...");

  ChooseDrives();
  WaitForList();
  EXPECT_EQ(::GetFocus(), Edit()) << "after the progress dialog";

  ::SetFocus(List());
  DialogWatch about(
      L"정보 Zanderwyn", [](HWND dialog) { Click(dialog, IDOK); }, 1);
  Command(IDM_ABOUT);  // deactivates the window until it is answered
  ASSERT_EQ(about.Seen(), 1);
  Settle();
  EXPECT_EQ(::GetFocus(), List()) << "after the window was active again";
  ::SetFocus(Main());
  EXPECT_EQ(::GetFocus(), List()) << "the window itself takes no keys";
}

TEST_F(RowActions, KeysMoveBetweenBoxAndListAndOpenTheSelectedRowAsADoubleClickDoes) {
  OpenOnReports();
  ASSERT_EQ(::GetFocus(), Edit());
  Key(VK_DOWN);
  EXPECT_EQ(::GetFocus(), List());
  EXPECT_EQ(Selected(), 0);
  Key(VK_RETURN);  // refused, as a double click is
  EXPECT_EQ(Status(), view::kStatusOpenAlteredPath);
  Key(VK_DOWN);  // the list's own
  EXPECT_EQ(Selected(), 1);
  Key(VK_RETURN);
  Key(VK_RETURN, /*control=*/true);
  EXPECT_EQ(opened_, (std::vector<Asked>{{view::OpenAction::kOpen, L"C:\\report.pdf"},
                                         {view::OpenAction::kShowInFolder, L"C:\\report.pdf"}}));
  window_->shellOpen = [](view::OpenAction, const std::wstring&) { return ShellResult::kFailed; };
  Key(VK_RETURN);
  EXPECT_EQ(Status(), u"열 수 없습니다: C:\\report.pdf");

  Key(VK_UP);
  EXPECT_EQ(::GetFocus(), List());
  Key(VK_UP);  // on the first row
  EXPECT_EQ(::GetFocus(), Edit());
  Key(VK_NEXT);
  EXPECT_EQ(::GetFocus(), List());
  EXPECT_EQ(Selected(), 0);
  Key(VK_ESCAPE);
  EXPECT_EQ(::GetFocus(), Edit());
  DWORD from = 1, to = 0;
  ::SendMessageW(Edit(), EM_GETSEL, WPARAM(&from), LPARAM(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, 6u);  // "report", to be typed over

  Type(u"nothing like it");
  ASSERT_PUMP_UNTIL(Status() == u"0개 항목", "an empty list");
  Key(VK_DOWN);
  EXPECT_EQ(::GetFocus(), Edit());
}

TEST_F(RowActions, RowMenuAndCtrlCActOnTheRowAimedAt) {
  OpenOnReports();
  {
    MenuWatch menu(L'c');
    RightClick(2);
    ASSERT_EQ(menu.Seen(), 1) << "the menu of a right click";
    EXPECT_EQ(menu.Items(),
              (std::vector<std::wstring>{L"열기(&O)", L"폴더 열기(&F)", L"전체 경로 복사(&C)"}));
  }
  EXPECT_EQ(Selected(), 2);
  EXPECT_EQ(ClipboardText(), L"C:\\Work\\report.txt");

  ::SetFocus(List());
  Key(VK_UP);
  Key('C', /*control=*/true);
  EXPECT_EQ(ClipboardText(), L"C:\\report.pdf");
  {
    MenuWatch menu(L'f');
    Key(VK_F10, /*control=*/false, /*shift=*/true);
    EXPECT_EQ(menu.Seen(), 1) << "the menu of Shift+F10";
  }
  {
    MenuWatch menu(L'o');
    Key(VK_APPS);
    EXPECT_EQ(menu.Seen(), 1) << "the menu of the menu key";
  }
  EXPECT_EQ(opened_, (std::vector<Asked>{{view::OpenAction::kShowInFolder, L"C:\\report.pdf"},
                                         {view::OpenAction::kOpen, L"C:\\report.pdf"}}));
  {
    MenuWatch menu(VK_ESCAPE);
    RightClick(-1);  // below the rows
    Pump(200);
    EXPECT_EQ(menu.Seen(), 0);
  }
  EXPECT_EQ(opened_.size(), 2u);
}

TEST_F(RowActions, DraggedRowIsOfferedAsAFileToCopyOrLinkOnly) {
  wchar_t folder[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring path = std::wstring(folder) + L"zw-drag.txt";
  FILE* file = _wfopen(path.c_str(), L"w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  fake_.Add(u'C', {{FromWide(path)}});
  OpenIndexed({u'C'});
  std::vector<std::pair<DWORD, std::wstring>> dragged;
  window_->dragOut = [&](IDataObject& data, DWORD effects) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    std::wstring file;
    if (SUCCEEDED(data.GetData(&format, &medium))) {
      auto drop = static_cast<HDROP>(medium.hGlobal);
      wchar_t name[MAX_PATH] = {};
      if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1)
        ::DragQueryFileW(drop, 0, name, MAX_PATH);
      file = name;
      ::ReleaseStgMedium(&medium);
    }
    dragged.emplace_back(effects, file);
  };
  ::RedrawWindow(Main(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT r{};
  ListView_GetItemRect(Control(IDC_RESULT_LIST), 0, &r, LVIR_LABEL);
  const int y = (r.top + r.bottom) / 2;
  ::SendMessageW(Control(IDC_RESULT_LIST), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 2, y));
  ::SendMessageW(Control(IDC_RESULT_LIST), WM_MOUSEMOVE, MK_LBUTTON,
                 MAKELPARAM(r.left + 60, y + 40));
  ::SendMessageW(Control(IDC_RESULT_LIST), WM_LBUTTONUP, 0, MAKELPARAM(r.left + 60, y + 40));
  ::DeleteFileW(path.c_str());
  ASSERT_EQ(dragged.size(), 1u);
  EXPECT_EQ(dragged[0].first, DWORD(DROPEFFECT_COPY | DROPEFFECT_LINK));
  EXPECT_EQ(dragged[0].second, path);
}

}  // namespace
}  // namespace zw::app::test

// The window itself: accelerators, layout at the system's DPI, minimising,
// and closing while workers still run.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/app_ids.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "engine/file_index.h"
#include "settings/settings.h"

namespace zw::app::test {
namespace {

std::vector<std::u16string> ChildTexts(HWND dialog) {
  std::vector<std::u16string> texts;
  for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT))
    texts.push_back(WindowText(c));
  return texts;
}

class Window : public WindowTest {
 protected:
  void OpenWithoutDrives() {
    Open([](HWND dialog) { Click(dialog, IDCANCEL); });
    Settle();
  }
};

TEST_F(Window, AltQuestionMarkAndAltSlashOpenTheAboutBox) {
  OpenWithoutDrives();
  std::vector<std::u16string> texts;
  DialogWatch about(L"정보 Zanderwyn", [&](HWND dialog) {
    texts = ChildTexts(dialog);
    Click(dialog, IDOK);
  });
  // What a keyboard gives for Alt with a character: Alt held, WM_SYSCHAR.
  auto altChar = [](HWND target, wchar_t c) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_MENU] = 0x80;
    ::SetKeyboardState(keys);
    ::PostMessageW(target, WM_SYSCHAR, c, 0x20000000);
    Settle();
    keys[VK_MENU] = 0;
    ::SetKeyboardState(keys);
  };
  ::SetFocus(Main());
  altChar(Main(), L'?');
  EXPECT_PUMP_UNTIL(about.Seen() == 1, "the about box from Alt+? in the window");
  // Where the focus usually is: the search box.
  ::SetFocus(Control(IDC_SEARCH_EDIT));
  altChar(Control(IDC_SEARCH_EDIT), L'/');
  EXPECT_PUMP_UNTIL(about.Seen() == 2, "the about box from Alt+/ in the search box");
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"Zanderwyn, 버전 1.0"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"확인"), texts.end());
  altChar(Main(), L'x');  // no other key does it
  Pump(100);
  EXPECT_EQ(about.Seen(), 2);
}

// The sizes of the window at 96 DPI and, when the harness sets it, at 144.
TEST_F(Window, LayoutAndColumnsScaleWithTheSystemDpi) {
  struct Expected {
    int dpi, width, height, uiFont, searchFont, m, h, c;
    int columns[4];
  };
  const Expected table[] = {{96, 960, 600, 18, 24, 10, 36, 200, {250, 400, 100, 150}},
                            {144, 1440, 900, 27, 36, 15, 54, 300, {375, 600, 150, 225}}};
  OpenWithoutDrives();
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (const char* wanted = std::getenv("ZW_WINE_DPI")) EXPECT_EQ(dpi, std::atoi(wanted));
  const Expected* e = nullptr;
  for (const Expected& row : table)
    if (row.dpi == dpi) e = &row;
  ASSERT_NE(e, nullptr) << "no figures for " << dpi << " DPI";

  RECT frame{};
  ::GetWindowRect(Main(), &frame);
  EXPECT_EQ(frame.right - frame.left, e->width);
  EXPECT_EQ(frame.bottom - frame.top, e->height);
  auto fontHeight = [](HWND control) {
    LOGFONTW font{};
    ::GetObjectW(HFONT(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
  };
  EXPECT_EQ(fontHeight(Control(IDC_RESULT_LIST)), e->uiFont);
  EXPECT_EQ(fontHeight(Control(IDC_SEARCH_EDIT)), e->searchFont);
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(::SendMessageW(Control(IDC_RESULT_LIST), LVM_GETCOLUMNWIDTH, c, 0), e->columns[c]);

  RECT client{};
  ::GetClientRect(Main(), &client);
  const RECT edit = ChildRect(Control(IDC_SEARCH_EDIT));
  EXPECT_EQ(edit.left, e->m);
  EXPECT_EQ(edit.top, e->m);
  EXPECT_EQ(edit.right - edit.left, client.right - 3 * e->m - e->c);
  EXPECT_EQ(edit.bottom - edit.top, e->h);
  const RECT combo = ChildRect(Control(IDC_TYPE_COMBO));
  EXPECT_EQ(combo.left, client.right - e->c - e->m);
  EXPECT_EQ(combo.right - combo.left, e->c);
  const RECT list = ChildRect(Control(IDC_RESULT_LIST));
  const RECT status = ChildRect(Control(IDC_STATUS_BAR));
  EXPECT_EQ(list.top, e->h + 2 * e->m);  // no drive row yet
  EXPECT_EQ(list.bottom, status.top - e->m);
  EXPECT_EQ(list.right, client.right - e->m);
}

TEST_F(Window, MinimisedWindowIsNotLaidOut) {
  OpenWithoutDrives();
  ::SetWindowPos(Main(), nullptr, 0, 0, 800, 500, SWP_NOMOVE | SWP_NOZORDER);
  const RECT before = ChildRect(Control(IDC_RESULT_LIST));
  ::ShowWindow(Main(), SW_MINIMIZE);
  Settle();
  RECT list{};
  ::GetWindowRect(Control(IDC_RESULT_LIST), &list);
  EXPECT_EQ(list.right - list.left, before.right - before.left);
  EXPECT_EQ(list.bottom - list.top, before.bottom - before.top);
  ::ShowWindow(Main(), SW_RESTORE);
  ::SetWindowPos(Main(), nullptr, 0, 0, 900, 560, SWP_NOMOVE | SWP_NOZORDER);
  RECT client{};
  ::GetClientRect(Main(), &client);
  const RECT restored = ChildRect(Control(IDC_RESULT_LIST));
  EXPECT_EQ(restored.right, client.right - (restored.left));
  EXPECT_GT(restored.right - restored.left, before.right - before.left);
}

// Closing must wait for the workers: a search still scanning would
// otherwise fill a result set that is gone and post to a dead window.
TEST_F(Window, ClosingStopsTheSearchesStillRunning) {
  SetSetting(kFastSearch, 0);  // a scan of every name: long enough to be caught running
  std::vector<FakeFile> many;
  for (int i = 0; i < 200000; ++i) many.push_back({u"C:\\d\\f" + FromWide(std::to_wstring(i))});
  fake_.Add(u'C', std::move(many));
  OpenIndexed({u'C'});
  Searcher* searcher = window_->SearchEngine();
  {
    SlowWrite journal(GetIndex(), 300);
    Type(u"f1");
    journal.Begin();
    ASSERT_TRUE(searcher->running.load()) << "the scan ended before the window closed";
    ::DestroyWindow(Main());
    EXPECT_FALSE(searcher->running.load());
  }
}

}  // namespace
}  // namespace zw::app::test

// The result list as the user reads it: rows and cells after typing, the
// type filter, the drive check boxes, sorting, icons and double clicks.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>

#include "app/app_ids.h"
#include "app/drive_select_dialog.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "engine/file_index.h"
#include "settings/settings.h"
#include "support/alloc_failure.h"
#include "view/status_text.h"

namespace zw::app::test {
namespace {

constexpr uint64_t kMarch2024 = 133537431590000000ull;  // 2024-03-01 05:05:59 UTC

// The date cell as the system's own local-time conversion gives it.
std::u16string LocalDate(uint64_t filetime) {
  FILETIME ft{DWORD(filetime), DWORD(filetime >> 32)};
  SYSTEMTIME utc, local;
  ::FileTimeToSystemTime(&ft, &utc);
  ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  wchar_t text[32];
  std::swprintf(text, 32, L"%04d-%02d-%02d %02d:%02d", local.wYear, local.wMonth, local.wDay,
                local.wHour, local.wMinute);
  return FromWide(text);
}

int ShellIcon(const wchar_t* name, DWORD attributes) {
  SHFILEINFOW info{};
  ::SHGetFileInfoW(name, attributes, &info, sizeof info,
                   SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return info.iIcon;
}

class Results : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    fake_.Add(u'C', {{u"C:\\Work", true, 4096, kMarch2024},
                     {u"C:\\Work\\report.txt", false, 1536, kMarch2024},
                     {u"C:\\Work\\a b.txt", false, 0, kMarch2024},
                     {u"C:\\report.pdf", false, 1048576, kMarch2024 + 600000000},
                     {u"C:\\Photos", true},
                     {u"C:\\Photos\\report.jpg", false, 20},
                     {u"C:\\README", false, 7},
                     {u"C:\\Report.PDF", false, 3},
                     {u"C:\\clip.ts", false, 2},
                     {u"C:\\shortcut.lnk", false, 1},
                     {u"C:\\photos.jpg", true}});
    fake_.Add(u'Z', {{u"Z:\\report.doc", false, 5000}});
  }
  // What begins a double click: the press on the row, as the list gets it,
  // once the user could see the rows (or before they were drawn).
  void Press(int row, bool drawn = true) {
    HWND list = Control(IDC_RESULT_LIST);
    if (drawn) ::UpdateWindow(list);
    RECT r{};
    ListView_GetItemRect(list, row, &r, LVIR_LABEL);
    const LPARAM at = MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2);
    ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(list, WM_LBUTTONUP, 0, at);
  }
  void DoubleClick(int row, int column) {
    Press(row);
    Notify(NM_DBLCLK, row, column);
  }
  void Search(std::u16string_view text, const std::u16string& status) {
    Type(text);
    EXPECT_PUMP_UNTIL(Status() == status, "the status " << ToWide(status).c_str());
    Settle();
  }
};

TEST_F(Results, TypingListsTheMatchesWithTheirCells) {
  OpenIndexed({u'C', u'Z'});
  EXPECT_EQ(Status(), u"12개 항목");
  Search(u"report", u"5개 항목");
  // By name, ordinal: capitals first.
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"Report.PDF", u"report.doc", u"report.jpg",
                                                    u"report.pdf", u"report.txt"}));
  EXPECT_EQ(Cell(4, 1), u"C:\\Work");
  EXPECT_EQ(Cell(4, 2), u"1.5 KB");
  EXPECT_EQ(Cell(4, 3), LocalDate(kMarch2024));
  EXPECT_EQ(Cell(3, 1), u"C:");
  EXPECT_EQ(Cell(3, 2), u"1.0 MB");
  EXPECT_EQ(Cell(3, 3), LocalDate(kMarch2024 + 600000000));  // a minute later
  EXPECT_EQ(Cell(1, 1), u"Z:");

  Search(u"WORK", u"1개 항목");  // names match without regard to ASCII case
  EXPECT_EQ(Cell(0, 0), u"Work");
  EXPECT_EQ(Cell(0, 2), u"<DIR>");
  Search(u"", u"12개 항목");
}

TEST_F(Results, AFailedSearchSaysSoAndKeepsTheList) {
  OpenIndexed({u'C', u'Z'});
  Search(u"report", u"5개 항목");
  const std::vector<std::u16string> shown = Column(0);
  zw::test::FailAllocationsOfOtherThreads(true);
  ::SendMessageW(Control(IDC_SEARCH_EDIT), WM_CHAR, L's', 1);  // "reports": one search
  const bool failed = PumpUntil([&] { return Status() == view::kStatusSearchFailed; });
  zw::test::FailAllocationsOfOtherThreads(false);
  ASSERT_TRUE(failed) << "waited for the failure; status " << ToWide(Status()).c_str();
  Settle();
  EXPECT_EQ(Column(0), shown);
  Search(u"photos", u"2개 항목");
}

TEST_F(Results, TypeFilterOffersNineKindsAndLimitsTheList) {
  OpenIndexed({u'C', u'Z'});
  HWND combo = Control(IDC_TYPE_COMBO);
  const wchar_t* expected[] = {L"폴더 + 파일 (전체)",
                               L"모든 폴더만",
                               L"모든 파일만",
                               L"문서 (doc,pdf,txt,xlsx)",
                               L"이미지 (jpg,png,gif,bmp)",
                               L"동영상 (mp4,avi,mkv,mov)",
                               L"음악 (mp3,flac,wav,aac)",
                               L"실행파일 (exe,dll,msi)",
                               L"압축파일 (zip,rar,7z,tar)"};
  ASSERT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 9);
  for (int i = 0; i < 9; ++i) {
    wchar_t text[64] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, i, LPARAM(text));
    EXPECT_STREQ(text, expected[i]);
  }
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);

  auto select = [&](int kind) {
    ::SendMessageW(combo, CB_SETCURSEL, kind, 0);
    Command(IDC_TYPE_COMBO, CBN_SELCHANGE);
  };
  select(1);  // folders, with an empty text: every folder at once
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"Photos", u"Work", u"photos.jpg"}));
  select(0);
  Search(u"report", u"5개 항목");
  select(3);  // documents
  EXPECT_PUMP_UNTIL(Status() == u"4개 항목", "the documents");
  Settle();
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"Report.PDF", u"report.doc", u"report.pdf",
                                                    u"report.txt"}));
}

TEST_F(Results, DriveCheckBoxesLimitTheListToTickedDrives) {
  OpenIndexed({u'C', u'Z'});
  HWND c = Control(IDC_DRIVE_CHECK_FIRST);
  HWND z = Control(IDC_DRIVE_CHECK_FIRST + 1);
  ASSERT_TRUE(c && z);
  EXPECT_EQ(WindowText(c), u"C:");
  EXPECT_EQ(WindowText(z), u"Z:");
  EXPECT_EQ(::SendMessageW(c, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendMessageW(z, BM_GETCHECK, 0, 0), BST_CHECKED);
  HWND button = Control(IDC_DRIVE_BUTTON);
  ASSERT_NE(button, nullptr);
  EXPECT_GT(ChildRect(button).left, ChildRect(z).right);

  ::SendMessageW(c, BM_CLICK, 0, 0);
  ::SendMessageW(z, BM_CLICK, 0, 0);
  EXPECT_EQ(Rows(), 0);
  ::SendMessageW(z, BM_CLICK, 0, 0);
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"report.doc"}));

  // A new run ticks every drive again.
  DialogWatch again(
      kDriveDialogTitle, [](HWND dialog) { Click(dialog, IDOK); }, 1);
  ::SendMessageW(button, BM_CLICK, 0, 0);
  ASSERT_EQ(again.Seen(), 1) << "the drive dialog from the button";
  ASSERT_EQ(Status(), view::kStatusIndexing) << "a run started by the button";
  WaitForList();
  EXPECT_EQ(::SendMessageW(Control(IDC_DRIVE_CHECK_FIRST), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(Rows(), 12);
}

TEST_F(Results, SortMenuAndHeaderClicksAreStoredAndKeepFoldersFirst) {
  OpenIndexed({u'C'});
  EXPECT_TRUE(MenuChecked(IDM_SORT_NAME));
  EXPECT_TRUE(MenuChecked(IDM_SORT_ASCENDING));
  EXPECT_TRUE(MenuChecked(IDM_FOLDERS_FIRST));
  Search(u"o", u"8개 항목");  // Work, Photos, photos.jpg, report.*, shortcut.lnk

  Command(IDM_SORT_SIZE);
  EXPECT_EQ(ReadDword(kSortColumn, 9), 2u);
  EXPECT_TRUE(MenuChecked(IDM_SORT_SIZE));
  EXPECT_FALSE(MenuChecked(IDM_SORT_NAME));
  EXPECT_EQ(Cell(3, 0), u"shortcut.lnk");  // after the three folders, the smallest file
  EXPECT_EQ(Cell(7, 0), u"report.pdf");

  Command(IDM_SORT_DESCENDING);
  EXPECT_EQ(ReadDword(kSortDescending, 9), 1u);
  EXPECT_TRUE(MenuChecked(IDM_SORT_DESCENDING));
  EXPECT_EQ(Cell(2, 2), u"<DIR>");  // folders stay on top
  EXPECT_EQ(Cell(3, 0), u"report.pdf");

  Command(IDM_FOLDERS_FIRST);
  EXPECT_EQ(ReadDword(kFoldersFirst, 9), 0u);
  EXPECT_FALSE(MenuChecked(IDM_FOLDERS_FIRST));
  EXPECT_EQ(Cell(0, 0), u"report.pdf");
  Command(IDM_FOLDERS_FIRST);

  Notify(LVN_COLUMNCLICK, -1, 2);  // the sort column again: the other direction
  EXPECT_EQ(ReadDword(kSortDescending, 9), 0u);
  EXPECT_TRUE(MenuChecked(IDM_SORT_ASCENDING));
  Notify(LVN_COLUMNCLICK, -1, 2);
  EXPECT_EQ(ReadDword(kSortDescending, 9), 1u);
  Notify(LVN_COLUMNCLICK, -1, 1);  // another column: ascending, direction kept in store
  EXPECT_EQ(ReadDword(kSortColumn, 9), 1u);
  EXPECT_EQ(ReadDword(kSortDescending, 9), 1u);
  EXPECT_TRUE(MenuChecked(IDM_SORT_PATH));
  EXPECT_TRUE(MenuChecked(IDM_SORT_ASCENDING));
  EXPECT_EQ(Cell(0, 1), u"C:");  // C:\Photos
}

// A name copied from a Mac (jamo) is found by the syllables shown, and
// leading consonants find both until the 보기 menu turns them off.
TEST_F(Results, HangulIsFoundAsShownAndInitialConsonantsFollowTheMenu) {
  const std::u16string mac = u"\u1107\u1169\u1100\u1169\u1109\u1165_mac.pdf";
  fake_.Add(u'Z', {{u"Z:\\보고서_2024.docx", false, 1},
                   {u"Z:\\" + mac, false, 2},
                   {u"Z:\\ㅂㄱㅅ 메모.txt", false, 3},
                   {u"Z:\\사진.jpg", false, 4}});
  OpenIndexed({u'Z'});  // Wine's own drive letter, with these names
  EXPECT_TRUE(MenuChecked(IDM_INITIAL_CONSONANTS));
  wchar_t item[32] = {};
  ::GetMenuStringW(::GetMenu(Main()), IDM_INITIAL_CONSONANTS, item, 32, MF_BYCOMMAND);
  EXPECT_STREQ(item, L"초성 검색");
  Search(u"보고서", u"2개 항목");
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{mac, u"보고서_2024.docx"}));
  Search(u"ㅂㄱㅅ", u"3개 항목");
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{mac, u"ㅂㄱㅅ 메모.txt", u"보고서_2024.docx"}));

  Command(IDM_INITIAL_CONSONANTS);  // searches again
  EXPECT_EQ(ReadDword(kInitialConsonantSearch, 9), 0u);
  EXPECT_FALSE(MenuChecked(IDM_INITIAL_CONSONANTS));
  EXPECT_PUMP_UNTIL(Status() == u"1개 항목", "the literal name alone");
  Settle();
  EXPECT_EQ(Column(0), std::vector<std::u16string>{u"ㅂㄱㅅ 메모.txt"});
  Command(IDM_INITIAL_CONSONANTS);
  EXPECT_EQ(ReadDword(kInitialConsonantSearch, 9), 1u);
  EXPECT_PUMP_UNTIL(Status() == u"3개 항목", "the initials again");
}

TEST_F(Results, DebounceSearchesOnceAfterTheLastKeystroke) {
  SetSetting(kSearchDebounce, 1);
  OpenIndexed({u'C'});
  HWND edit = Control(IDC_SEARCH_EDIT);
  // Keystrokes 20 ms apart must give one search. A machine that stalls for
  // the whole delay between two of them has typed slowly, so the typing is
  // tried again rather than judged.
  std::string gaps;  // of the attempts, for the failure's message
  for (int attempt = 0; attempt < 10; ++attempt) {
    auto isSearch = [&](const MSG& m) { return m.hwnd == Main() && m.wParam == IDT_SEARCH; };
    if (attempt > 0) {
      MessageRecorder emptied(WM_TIMER);
      Type(u"");
      ASSERT_PUMP_UNTIL(std::any_of(emptied.Seen().begin(), emptied.Seen().end(), isSearch),
                        "the search for the emptied box");
    }
    MessageRecorder timers(WM_TIMER);
    DWORD last = ::GetTickCount();
    bool quick = true;
    for (wchar_t c : std::wstring(L"repor")) {
      const DWORD now = ::GetTickCount();
      quick = quick && now - last + 10 < kSearchDebounceMs;
      gaps += std::to_string(now - last) + " ";
      last = now;
      ::SendMessageW(edit, WM_CHAR, WPARAM(c), 1);
      Pump(20);
    }
    EXPECT_PUMP_UNTIL(Status() == u"4개 항목", "the debounced search");
    Pump(150);  // a second search would come within this
    gaps += "ms; ";
    if (!quick) continue;
    const auto searches = std::count_if(timers.Seen().begin(), timers.Seen().end(), isSearch);
    EXPECT_EQ(searches, 1);
    return;
  }
  FAIL() << "no attempt typed the keystrokes within the delay: " << gaps;
}

TEST_F(Results, IconsFollowTheFastIconsOption) {
  for (uint32_t fast : {1u, 0u}) {
    SCOPED_TRACE(fast ? "fast icons" : "icons by extension");
    SetSetting(kFastIcons, fast);
    OpenIndexed({u'C'});
    const int file = ShellIcon(L"file", FILE_ATTRIBUTE_NORMAL);
    auto iconOf = [&](const std::u16string& name) {
      Type(name);
      EXPECT_PUMP_UNTIL(Rows() >= 1 && Cell(0, 0) == name, "the row " << ToWide(name).c_str());
      return Image(0);
    };
    EXPECT_EQ(iconOf(u"README"), file);
    EXPECT_EQ(iconOf(u"photos.jpg"), ShellIcon(L"folder", FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(iconOf(u"Report.PDF"), ShellIcon(fast ? L"*.txt" : L"*.pdf", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(iconOf(u"clip.ts"), ShellIcon(fast ? L"*.mp4" : L"*.ts", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(iconOf(u"shortcut.lnk"), fast ? file : ShellIcon(L"*.lnk", FILE_ATTRIBUTE_NORMAL));
    Close();
  }
}

TEST_F(Results, DoubleClickAsksTheShellToOpenTheEntryOrShowItInItsFolder) {
  OpenIndexed({u'C'});
  Search(u"a b", u"1개 항목");
  DoubleClick(0, 1);
  DoubleClick(0, 0);
  DoubleClick(5, 0);  // no such row
  using Asked = std::pair<view::OpenAction, std::wstring>;
  EXPECT_EQ(opened_, (std::vector<Asked>{{view::OpenAction::kShowInFolder, L"C:\\Work\\a b.txt"},
                                         {view::OpenAction::kOpen, L"C:\\Work\\a b.txt"}}));
  // Nothing runs as the user here: nothing runs at all, and the user is told.
  window_->shellOpen = [](view::OpenAction, const std::wstring&) {
    return ShellResult::kNoUserShell;
  };
  DoubleClick(0, 0);
  EXPECT_EQ(Status(), view::kStatusOpenNoUserShell);
}

TEST_F(Results, DoubleClickActsOnlyOnTheEntryPressed) {
  OpenIndexed({u'C'});
  Search(u"a b", u"1개 항목");
  Press(0);
  Type(u"README");  // the row holds another entry by the time the click completes
  ASSERT_PUMP_UNTIL(Rows() == 1 && Cell(0, 0) == u"README", "the row README");
  Notify(NM_DBLCLK, 0, 0);
  // Rows re-sorted but not drawn yet: the press was aimed at what was there before.
  Command(IDM_SORT_SIZE);
  Press(0, false);
  Notify(NM_DBLCLK, 0, 0);
  EXPECT_TRUE(opened_.empty());
}

TEST_F(Results, NamesWin32WouldReadAsAnotherFileAreRefused) {
  const std::u16string asked = u"C:\\H\\evil, & %PATH% ^;'.txt";
  fake_.Add(u'C', {{u"C:\\H", true},
                   {asked},
                   {u"C:\\H\\say \"evil\".txt"},
                   {u"C:\\H\\evil\\", false, 0, 0, u"evil\\"},
                   {u"C:\\H\\x\\evil.exe", false, 0, 0, u"x\\evil.exe"},
                   {u"C:\\H\\evil."},
                   {u"C:\\H\\evil "},
                   {u"C:\\H\\evil" + std::u16string(1, u'\0') + u".txt"},
                   {u"C:\\H\\evil\x1b[2J.txt"}});
  OpenIndexed({u'C'});
  Search(u"evil", u"8개 항목");
  int refused = 0;
  for (int row = 0; row < Rows(); ++row) {
    ::SendMessageW(Control(IDC_STATUS_BAR), SB_SETTEXTW, 0, LPARAM(L""));
    DoubleClick(row, 0);
    if (Status() == view::kStatusOpenAlteredPath) ++refused;
  }
  EXPECT_EQ(refused, 7);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].second, ToWide(asked));
}

}  // namespace
}  // namespace zw::app::test

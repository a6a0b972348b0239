// Start-up, the drive dialog and an indexing run with its progress dialog.
#include <cstdlib>

#include "app/app_ids.h"
#include "app/drive_select_dialog.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "engine/file_index.h"
#include "settings/settings.h"
#include "view/status_text.h"

namespace zw::app::test {
namespace {

std::vector<FakeFile> SomeFiles(char16_t letter, int count) {
  std::vector<FakeFile> files;
  for (int i = 0; i < count; ++i)
    files.push_back(
        {std::u16string(1, letter) + u":\\f" + std::u16string(1, char16_t(u'a' + i)) + u".txt"});
  return files;
}

using DriveDialog = WindowTest;

TEST_F(DriveDialog, OpensOverTheShownWindowTickedFromTheStoredSelection) {
  ASSERT_TRUE(SaveSelectedDrives({u'D'}));
  bool mainVisible = false;
  std::map<std::wstring, bool> atOpen, allTicked, noneTicked;
  std::u16string selectAll, selectNone;
  Open([&](HWND dialog) {
    mainVisible = ::IsWindowVisible(window_->Window()) != 0;
    selectAll = WindowText(::GetDlgItem(dialog, kSelectAllId));
    selectNone = WindowText(::GetDlgItem(dialog, kSelectNoneId));
    atOpen = DriveRows(dialog);
    Click(dialog, kSelectAllId);
    allTicked = DriveRows(dialog);
    Click(dialog, kSelectNoneId);
    noneTicked = DriveRows(dialog);
    SetDriveRow(dialog, L"C:\\", true);
    Click(dialog, IDOK);
  });
  EXPECT_TRUE(mainVisible);
  EXPECT_EQ(selectAll, u"전체 선택");
  EXPECT_EQ(selectNone, u"선택 해제");
  ASSERT_TRUE(atOpen.count(L"C:\\") && atOpen.count(L"D:\\")) << "Wine's C: and the bound D:";
  EXPECT_TRUE(atOpen[L"D:\\"]);
  EXPECT_FALSE(atOpen[L"C:\\"]);
  for (const auto& [root, ticked] : allTicked) EXPECT_TRUE(ticked) << root;  // all NTFS here
  for (const auto& [root, ticked] : noneTicked) EXPECT_FALSE(ticked) << root;
  EXPECT_EQ(LoadSelectedDrives(), (std::set<char16_t>{u'C'}));
  EXPECT_EQ(ReadDword(kFirstRunComplete, 0), 1u);
}

TEST_F(DriveDialog, FirstUseTicksEveryNtfsDrive) {
  std::map<std::wstring, bool> atOpen;
  Open([&](HWND dialog) {
    atOpen = DriveRows(dialog);
    Click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(atOpen[L"C:\\"]);
  EXPECT_TRUE(atOpen[L"D:\\"]);
}

TEST_F(DriveDialog, CancelAtStartAsksForDrivesAndStoresNothing) {
  ASSERT_TRUE(SaveSelectedDrives({u'D'}));
  Open([](HWND dialog) {
    SetDriveRow(dialog, L"D:\\", false);
    Click(dialog, IDCANCEL);
  });
  Settle();
  EXPECT_EQ(Status(), u"드라이브를 선택하세요 (메뉴 → 드라이브 선택)");
  EXPECT_EQ(LoadSelectedDrives(), (std::set<char16_t>{u'D'}));
  EXPECT_EQ(FindDialog(L"인덱싱 중..."), nullptr);
}

class IndexingRun : public WindowTest {
 protected:
  // A run over C: that holds at C: until released (or stopped).
  void OpenHeldAtC(int files) {
    fake_.Add(u'C', SomeFiles(u'C', files));
    fake_.Gate(u'C');
    ASSERT_TRUE(SaveSelectedDrives({u'C'}));
    Open();
    ASSERT_PUMP_UNTIL(fake_.Waiting(), "the run to reach C:");
  }
};

TEST_F(IndexingRun, ReadsTheBoundVolumeWithTheProgressDialog) {
  if (!std::getenv("ZW_WINE_DRIVE")) GTEST_FAIL() << "tests/wine/run.sh binds an image as D:";
  ASSERT_TRUE(SaveSelectedDrives({u'D'}));
  bool progressShown = false;
  Open([&](HWND dialog) { Click(dialog, IDOK); });
  // Without a fake drive the volume itself is read.
  ASSERT_PUMP_UNTIL(FindDialog(L"인덱싱 중...") != nullptr || Rows() > 0, "the run to start");
  progressShown = FindDialog(L"인덱싱 중...") != nullptr;
  WaitForList();
  EXPECT_TRUE(progressShown);
  const uint64_t entries = EntryReadView(GetIndex().entries).entries().size();
  ASSERT_GT(entries, 100u);
  EXPECT_EQ(Status(), std::u16string(u"") + view::ItemCountText(entries));
  EXPECT_EQ(Rows(), int(entries));
  HWND check = Control(IDC_DRIVE_CHECK_FIRST);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(ToWide(WindowText(check)), L"D:");
  EXPECT_EQ(::SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(ToWide(WindowText(Control(IDC_DRIVE_BUTTON))), L"드라이브 선택...");
  // Folders first, by name: the first row is a folder on D:.
  EXPECT_EQ(Cell(0, 2), u"<DIR>");
  EXPECT_EQ(Cell(0, 1).substr(0, 2), u"D:");
}

TEST_F(IndexingRun, ProgressReachesTheStatusAndTheDialogAndCancelStopsTheRun) {
  fake_.Add(u'C', SomeFiles(u'C', 3));
  fake_.Add(u'Z', SomeFiles(u'Z', 4));
  fake_.Gate(u'Z');
  ASSERT_TRUE(SaveSelectedDrives({u'C', u'Z'}));
  ASSERT_TRUE(WriteDword(kFirstRunComplete, 1));
  Open();
  ASSERT_PUMP_UNTIL(fake_.Waiting(), "the run to reach Z:");
  HWND progress = FindDialog(L"인덱싱 중...");
  ASSERT_NE(progress, nullptr);
  HWND text = ::GetDlgItem(progress, IDC_PROGRESS_TEXT);
  EXPECT_PUMP_UNTIL(Status() == u"Z: 1회성 스캔 중... 123456개 레코드", "the scan progress");
  EXPECT_PUMP_UNTIL(WindowText(text) == u"Z: 드라이브 스캔 중... 123456개 레코드",
                    "the dialog's progress");

  Click(progress, IDC_PROGRESS_CANCEL);
  EXPECT_EQ(WindowText(text), u"취소 중...");
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(progress, IDC_PROGRESS_CANCEL)));
  WaitForList();  // the run stops at its next report, with what it had
  EXPECT_FALSE(::IsWindow(progress));
  EXPECT_EQ(Status(), u"3개 항목");
  EXPECT_EQ(Rows(), 3);
}

// Each drive is listed as soon as it is done, while the next is read.
TEST_F(IndexingRun, FinishedDriveIsListedDuringTheRun) {
  fake_.Add(u'C', SomeFiles(u'C', 3));
  fake_.Add(u'Z', SomeFiles(u'Z', 4));
  fake_.Gate(u'Z');
  ASSERT_TRUE(SaveSelectedDrives({u'C', u'Z'}));
  MessageRecorder driveDone(WM_APP_DRIVE_INDEXED);
  Open();
  ASSERT_PUMP_UNTIL(fake_.Waiting() && !driveDone.Seen().empty(), "C: to be done");
  Settle();
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"fa.txt", u"fb.txt", u"fc.txt"}));
  EXPECT_EQ(Cell(0, 1), u"C:");
  Type(u"fb");
  EXPECT_PUMP_UNTIL(Rows() == 1 && Cell(0, 0) == u"fb.txt", "a search during the run");
  fake_.Release();
  WaitForList();
  EXPECT_EQ(Rows(), 7)
      << ToWide(Status()).c_str();  // the list of every entry, whatever the box holds
}

TEST_F(IndexingRun, ClosingTheProgressDialogOnlyAsksToStop) {
  OpenHeldAtC(2);
  HWND progress = FindDialog(L"인덱싱 중...");
  ASSERT_NE(progress, nullptr);
  ::SendMessageW(progress, WM_CLOSE, 0, 0);
  EXPECT_TRUE(::IsWindowVisible(progress));  // open until the run has ended
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(progress, IDC_PROGRESS_CANCEL)));
  WaitForList();
  EXPECT_EQ(Status(), u"0개 항목");
}

// A run stopped by a new drive choice can report its end after the next run
// has begun; that report must not end the new run's progress or list its
// half-built index.
TEST_F(IndexingRun, CompletionOfAStoppedRunIsIgnored) {
  OpenHeldAtC(5);
  MessageRecorder completions(WM_APP_INDEXING_DONE);
  ChooseDrives();  // stops the first run, then starts the second
  ASSERT_EQ(completions.Seen().size(), 1u) << "the stopped run's completion";
  ASSERT_PUMP_UNTIL(fake_.Waiting(), "the second run");
  const MSG stale = completions.Seen()[0];
  ::PostMessageW(Main(), stale.message, stale.wParam, stale.lParam);
  Settle();
  EXPECT_NE(FindDialog(L"인덱싱 중..."), nullptr);
  EXPECT_EQ(Status().find(u"인덱싱 완료"), std::u16string::npos) << ToWide(Status()).c_str();

  fake_.Release();
  WaitForList();
  EXPECT_EQ(Rows(), 5);
}

}  // namespace
}  // namespace zw::app::test

// The list while the index follows the change journals: each run's live
// update on its own entries, and rows for files that appear or disappear.
#include <algorithm>
#include <mutex>
#include <string>

#include "app/app_ids.h"
#include "app/drive_select_dialog.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "engine/file_index.h"
#include "live/live_test_support.h"
#include "live/usn_monitor.h"
#include "settings/settings.h"
#include "support/wait.h"

namespace zw::app::test {
namespace {

class Live : public WindowTest {
 protected:
  void TearDown() override {
    WindowTest::TearDown();
    GetUsnMonitor().SetDeviceFactory(platform::OpenSystemUsnJournal);
  }
  // What the live update follows, for a failure's message.
  static std::string LiveState() {
    FileIndex& index = GetIndex();
    std::string text = "drives of the run: ";
    {
      std::lock_guard hold(index.drivesMutex);
      for (char16_t letter : index.drives) text += char(letter);
    }
    uint64_t run = 0;
    {
      const EntryReadView hold(index.entries);
      run = index.Run(hold).number;
    }
    const UsnMonitor& monitor = GetUsnMonitor();
    text += monitor.IsRunning() ? ", monitor running" : ", monitor stopped";
    text += ", id map of run " + std::to_string(monitor.IdMapTag()) + " (index at run " +
            std::to_string(run) + "), " + std::to_string(monitor.Stats().reads.load()) + " reads";
    return text;
  }
  size_t CountOf(const std::u16string& name) {
    const auto names = Column(0);
    return size_t(std::count(names.begin(), names.end(), name));
  }
};

// After a second run the journal threads must follow the new drives with
// entry numbers of the new index: left running from the first run they
// would apply changes to whatever entries now sit at the old numbers.
TEST_F(Live, EachRunFollowsItsOwnDrivesWithAFreshIdMap) {
  zw::test::Journals journals;
  journals[u'C'];
  journals[u'Z'];
  GetUsnMonitor().SetDeviceFactory(journals.Factory());
  fake_.Add(u'C', {{u"C:\\one.txt"}, {u"C:\\two.txt"}, {u"C:\\three.txt"}});
  fake_.Add(u'Z', {{u"Z:\\a.txt"}, {u"Z:\\b.txt"}, {u"Z:\\c.txt"}, {u"Z:\\d.txt"}});
  OpenIndexed({u'C'});
  ASSERT_PUMP_UNTIL(GetUsnMonitor().IdCount() == 3, "the first run's live update");

  ChooseDrives({{L"C:\\", false}, {L"Z:\\", true}});
  WaitForList();
  ASSERT_PUMP_UNTIL(journals[u'Z']->ReadCount() > 0, "Z:'s journal to be read; " << LiveState());
  EXPECT_EQ(GetUsnMonitor().IdCount(), 4u);

  // Z:\b.txt is entry 1 of the second run (record 101, see FakeDrives).
  journals[u'Z']->Append(zw::test::Record(
      zw::test::Ref(101), zw::test::Ref(5),
      platform::kUsnReasonRenameNewName | platform::kUsnReasonClose, u"renamed.txt"));
  EXPECT_PUMP_UNTIL(CountOf(u"renamed.txt") == 1, "the rename on Z:");
  EXPECT_EQ(CountOf(u"b.txt"), 0u);
  EXPECT_EQ(CountOf(u"two.txt"), 0u);
}

TEST_F(Live, FullListGainsNewFilesAndLosesDeletedOnes) {
  fake_.Add(u'C', {{u"C:\\one.txt"}, {u"C:\\two.txt"}, {u"C:\\three.txt"}});
  OpenIndexed({u'C'});
  FileIndex& index = GetIndex();
  AppendLive(index, {u"C:\\four.txt"});
  DeleteLive(index, 1);
  ::SendMessageW(Main(), WM_APP_INDEX_CHANGED, 0, 0);
  EXPECT_PUMP_UNTIL(Rows() == 3, "the deleted file's row to go");
  EXPECT_EQ(Status(), u"3개 항목");
  EXPECT_EQ(CountOf(u""), 0u) << "a row for the deleted file";
  EXPECT_EQ(Cell(2, 0), u"four.txt");  // appended at the end, unsorted
}

// With a text in the box and no search running, a new file is searched for
// again: it shows without a rebuild, by every kind of query.
TEST_F(Live, NewFileShowsInTheSearchThatIsShown) {
  zw::test::Journals journals;
  journals[u'C'];
  GetUsnMonitor().SetDeviceFactory(journals.Factory());
  fake_.Add(u'C', {{u"C:\\one.xyz"}, {u"C:\\two.txt"}});
  OpenIndexed({u'C'});
  ASSERT_PUMP_UNTIL(journals[u'C']->ReadCount() > 0, "C:'s journal to be read");
  Type(u"*.xyz");
  EXPECT_PUMP_UNTIL(Status() == u"1개 항목", "the first search");
  journals[u'C']->Append(zw::test::Record(
      zw::test::Ref(900), zw::test::Ref(5),
      platform::kUsnReasonFileCreate | platform::kUsnReasonClose, u"brandnew.xyz"));
  EXPECT_PUMP_UNTIL(Status() == u"2개 항목", "the search again after the change");
  EXPECT_EQ(CountOf(u"brandnew.xyz"), 1u);
  for (const char16_t* text : {u"brandn*", u"*new.xyz", u"andne"}) {
    Type(text);
    EXPECT_PUMP_UNTIL(Status() == u"1개 항목" && Cell(0, 0) == u"brandnew.xyz",
                      "the new file found by " << ToWide(text).c_str());
  }
}

// A search typed as soon as the run is done takes the list over before the
// list of every entry arrives; the journal must be followed all the same.
TEST_F(Live, SearchTypedRightAfterTheRunStillFollowsTheJournal) {
  zw::test::Journals journals;
  journals[u'C'];
  GetUsnMonitor().SetDeviceFactory(journals.Factory());
  std::vector<FakeFile> many;
  for (int i = 0; i < 100000; ++i) many.push_back({u"C:\\d\\f" + FromWide(std::to_wstring(i))});
  fake_.Add(u'C', std::move(many));
  ASSERT_TRUE(SaveSelectedDrives({u'C'}));
  MessageRecorder done(WM_APP_INDEXING_DONE);
  Open();
  ASSERT_PUMP_UNTIL(!done.Seen().empty(), "the end of the run");
  Type(u"f99999");  // before the list builder has delivered
  EXPECT_PUMP_UNTIL(journals[u'C']->ReadCount() > 0, "C:'s journal to be read");
  EXPECT_PUMP_UNTIL(Status() == u"1개 항목", "the search");
}

// The search a drive's announcement starts is overtaken by the list of every
// entry while it scans: it delivers nothing, yet must not be taken for a
// search still to come, or no later change would search again.
TEST_F(Live, ChangeAfterASearchOvertakenByTheFullListIsSearchedFor) {
  SetSetting(kFastSearch, 0);  // a scan of every name: long enough to be held up
  zw::test::Journals journals;
  journals[u'C'];
  GetUsnMonitor().SetDeviceFactory(journals.Factory());
  std::vector<FakeFile> many;
  for (int i = 0; i < 100000; ++i)
    many.push_back({u"C:\\d\\a-rather-long-name-to-scan-" + FromWide(std::to_wstring(i))});
  many.push_back({u"C:\\d\\needle.dat"});
  fake_.Add(u'C', std::move(many));
  fake_.Gate(u'C');
  ASSERT_TRUE(SaveSelectedDrives({u'C'}));
  Open();
  ASSERT_PUMP_UNTIL(fake_.Waiting(), "the run to reach C:");
  Type(u"needle");  // nothing to search yet
  fake_.Release();
  // The drive's announcement and the end of the run, taken from the queue
  // and handled one at a time, with the search held in its scan in between.
  MSG indexed{};
  MSG runDone{};
  ASSERT_TRUE(zw::test::PollUntil(
      [&] {
        return ::PeekMessageW(&runDone, Main(), WM_APP_INDEXING_DONE, WM_APP_INDEXING_DONE,
                              PM_REMOVE) != FALSE;
      },
      "the run's end"));
  ASSERT_TRUE(
      ::PeekMessageW(&indexed, Main(), WM_APP_DRIVE_INDEXED, WM_APP_DRIVE_INDEXED, PM_REMOVE));
  // Whether the hold gets in before the scan ends is up to the scheduler:
  // announce the drive again until it does.
  bool caught = false;
  for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
    SlowWrite hold(GetIndex(), 300);
    ::DispatchMessageW(&indexed);
    hold.Begin();
    caught = window_->SearchEngine()->running.load();
    ::DispatchMessageW(&runDone);
  }
  ASSERT_TRUE(caught) << "every scan ended before the hold";
  ASSERT_PUMP_UNTIL(journals[u'C']->ReadCount() > 0, "C:'s journal to be read; " << LiveState());
  journals[u'C']->Append(
      zw::test::Record(zw::test::Ref(900), zw::test::Ref(5),
                       platform::kUsnReasonFileCreate | platform::kUsnReasonClose, u"needle.txt"));
  EXPECT_PUMP_UNTIL(Status() == u"2개 항목" && CountOf(u"needle.txt") == 1,
                    "the new file in the search shown");
}

// A file that appears while a search runs: the search may find it itself,
// so adding it to what the search delivers could show it twice.
TEST_F(Live, FileAddedDuringARunningSearchShowsOnce) {
  SetSetting(kFastSearch, 0);  // a scan of every name: long enough to be caught running
  std::vector<FakeFile> many;
  for (int i = 0; i < 100000; ++i) many.push_back({u"C:\\d\\f" + FromWide(std::to_wstring(i))});
  many.push_back({u"C:\\d\\needle.dat"});
  fake_.Add(u'C', std::move(many));
  OpenIndexed({u'C'});
  FileIndex& index = GetIndex();
  // Whether the writer gets in before the scan ends is up to the scheduler:
  // on a busy machine try again, with another file, until it does.
  std::vector<std::u16string> expected{u"needle.dat"};
  bool caught = false;
  for (int attempt = 0; attempt < 10 && !caught; ++attempt) {
    const std::u16string name = u"needle" + FromWide(std::to_wstring(attempt)) + u".txt";
    expected.push_back(name);
    SlowWrite journal(index, 300,
                      [&](EntryStore& store) { AppendLiveLocked(store, {u"C:\\" + name}); });
    Type(attempt % 2 == 0 ? u"needle" : u"needl");  // a new text starts a new search
    journal.Begin();
    caught = window_->SearchEngine()->running.load();
    ::SendMessageW(Main(), WM_APP_INDEX_CHANGED, 0, 0);
  }
  ASSERT_TRUE(caught) << "every scan ended before the writer got in";
  const std::u16string status = FromWide(std::to_wstring(expected.size())) + u"개 항목";
  EXPECT_PUMP_UNTIL(!window_->SearchEngine()->running.load() && Status() == status,
                    "the search, and the one after it");
  Settle();
  EXPECT_EQ(Column(0), expected);
}

}  // namespace
}  // namespace zw::app::test

// Live update across indexing runs: what changed while a drive was being
// indexed arrives afterwards, and a later run's entries get the changes that
// are theirs, on the drives that run chose.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <shared_mutex>

#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "live_test_support.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "search/name_index.h"
#include "settings/settings.h"
#include "support/entry_views.h"
#include "support/memory_registry.h"
#include "support/scripted_drives.h"
#include "support/test_paths.h"

namespace zw {
namespace {

using platform::ScriptedJournal;
using platform::UseMemoryRegistry;
using platform::UsnJournalFactory;
using test::Record;
using test::Ref;
constexpr uint32_t kCreate = test::kCreateClose;
constexpr uint32_t kDelete = test::kDeleteClose;
constexpr uint32_t kRename = test::kRenameClose;

class LiveAcrossRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    UseMemoryRegistry(true);
    for (char16_t d : {u'K', u'L'}) journals[d];
    monitor.SetDeviceFactory(journals.Factory());
  }
  void TearDown() override {
    StopLiveUpdate(monitor);
    platform::UnbindDrive(u'K');
    UseMemoryRegistry(false);
  }
  void Run(const std::set<char16_t>& drives) { script.Run(index, drives, journals.Factory()); }
  // Returns once everything now in the drive's journal has been applied: a
  // read that began after this call has been handled when the next begins.
  void Settle(char16_t letter) {
    ScriptedJournal& j = *journals[letter];
    ASSERT_TRUE(j.WaitForReads(j.ReadCount() + 2))
        << "the monitor of " << char(letter) << ": stopped reading";
  }
  // Entry numbers holding `path`, tombstones never.
  std::vector<uint32_t> At(const std::u16string& path) {
    const EntryReadView hold(index.entries);
    std::vector<uint32_t> out;
    for (const FileEntry& e : hold.entries()) {
      if (e.path == path) out.push_back(e.id);
    }
    return out;
  }
  std::vector<std::u16string> Found(const char16_t* text) {
    std::vector<uint32_t> ids = RunQuery(index.nameIndex, ParseQuery(text));
    const EntryReadView hold(index.entries);
    std::vector<std::u16string> paths;
    for (uint32_t e : ids) paths.push_back(hold.entries()[e].Value().path);
    return paths;
  }

  FileIndex index;
  test::Journals journals;
  UsnMonitor monitor{UsnJournalFactory{}};
  test::ScriptedDrives script;
};

TEST_F(LiveAcrossRuns, ChangesMadeWhileADriveIsIndexedArriveAfterwards) {
  auto& k = journals[u'K'];
  // Before the run: its record 30 was deleted and reused, which the scan sees.
  k->Append(Record(Ref(30), Ref(5), kDelete, u"before.txt"));
  script.files[u'K'] = {{10, 5, u"Work", true},      {11, 10, u"Work\\keep.txt"},
                        {12, 10, u"Work\\old.txt"},  {13, 10, u"Work\\gone.txt"},
                        {14, 10, u"Work\\seen.txt"}, {30, 5, u"reused.txt"}};
  script.whileScanning[u'K'] = [&] {
    k->Append(Record(Ref(20), Ref(10), kCreate, u"new.txt"));  // its record was read already
    k->Append(Record(Ref(12), Ref(10), kRename, u"renamed.txt"));
    k->Append(Record(Ref(13), Ref(10), kDelete, u"gone.txt"));
    // The scan had not reached these yet, so it saw the outcome.
    k->Append(Record(Ref(14), Ref(10), kCreate, u"seen.txt"));
    k->Append(Record(Ref(11), Ref(10), kRename, u"keep.txt"));
    k->Append(Record(Ref(13), Ref(10), kDelete, u"gone.txt"));
  };
  Run({u'K'});
  const size_t scanned = test::Read(index).entries().size();
  StartLiveUpdate(index, monitor);
  Settle(u'K');

  EXPECT_EQ(At(u"K:\\Work\\new.txt").size(), 1u);
  EXPECT_EQ(At(u"K:\\Work\\renamed.txt"), std::vector<uint32_t>{2});
  EXPECT_TRUE(At(u"K:\\Work\\old.txt").empty());
  EXPECT_TRUE(At(u"K:\\Work\\gone.txt").empty());
  EXPECT_EQ(At(u"K:\\Work\\seen.txt"), std::vector<uint32_t>{4});  // not twice
  EXPECT_EQ(At(u"K:\\Work\\keep.txt"), std::vector<uint32_t>{1});
  EXPECT_EQ(At(u"K:\\reused.txt").size(), 1u);  // what came before the run stays out
  EXPECT_EQ(test::Read(index).entries().size(), scanned + 1);
  // Searchable at once, without a rebuild.
  EXPECT_EQ(Found(u"new"), std::vector<std::u16string>{u"K:\\Work\\new.txt"});
  EXPECT_EQ(Found(u"ren*"), std::vector<std::u16string>{u"K:\\Work\\renamed.txt"});
}

TEST_F(LiveAcrossRuns, AJournalThatNoLongerHoldsThePositionIsReadFromItsFirstRecord) {
  test::DebugCapture capture;
  auto& k = journals[u'K'];
  script.files[u'K'] = {{11, 5, u"a.txt"}};
  int64_t held = 0;
  script.whileScanning[u'K'] = [&] {
    k->Append(Record(Ref(20), Ref(5), kCreate, u"lost.txt"));
    held = k->Append(Record(Ref(21), Ref(5), kCreate, u"held.txt"));
  };
  Run({u'K'});
  k->DropRecordsBefore(held);  // the journal wrapped past the position, not past all
  StartLiveUpdate(index, monitor);
  Settle(u'K');
  EXPECT_TRUE(At(u"K:\\lost.txt").empty());
  EXPECT_EQ(At(u"K:\\held.txt").size(), 1u);
  EXPECT_TRUE(
      capture.Has(u"UsnMonitor: Journal of K: no longer holds the changes made while "
                  u"indexing; reading from its first record\n"));
}

// A drive that failed, or that a stop left unread, has no entries for its
// changes to reach: it is not followed.
TEST_F(LiveAcrossRuns, OnlyTheDrivesTheRunIndexedAreFollowed) {
  journals[u'M'];
  monitor.SetDeviceFactory(journals.Factory());
  script.files[u'L'] = {{11, 5, u"a.txt"}};  // K has none: it fails
  script.files[u'M'] = {{11, 5, u"m.txt"}};
  script.whileScanning[u'L'] = [&] { RequestStop(index); };  // M is never reached
  Run({u'K', u'L', u'M'});
  StartLiveUpdate(index, monitor);
  Settle(u'L');
  StopLiveUpdate(monitor);
  EXPECT_EQ(journals[u'K']->ReadCount(), 0u);
  EXPECT_EQ(journals[u'M']->ReadCount(), 0u);
}

// Creating a journal writes to the volume, so it waits for the setting.
TEST_F(LiveAcrossRuns, AJournalIsCreatedOnlyWhenTheSettingAllowsIt) {
  test::DebugCapture capture;
  auto& k = journals[u'K'];
  k->SetActive(false);
  script.files[u'K'] = {{11, 5, u"a.txt"}};
  Run({u'K'});
  StartLiveUpdate(index, monitor);
  StopLiveUpdate(monitor);  // joins the thread: its open has been tried
  EXPECT_FALSE(k->Created());
  EXPECT_TRUE(
      capture.Has(u"OpenUsnJournal: K: has no change journal and CreateChangeJournal is "
                  u"off; the volume is not followed\n"));

  ASSERT_TRUE(WriteDword(kCreateChangeJournal, 1));
  StartLiveUpdate(index, monitor, ReadFlag(kCreateChangeJournal, kDefaultCreateChangeJournal));
  ASSERT_TRUE(k->WaitForReads(1));
  EXPECT_TRUE(k->Created());
}

TEST_F(LiveAcrossRuns, ASecondRunFollowsItsOwnDrivesAndEntryNumbers) {
  auto& k = journals[u'K'];
  auto& l = journals[u'L'];
  script.files[u'K'] = {{40, 5, u"old.txt"}};
  Run({u'K'});
  StartLiveUpdate(index, monitor);
  ASSERT_TRUE(k->WaitForReads(1));

  // The next run: K's contents moved the numbers, and L joined. Changes
  // during it (the first run's monitor still reads) wait for the new map.
  script.files[u'K'] = {{41, 5, u"other.txt"}, {40, 5, u"old.txt"}};
  script.files[u'L'] = {{60, 5, u"l.txt"}, {61, 5, u"m.txt"}};
  script.whileScanning[u'K'] = [&] { k->Append(Record(Ref(40), Ref(5), kRename, u"new.txt")); };
  Run({u'K', u'L'});
  const size_t closed = k->CloseCount();
  StartLiveUpdate(index, monitor);
  ASSERT_EQ(k->CloseCount(), closed + 1);  // the first run's monitor was stopped, not kept
  l->Append(Record(Ref(60), Ref(5), kDelete, u"l.txt"));
  Settle(u'K');
  Settle(u'L');

  EXPECT_EQ(At(u"K:\\new.txt"), std::vector<uint32_t>{1});
  EXPECT_EQ(At(u"K:\\other.txt"), std::vector<uint32_t>{0});
  EXPECT_TRUE(At(u"L:\\l.txt").empty());
  EXPECT_EQ(At(u"L:\\m.txt"), std::vector<uint32_t>{3});
  EXPECT_EQ(test::Read(index).entries().size(), 4u);
}

// Explorer's records for moving a file and a folder into the recycle bin and
// back: the journal names the folder only, never what it holds.
TEST_F(LiveAcrossRuns, AFileOrFolderRestoredFromTheRecycleBinComesBackWithItsContents) {
#ifdef _WIN32
  GTEST_SKIP() << "drive mount points resolve paths only on POSIX";
#endif
  // On disk, as it is once restored; gone.jpg was deleted in the bin.
  const std::string dir = test::ScratchDir("live-restore");
  std::filesystem::create_directories(dir + "/Work/Pics/Old");
  std::ofstream(dir + "/Work/a.txt") << "12345";
  std::ofstream(dir + "/Work/Pics/p.jpg") << "1234567";
  std::ofstream(dir + "/Work/Pics/Old/q.jpg") << "q";
  platform::DriveBinding binding;
  binding.letter = u'K';
  binding.source = dir;
  binding.mountPoint = dir;
  platform::BindDrive(binding);
  auto& k = journals[u'K'];
  script.files[u'K'] = {{10, 5, u"Work", true},
                        {11, 10, u"Work\\a.txt"},
                        {12, 10, u"Work\\Pics", true},
                        {13, 12, u"Work\\Pics\\p.jpg"},
                        {14, 12, u"Work\\Pics\\Old", true},
                        {15, 14, u"Work\\Pics\\Old\\q.jpg"},
                        {16, 12, u"Work\\Pics\\gone.jpg"},
                        {40, 5, u"$Recycle.Bin", true},
                        {41, 40, u"$Recycle.Bin\\S-1-5-21-1-1001", true}};
  Run({u'K'});
  StartLiveUpdate(index, monitor);
  constexpr uint32_t kOld = platform::kUsnReasonRenameOldName;
  constexpr uint32_t kNew = platform::kUsnReasonRenameNewName;
  auto move = [&](uint64_t record, uint64_t from, std::u16string_view oldName, uint64_t to,
                  std::u16string_view newName, bool folder) {
    k->Append(Record(Ref(record), Ref(from), kOld, oldName, folder));
    k->Append(Record(Ref(record), Ref(to), kNew, newName, folder));
    k->Append(Record(Ref(record), Ref(to), kNew | platform::kUsnReasonClose, newName, folder));
  };
  k->Append(Record(Ref(50), Ref(41), kCreate, u"$IA1B2C3.txt"));
  move(11, 10, u"a.txt", 41, u"$RA1B2C3.txt", false);
  k->Append(Record(Ref(51), Ref(41), kCreate, u"$ID4E5F6"));
  move(12, 10, u"Pics", 41, u"$RD4E5F6", true);
  k->Append(Record(Ref(16), Ref(12), kDelete, u"gone.jpg"));
  Settle(u'K');
  EXPECT_TRUE(Found(u"a.txt").empty());
  EXPECT_TRUE(Found(u"q.jpg").empty());

  move(11, 41, u"$RA1B2C3.txt", 10, u"a.txt", false);
  k->Append(Record(Ref(50), Ref(41), kDelete, u"$IA1B2C3.txt"));
  move(12, 41, u"$RD4E5F6", 10, u"Pics", true);
  k->Append(Record(Ref(51), Ref(41), kDelete, u"$ID4E5F6"));
  Settle(u'K');
  EXPECT_EQ(Found(u"a.txt"), std::vector<std::u16string>{u"K:\\Work\\a.txt"});
  EXPECT_EQ(Found(u"q.jpg"), std::vector<std::u16string>{u"K:\\Work\\Pics\\Old\\q.jpg"});
  EXPECT_EQ(Found(u"pics"), std::vector<std::u16string>{u"K:\\Work\\Pics"});
  EXPECT_TRUE(Found(u"gone").empty());
  ASSERT_EQ(At(u"K:\\Work\\Pics\\p.jpg").size(), 1u);
  EXPECT_EQ(test::Read(index).entries()[At(u"K:\\Work\\Pics\\p.jpg")[0]].size(),
            7u);  // read afresh
  EXPECT_EQ(test::Read(index).entries()[At(u"K:\\Work\\a.txt")[0]].size(), 5u);
  // What came back is followed again.
  k->Append(Record(Ref(15), Ref(14), kDelete, u"q.jpg"));
  Settle(u'K');
  EXPECT_TRUE(Found(u"q.jpg").empty());
}

}  // namespace
}  // namespace zw

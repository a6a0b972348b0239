#include <gtest/gtest.h>

#include "live/live_debug.h"
#include "live/usn_monitor.h"
#include "live_test_support.h"

namespace zw {
namespace {

using namespace platform;
using test::Record;
using test::Ref;

constexpr uint32_t kCreate = kUsnReasonFileCreate | kUsnReasonClose;

class UsnMonitorTest : public ::testing::Test {
 protected:
  void StartOn(std::set<char16_t> drives) {
    monitor.SetDeviceFactory(journals.Factory());
    monitor.SetChangeHandler([this](const UsnChange& c) { sink(c); });
    ASSERT_TRUE(monitor.Start(drives));
  }
  void TearDown() override { monitor.Stop(); }

  test::Journals journals;
  test::ChangeSink sink;
  UsnMonitor monitor{UsnJournalFactory{}};
};

std::vector<uint8_t> Bytes(int64_t nextUsn, std::initializer_list<std::vector<uint8_t>> records) {
  std::vector<uint8_t> out(8);
  for (int i = 0; i < 8; ++i) out[size_t(i)] = uint8_t(uint64_t(nextUsn) >> (8 * i));
  for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

TEST_F(UsnMonitorTest, StartAndStopFollowTheirStateRules) {
  auto& j = journals[u'A'];
  EXPECT_FALSE(monitor.Stop());  // idle: nothing to do
  monitor.SetDeviceFactory(journals.Factory());
  EXPECT_FALSE(monitor.Start({}));
  EXPECT_FALSE(monitor.IsRunning());
  ASSERT_TRUE(monitor.Start({u'A'}));
  EXPECT_TRUE(monitor.IsRunning());
  EXPECT_FALSE(monitor.Start({u'A'}));  // already running
  ASSERT_TRUE(j->WaitForReads(1));
  EXPECT_TRUE(monitor.Stop());
  EXPECT_FALSE(monitor.IsRunning());
  EXPECT_FALSE(monitor.Stop());
  EXPECT_GE(j->CancelCount(), 1u);  // a pending read is cut short
  EXPECT_EQ(j->OpenCount(), 1u);
  EXPECT_EQ(j->CloseCount(), 1u);  // and the handle closed
  // Runs again after a stop.
  ASSERT_TRUE(monitor.Start({u'A'}));
  ASSERT_TRUE(j->WaitForReads(j->ReadCount() + 1));
  EXPECT_TRUE(monitor.Stop());
  EXPECT_EQ(j->CloseCount(), 2u);
}

TEST_F(UsnMonitorTest, FollowsTheJournalFromItsEndAndDeliversChanges) {
  test::DebugCapture capture;
  auto& j = journals[u'C'];
  j->Append(Record(Ref(40), Ref(5), kCreate, u"before.txt"));
  StartOn({u'C'});
  ASSERT_TRUE(j->WaitForReads(1));
  j->Append(Record(Ref(41), Ref(5), kUsnReasonFileCreate, u"open.txt"));  // not closing yet
  j->Append(Record(Ref(41), Ref(5), kCreate | kUsnReasonDataExtend, u"open.txt"));
  j->Append(Record(Ref(42), Ref(5), kUsnReasonDataOverwrite | kUsnReasonClose, u"ow.txt"));
  j->Append(Record(Ref(43), Ref(5), kCreate, u"a.db-wal"));
  j->Append(Record(Ref(44), Ref(5), kUsnReasonRenameNewName | kUsnReasonClose, u"new.txt"));
  const auto changes = sink.WaitFor(2);
  monitor.Stop();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].name, u"open.txt");
  EXPECT_EQ(changes[0].kind, UsnChangeKind::Created);
  EXPECT_EQ(changes[0].drive, u'C');
  EXPECT_EQ(changes[1].kind, UsnChangeKind::Renamed);
  EXPECT_EQ(changes[1].fileRef, Ref(44));
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Started monitoring C:\n"));
}

TEST_F(UsnMonitorTest, ShortAndFailedReadsKeepTheStartUsn) {
  auto& j = journals[u'C'];
  j->Append(Record(Ref(40), Ref(5), kCreate, u"old.txt"));
  const int64_t end = j->NextUsn();
  j->QueueRead({false, 0, Bytes(0xDEAD, {})});  // exactly 8 bytes
  j->QueueRead({false, 0, {1, 2, 3}});          // fewer
  j->QueueRead({true, 5, {}});                  // a failure
  StartOn({u'C'});
  ASSERT_TRUE(j->WaitForReads(4));
  j->Append(Record(Ref(45), Ref(5), kCreate, u"after.txt"));
  const auto changes = sink.WaitFor(1);
  const auto starts = j->ReadStarts();
  monitor.Stop();
  ASSERT_GE(starts.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(starts[i], end) << i;
  EXPECT_EQ(changes[0].name, u"after.txt");
  EXPECT_EQ(monitor.Stats().failedReads.load(), 1u);
}

TEST_F(UsnMonitorTest, ADamagedRecordEndsItsBufferButNotTheMonitor) {
  auto& j = journals[u'C'];
  auto good = Record(Ref(40), Ref(5), kCreate, u"good.txt");
  auto shortOne = Record(Ref(41), Ref(5), kCreate, u"short.txt");
  shortOne[0] = 40;  // under 60
  auto afterShort = Record(Ref(42), Ref(5), kCreate, u"never.txt");
  auto tooLong = Record(Ref(43), Ref(5), kCreate, u"long.txt");
  tooLong[1] = 0x10;  // longer than what was returned
  auto badName = Record(Ref(44), Ref(5), kCreate, u"name.txt");
  badName[56] = 0xF0;  // name runs past the record
  j->QueueRead({false, 0, Bytes(0, {good, shortOne, afterShort})});
  j->QueueRead({false, 0, Bytes(0, {tooLong})});
  j->QueueRead({false, 0, Bytes(0, {badName, good})});
  StartOn({u'C'});
  const auto changes = sink.WaitFor(2);
  ASSERT_TRUE(j->WaitForReads(4));
  monitor.Stop();
  ASSERT_EQ(changes.size(), 2u);  // good.txt twice: the records after damage in a buffer are gone
  EXPECT_EQ(changes[0].name, u"good.txt");
  EXPECT_EQ(changes[1].name, u"good.txt");
  EXPECT_EQ(monitor.Stats().damagedRecords.load(), 3u);
  // Each read after records starts where the file system said (0 here: oldest).
  EXPECT_EQ(j->ReadStarts()[3], 0);
}

TEST_F(UsnMonitorTest, AVolumeThatFailsToOpenLeavesTheOthersMonitored) {
  test::DebugCapture capture;
  journals[u'A']->FailOpen(5);
  auto& b = journals[u'B'];
  journals[u'D']->SetActive(false);
  journals[u'D']->FailCreate(19);
  auto& e = journals[u'E'];
  e->SetActive(false);  // no journal yet: one is made
  monitor.AllowJournalCreation(true);
  StartOn({u'A', u'B', u'D', u'E', u'Z'});
  ASSERT_TRUE(b->WaitForReads(1));
  ASSERT_TRUE(e->WaitForReads(1));
  b->Append(Record(Ref(40), Ref(5), kCreate, u"b.txt"));
  e->Append(Record(Ref(40), Ref(5), kCreate, u"e.txt"));
  sink.WaitFor(2);
  EXPECT_TRUE(monitor.IsRunning());
  monitor.Stop();
  EXPECT_TRUE(e->Created());
  EXPECT_EQ(journals[u'D']->CloseCount(), 1u);
  EXPECT_TRUE(capture.Has(u"OpenUsnJournal: CreateFile failed for A: (error=5)\n"));
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Failed to open A: (error=5)\n"));
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Failed to open D: (error=19)\n"));
  EXPECT_FALSE(capture.Has(u"OpenUsnJournal: CreateFile failed for D: (error=19)\n"));
  EXPECT_TRUE(capture.Has(u"OpenUsnJournal: CreateFile failed for Z: (error=2)\n"));
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Started monitoring B:\n"));
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Started monitoring E:\n"));
}

TEST_F(UsnMonitorTest, AJournalThatWrappedIsFollowedFromItsOldestRecord) {
  test::DebugCapture capture;
  auto j = std::make_shared<ScriptedJournal>(77, 4096);
  journals.byLetter[u'C'] = j;
  j->Append(Record(Ref(40), Ref(5), kCreate, u"lost1.txt"));
  j->Append(Record(Ref(41), Ref(5), kCreate, u"lost2.txt"));
  const int64_t kept = j->Append(Record(Ref(42), Ref(5), kCreate, u"kept.txt"));
  j->SetQueryNextUsn(4096);    // the monitor starts at 4096 ...
  j->DropRecordsBefore(kept);  // ... which the journal no longer holds
  StartOn({u'C'});
  const auto changes = sink.WaitFor(1);
  monitor.Stop();
  EXPECT_EQ(changes[0].name, u"kept.txt");
  EXPECT_EQ(monitor.Stats().journalResets.load(), 1u);
  EXPECT_TRUE(capture.Has(u"UsnMonitor: Journal of C: changes from USN 4096 to " +
                          live_debug::Decimal(uint64_t(kept)) + u" are gone; reading on from " +
                          live_debug::Decimal(uint64_t(kept)) + u"\n"));
}

// Deleted, the journal is opened again at every poll (saying so once); made
// anew, it is read from its first record.
TEST_F(UsnMonitorTest, AJournalThatIsGoneIsOpenedAgainAndReadFromItsStart) {
  test::DebugCapture capture;
  auto& j = journals[u'C'];
  StartOn({u'C'});
  ASSERT_TRUE(j->WaitForReads(1));
  j->SetActive(false);
  test::PollUntil([&] { return j->OpenCount() >= 3; }, "the journal to be opened again");
  j->Recreate(0x5EC0D, 8192);
  j->Append(Record(Ref(40), Ref(5), kCreate, u"back.txt"));
  const auto changes = sink.WaitFor(1);
  monitor.Stop();
  EXPECT_EQ(changes[0].name, u"back.txt");
  const auto lines = capture.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       u"UsnMonitor: Journal of C: is gone (error=1179); opening it again at "
                       u"every poll\n"),
            1);
  EXPECT_TRUE(
      capture.Has(u"UsnMonitor: Journal of C: was made anew; reading it from its first "
                  u"record\n"));
}

TEST_F(UsnMonitorTest, HandlerFailuresAndStopFromTheHandlerDoNotEndMonitoring) {
  auto& j = journals[u'C'];
  monitor.SetDeviceFactory(journals.Factory());
  std::atomic<bool> stopResult{true};
  monitor.SetChangeHandler([&](const UsnChange& c) {
    if (c.name == u"throw.txt") throw std::runtime_error("no");
    stopResult = monitor.Stop();  // would wait for itself
    sink(c);
  });
  ASSERT_TRUE(monitor.Start({u'C'}));
  ASSERT_TRUE(j->WaitForReads(1));
  j->Append(Record(Ref(40), Ref(5), kCreate, u"throw.txt"));
  j->Append(Record(Ref(41), Ref(5), kCreate, u"next.txt"));
  sink.WaitFor(1);
  EXPECT_FALSE(stopResult.load());
  EXPECT_TRUE(monitor.IsRunning());
  EXPECT_EQ(monitor.Stats().handlerFailures.load(), 1u);
  EXPECT_TRUE(monitor.Stop());
}

TEST(UsnMonitorIds, MapKeysOnDriveAndRecordNumberOnly) {
  UsnMonitor monitor{UsnJournalFactory{}};
  monitor.SetId(MakeIdKey(u'C', Ref(40, 1)), 7);
  EXPECT_EQ(monitor.FindId(MakeIdKey(u'C', Ref(40, 2))), 7u);  // sequence dropped
  EXPECT_EQ(monitor.FindId(MakeIdKey(u'D', Ref(40, 1))), kNoEntry);
  monitor.SetId(MakeIdKey(u'C', 40), 9);  // overwrites
  EXPECT_EQ(monitor.FindId(MakeIdKey(u'C', 40)), 9u);
  monitor.RemoveIds({{MakeIdKey(u'C', 40), 7}});  // no longer 7: stays
  EXPECT_EQ(monitor.FindId(MakeIdKey(u'C', 40)), 9u);
  monitor.RemoveIds({{MakeIdKey(u'C', Ref(40, 6)), 9}});
  EXPECT_EQ(monitor.FindId(MakeIdKey(u'C', 40)), kNoEntry);
  EXPECT_EQ(monitor.IdCount(), 0u);
}

}  // namespace
}  // namespace zw

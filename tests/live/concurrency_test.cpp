// Changes applied on several monitor threads while searches run, the window
// rebuilds the name index, and a list reads cells. Meant for the TSan build.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "live_test_support.h"
#include "search/name_index.h"
#include "support/entry_views.h"
#include "support/wait.h"

namespace zw {
namespace {

using namespace platform;
using test::Record;
using test::Ref;

constexpr uint32_t kClose = kUsnReasonClose;
constexpr int kFiles = 150;

// Per drive: a folder, files inside it, renames, deletes, modifications, and
// finally the folder renamed: every change finds its entry, so each one
// notifies exactly once.
int ScriptDrive(ScriptedJournal& j) {
  int changes = 0;
  j.Append(Record(Ref(900), Ref(5), kUsnReasonFileCreate | kClose, u"Dir", true));
  ++changes;
  for (int i = 0; i < kFiles; ++i) {
    const std::u16string name = u"file_" + FromUtf8(std::to_string(i)) + u".txt";
    j.Append(Record(Ref(1000 + i), Ref(900), kUsnReasonFileCreate | kClose, name));
    ++changes;
  }
  for (int i = 0; i < 40; ++i) {
    const std::u16string name = u"renamed_" + FromUtf8(std::to_string(i)) + u".doc";
    j.Append(Record(Ref(1000 + i), Ref(900), kUsnReasonRenameNewName | kClose, name));
    j.Append(Record(Ref(1040 + i), Ref(900), kUsnReasonFileDelete | kClose, u"x"));
    j.Append(Record(Ref(1080 + i), Ref(900), kUsnReasonDataExtend | kClose, u"x"));
    changes += 3;
  }
  j.Append(Record(Ref(900), Ref(5), kUsnReasonRenameNewName | kClose, u"Moved", true));
  return changes + 1;
}

TEST(LiveConcurrency, ChangesOnSeveralVolumesWhileSearchesAndCellsRead) {
  FileIndex index;
  for (int i = 0; i < 2000; ++i) {
    test::AddEntry(index, u'C', 100 + i, 5, u"C:\\seed_" + FromUtf8(std::to_string(i)) + u".txt");
  }
  index.drives =
      index.Run(EntryWriter(index.entries)).drives = {u'K', u'L', u'M'};  // as a run leaves them
  RebuildNameIndex(index, false);
  std::mutex mutex;
  std::condition_variable cv;
  int notified = 0;
  index.changedCallback = [&] {  // like the window's: never takes the entries' writer mutex
    std::lock_guard lock(mutex);
    ++notified;
    cv.notify_all();
  };

  test::Journals journals;
  for (char16_t d : index.drives) journals[d];
  UsnMonitor monitor(journals.Factory());
  StartLiveUpdate(index, monitor);
  ASSERT_TRUE(monitor.IsRunning());
  for (char16_t d : index.drives) ASSERT_TRUE(journals[d]->WaitForReads(1));

  std::atomic<bool> done{false};
  std::atomic<uint64_t> found{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 2; ++t) {
    readers.emplace_back([&, t] {
      const SearchQuery q = ParseQuery(t == 0 ? u"file" : u"*.txt");
      while (!done.load()) {
        found += RunQuery(index.nameIndex, q).size();
        std::this_thread::yield();  // a reader-preferring lock would starve the writers
      }
    });
  }
  readers.emplace_back([&] {  // the list view reading cells
    uint32_t n = 0;
    std::u16string cell;
    while (!done.load()) {
      {
        const EntryReadView hold(index.entries);
        if (const auto e = LookupEntry(hold, n)) cell = e->path() + e->name().str();
        n = (n + 7919) % uint32_t(hold.entries().size() + 1);
      }
      std::this_thread::yield();
    }
  });
  readers.emplace_back([&] {  // the window rebuilding after change messages
    int seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return done.load() || notified > seen; });
        if (done.load()) return;
        seen = notified;
      }
      RebuildNameIndex(index, false);
    }
  });

  int expected = 0;
  for (char16_t d : index.drives) expected += ScriptDrive(*journals[d]);
  {
    // On a lost notification the readers are still ended before the failure.
    std::unique_lock lock(mutex);
    test::WaitUntil(
        cv, lock, [&] { return notified >= expected; },
        "every change to be notified (" + std::to_string(expected) + ")");
    done = true;
  }
  cv.notify_all();
  for (auto& t : readers) t.join();
  StopLiveUpdate(monitor);
  EXPECT_EQ(notified, expected);

  // Every drive ends in the same state, whatever the interleaving.
  for (char16_t d : index.drives) {
    const EntryWriter writer(index.entries);
    const EntryStore& entries = writer.entries();
    const std::u16string root = std::u16string(1, d) + u":\\Moved\\";
    auto at = [&](uint64_t record) -> FileEntry {
      return entries.at(FindEntryByRef(writer, monitor, d, record));
    };
    EXPECT_EQ(at(900).path, std::u16string(1, d) + u":\\Moved");
    EXPECT_EQ(at(1000).path, root + u"renamed_0.doc");
    EXPECT_EQ(at(1149).path, root + u"file_149.txt");
    EXPECT_EQ(FindEntryByRef(writer, monitor, d, 1045), kNoEntry);
    size_t live = 0;
    for (size_t n = 0; n < entries.size(); ++n) {
      const FileEntry e = entries[n];
      EXPECT_EQ(e.id, n);
      if (e.drive == d && !e.name.empty()) ++live;
    }
    EXPECT_EQ(live, 1u + kFiles - 40u);
  }
}

TEST(LiveConcurrency, StopAndStartAroundANewRunRebuildsTheIdMap) {
  FileIndex index;
  test::AddEntry(index, u'K', 40, 5, u"K:\\old.txt");
  index.drives = index.Run(EntryWriter(index.entries)).drives = {u'K'};
  test::Journals journals;
  auto& j = journals[u'K'];
  UsnMonitor monitor(journals.Factory());
  StartLiveUpdate(index, monitor);
  ASSERT_TRUE(j->WaitForReads(1));
  // A new run starts: live update stops first, the run replaces the entries.
  EXPECT_TRUE(StopLiveUpdate(monitor));
  EntryWriteView(index.entries).store().clear();
  test::AddEntry(index, u'K', 41, 5, u"K:\\other.txt");
  test::AddEntry(index, u'K', 40, 5, u"K:\\old.txt");
  // Changes in between are not applied to the new entries: reading resumes
  // past them, so the delete is never seen.
  const int64_t deleteUsn =
      j->Append(Record(Ref(40), Ref(5), kUsnReasonFileDelete | kClose, u"old.txt"));
  // List ready: started again with a map of the new numbers.
  std::mutex mutex;
  std::condition_variable cv;
  int notified = 0;
  index.changedCallback = [&] {
    std::lock_guard lock(mutex);
    ++notified;
    cv.notify_all();
  };
  StartLiveUpdate(index, monitor);
  const size_t readsBefore = j->ReadCount();
  ASSERT_TRUE(j->WaitForReads(readsBefore + 1));
  EXPECT_GT(j->ReadStarts()[readsBefore], deleteUsn);
  j->Append(Record(Ref(40), Ref(5), kUsnReasonRenameNewName | kClose, u"new.txt"));
  {
    std::unique_lock lock(mutex);
    test::WaitUntil(
        cv, lock, [&] { return notified >= 1; }, "the rename to be notified");
  }
  StopLiveUpdate(monitor);
  EXPECT_EQ(notified, 1);  // the rename alone
  const EntryReadView hold(index.entries);
  EXPECT_EQ(hold.entries()[1].Value().path, u"K:\\new.txt");
  EXPECT_EQ(hold.entries()[0].Value().path, u"K:\\other.txt");
}

}  // namespace
}  // namespace zw

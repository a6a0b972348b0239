// How the list follows the index: the full list after a run, and the rules
// for files that appear and disappear while the list is shown.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "engine/file_index.h"
#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "search/result_set.h"
#include "search/search_support.h"
#include "search/type_filter.h"
#include "support/entry_builder.h"
#include "view/cell_text.h"
#include "view/icon_choice.h"
#include "view/list_changes.h"

namespace zw::view {
namespace {

// Appends and deletes as the live update does: under both locks.
void Append(FileIndex& index, const test::Item& item) {
  const EntryWriteView view(index.entries);
  test::AppendEntry(view.store(), test::MakeEntry(item, uint32_t(view.store().size())));
}
void Delete(FileIndex& index, uint32_t n) {
  const EntryWriteView view(index.entries);
  view.store().MarkDeleted(n);
}

TEST(ListChanges, FullListIsDroppedOnceSomethingNewerOwnsTheResults) {
  FileIndex index;
  test::Fill(index, test::Files({u"a", u"b", u"c"}), false);
  ResultSet results;
  const uint64_t generation = results.Clear();
  EXPECT_EQ(BuildFullList(index, results, generation), 3u);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{0, 1, 2}));

  const uint64_t stale = results.Clear();
  results.Clear();  // a search (or the next run) took the results over
  EXPECT_FALSE(BuildFullList(index, results, stale));
  EXPECT_EQ(results.Count(), 0u);
}

TEST(ListChanges, FollowingAppendsNewPassingEntriesOnce) {
  FileIndex index;
  test::Fill(index, test::Files({u"keep.txt", u"pic.jpg"}), false);
  ResultSet results;
  results.Replace({0});
  results.SetSeenEntries(2);
  TypeFilterState documents;
  documents.category = TypeCategory::Documents;
  Append(index, {u"new.txt"});
  Append(index, {u"new.png"});
  const ListFollowResult r = AppendNewEntries(results, index, documents);
  EXPECT_EQ(r.entryCount, 4u);
  EXPECT_EQ(r.appended, 1u);
  EXPECT_EQ(AppendNewEntries(results, index, documents).appended, 0u);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{0, 2}));

  // The list of every entry, shown again after a search, has seen them all:
  // a change noticed afterwards must not list them a second time.
  Append(index, {u"later.txt"});
  results.Clear();
  EXPECT_EQ(AppendAllPassing(results, index.entries, documents), 3u);
  EXPECT_EQ(AppendNewEntries(results, index, documents).appended, 0u);
}

// Deleted rows go a slice at a time, wherever they are, and the others keep
// their order.
TEST(ListChanges, SweepDropsEveryDeletedRowInSlices) {
  FileIndex index;
  test::Fill(index, test::RandomItems(1000, 3), false);
  ResultSet results;
  std::vector<uint32_t> rows;
  for (uint32_t n = 0; n < 1000; ++n)
    if (!test::Read(index).entries()[n].Value().name.empty()) rows.push_back(999 - n);  // any order
  results.Replace(rows);
  for (uint32_t n : {998u, 500u, 1u}) Delete(index, n);
  std::vector<uint32_t> expected;
  for (uint32_t n : rows)
    if (!test::Read(index).entries()[n].Value().name.empty()) expected.push_back(n);

  RowSweep sweep;
  sweep.Step(results, index, TypeFilterState{}, 64);
  EXPECT_EQ(results.Count(), rows.size()) << "nothing to do before a restart";
  sweep.Restart(results.Count());
  int steps = 0;
  while (sweep.Pending() && steps < 100) {
    sweep.Step(results, index, TypeFilterState{}, 64);
    ++steps;
  }
  EXPECT_GT(steps, 5);
  EXPECT_EQ(results.Snapshot(), expected);
}

TEST(ListChanges, ChangeDuringASearchWaitsForIt) {
  EXPECT_EQ(StepForIndexChange(true, true), IndexChangeStep::FollowInList);
  EXPECT_EQ(StepForIndexChange(false, false), IndexChangeStep::SearchAgain);
  EXPECT_EQ(StepForIndexChange(false, true), IndexChangeStep::SearchAgainWhenDone);
}

// The window's reads (cells, icons, following) against a journal thread
// that appends and deletes: the sanitizer build checks that every read holds
// the lock the writers take.
TEST(ListChanges, WindowReadsHoldTheLocksWhileEntriesChange) {
  FileIndex index;
  test::Fill(index, test::RandomItems(2000, 7), false);
  ResultSet results;
  BuildFullList(index, results, results.Clear());
  std::atomic<bool> done{false};
  std::thread journal([&] {
    for (uint32_t k = 0; k < 3000; ++k) {
      Append(index, {u"live" + std::u16string(1, char16_t(u'a' + k % 26)) + u".txt"});
      if (k % 3 == 0) Delete(index, k);
    }
    done = true;
  });
  TypeFilterState all;
  uint64_t known = 0;
  RowSweep sweep;
  char16_t text[kCellTextCapacity];
  IconChoice icon;
  while (!done) {
    known = AppendNewEntries(results, index, all).entryCount;
    sweep.Restart(results.Count());
    sweep.Step(results, index, all, 512);
    for (size_t row = 0; row < 64; ++row) {
      const uint32_t n = results.At(row);
      CellText(index, n, kColumnName, text, kCellTextCapacity);
      CellText(index, n, kColumnFolder, text, kCellTextCapacity);
      ChooseIcon(index, n, false, icon);
    }
  }
  journal.join();
  known = AppendNewEntries(results, index, all).entryCount;
  sweep.Restart(results.Count());
  while (sweep.Pending()) sweep.Step(results, index, all);
  EXPECT_EQ(known, 5000u);
  for (uint32_t n : results.Snapshot())
    EXPECT_FALSE(test::Read(index).entries()[n].Value().name.empty()) << n;
}

// A renumbering (entries 1 and 3 of five gone) takes every row, the rows kept
// for after a search, and the count of entries the list has seen along with
// their files.
TEST(ListChanges, ARenumberingMovesRowsKeptRowsAndTheSeenCountWithTheirFiles) {
  ResultSet results;
  results.Replace({4, 1, 0});
  results.ClearKeeping();
  results.Replace({3, 2});
  results.SetSeenEntries(3);
  results.Renumber({0, kNoEntry, 1, kNoEntry, 2}, 3);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{kNoEntry, 1}));
  EXPECT_EQ(results.SeenEntries(), 2u) << "old 3 is gone: old 4, now 2, is the first unseen";
  results.RestoreKept();
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{2, 0}));
}

// The list follows the index while a journal thread appends, deletes and
// compacts: in the end it holds every live entry exactly once, and every
// cell read looks its row up within the hold it reads the entry in.
TEST(ListChanges, TheListFollowsTheIndexAcrossCompactions) {
  FileIndex index;
  test::Fill(index, test::RandomItems(3000, 5), false);
  UsnMonitor monitor{platform::UsnJournalFactory{}};
  StartLiveUpdate(index, monitor);  // no drives: the id map only
  ResultSet results;
  index.renumberedCallback = [&](const std::vector<uint32_t>& oldToNew, uint32_t count) {
    results.Renumber(oldToNew, count);
  };
  BuildFullList(index, results, results.Clear());
  std::atomic<bool> done{false};
  std::thread journal([&] {
    for (uint32_t k = 0; k < 3000; ++k) {
      Append(index, {u"live" + std::u16string(1, char16_t(u'a' + k % 26)) + u".txt"});
      if (k % 2 == 0) {
        const auto count = uint32_t(test::Read(index).entries().size());
        Delete(index, k * 7 % count);
      }
      if (k % 400 == 399) {
        EntryWriter writer(index.entries);
        EXPECT_TRUE(CompactEntries(index, monitor, writer));
      }
    }
    done = true;
  });
  TypeFilterState all;
  RowSweep sweep;
  char16_t text[kCellTextCapacity];
  while (!done) {
    AppendNewEntries(results, index, all);
    sweep.Restart(results.Count());
    sweep.Step(results, index, all, 512);
    for (size_t row = 0; row < 64; ++row) {
      const EntryReadView hold(index.entries);
      CellText(hold, results.At(row), kColumnFolder, text, kCellTextCapacity);
    }
  }
  journal.join();
  AppendNewEntries(results, index, all);
  sweep.Restart(results.Count());
  while (sweep.Pending()) sweep.Step(results, index, all);
  std::vector<uint32_t> rows = results.Snapshot();
  std::sort(rows.begin(), rows.end());
  std::vector<uint32_t> live;
  for (const EntryRef e : test::Read(index).entries()) {
    if (!e.name().empty()) live.push_back(e.id());
  }
  EXPECT_EQ(rows, live);
  EXPECT_LT(test::Read(index).entries().size(), 6000u) << "compacted";
}

}  // namespace
}  // namespace zw::view

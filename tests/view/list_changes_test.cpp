// How the list follows the index: the full list after a run, and the rules
// for files that appear and disappear while the list is shown.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "index/file_index.h"
#include "search/result_set.h"
#include "search/search_support.h"
#include "search/type_filter.h"
#include "view/cell_text.h"
#include "view/icon_choice.h"
#include "view/list_changes.h"

namespace zw::view {
namespace {

// Appends and deletes as the live update does: under both locks.
void Append(FileIndex& index, const test::Item& item) {
  std::lock_guard entries(index.entriesMutex);
  std::unique_lock names(index.nameIndex.lock);
  index.entries.push_back(test::MakeEntry(item, uint32_t(index.entries.size())));
}
void Delete(FileIndex& index, uint32_t n) {
  std::lock_guard entries(index.entriesMutex);
  std::unique_lock names(index.nameIndex.lock);
  index.entries[n].name.clear();
  index.entries[n].lowerName.clear();
  index.entries[n].path.clear();
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

TEST(ListChanges, FollowingAddsNewPassingEntriesAndDropsDeletedRows) {
  FileIndex index;
  test::Fill(index, test::Files({u"keep.txt", u"doomed.txt", u"pic.jpg"}), false);
  ResultSet results;
  results.Replace({2, 1, 0});  // sorted somehow
  TypeFilterState documents;
  documents.category = TypeCategory::Documents;
  FilterResults(results, index, documents);

  Append(index, {u"new.txt"});
  Append(index, {u"new.png"});
  Delete(index, 1);
  const ListFollowResult r = FollowIndexChange(results, index, 3, documents);
  EXPECT_EQ(r.entryCount, 5u);
  EXPECT_EQ(r.appended, 1u);
  EXPECT_EQ(r.dropped, 1u);
  EXPECT_EQ(results.Snapshot(), (std::vector<uint32_t>{0, 3}));

  // Nothing new: nothing appended twice.
  EXPECT_EQ(FollowIndexChange(results, index, r.entryCount, documents).appended, 0u);
  EXPECT_EQ(results.Count(), 2u);
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
  uint64_t known = 2000;
  char16_t text[kCellTextCapacity];
  IconChoice icon;
  while (!done) {
    known = FollowIndexChange(results, index, known, all).entryCount;
    for (size_t row = 0; row < 64; ++row) {
      const uint32_t n = results.At(row);
      CellText(index, n, kColumnName, text, kCellTextCapacity);
      CellText(index, n, kColumnFolder, text, kCellTextCapacity);
      ChooseIcon(index, n, false, icon);
    }
  }
  journal.join();
  known = FollowIndexChange(results, index, known, all).entryCount;
  EXPECT_EQ(known, 5000u);
  for (uint32_t n : results.Snapshot()) EXPECT_FALSE(index.entries[n].name.empty()) << n;
}

}  // namespace
}  // namespace zw::view

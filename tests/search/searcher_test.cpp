#include "search/searcher.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "search_support.h"

namespace zw {
namespace {

// Waits for one search's done callback.
struct Completion {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  uint64_t count = 0;
  std::vector<uint64_t> progress;

  SearchCallback OnProgress() {
    return [this](uint64_t n) {
      std::lock_guard hold(mutex);
      progress.push_back(n);
    };
  }
  SearchCallback OnDone() {
    return [this](uint64_t n) {
      std::lock_guard hold(mutex);
      done = true;
      count = n;
      cv.notify_all();
    };
  }
  uint64_t Wait() {
    std::unique_lock hold(mutex);
    test::WaitUntil(
        cv, hold, [&] { return done; }, "the search to be done");
    return count;
  }
};

std::vector<uint32_t> Expected(const FileIndex& index, const SearchQuery& q) {
  std::vector<uint32_t> out;
  const EntryReadView hold(index.entries);
  for (EntryRef e : hold.entries()) {
    if (Matches(e, q)) out.push_back(e.id());
  }
  return out;
}

TEST(ParallelScanRanges, TaskCountsAndChunks) {
  EXPECT_EQ(ParallelScanRanges(1000, 16).size(), 8u);
  EXPECT_EQ(ParallelScanRanges(1000, 0).size(), 4u);
  EXPECT_EQ(ParallelScanRanges(1000, 2).size(), 2u);
  using R = std::vector<std::pair<uint32_t, uint32_t>>;
  EXPECT_EQ(ParallelScanRanges(3, 4), (R{{0, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(ParallelScanRanges(10, 4), (R{{0, 3}, {3, 6}, {6, 9}, {9, 10}}));
  EXPECT_TRUE(ParallelScanRanges(0, 4).empty());
}

struct Options {
  bool parallel, progressive, ngrams;
};

class SearchPaths : public ::testing::TestWithParam<Options> {};

TEST_P(SearchPaths, EveryPathGivesTheMatchingEntries) {
  const Options o = GetParam();
  FileIndex index;
  test::Fill(index, test::RandomItems(5000, 42), o.ngrams);
  ResultSet results;
  Searcher searcher(o.parallel, o.progressive);
  searcher.hardwareThreads = 3;
  searcher.SetNameIndex(&index.nameIndex);
  for (const char16_t* text :
       {u"a", u"ab", u"abc", u"*b", u"*a.b", u"a*", u"a*.b", u"*.b", u"*ab*", u"b.", u"가나"}) {
    SearchQuery q = ParseQuery(text);
    Completion c;
    searcher.StartSearch(q, &results, c.OnProgress(), c.OnDone());
    const uint64_t count = c.Wait();
    std::vector<uint32_t> got = results.Snapshot();
    EXPECT_EQ(count, got.size());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, Expected(index, q)) << std::string(text, text + 1);
    EXPECT_FALSE(searcher.running.load());
  }
}

INSTANTIATE_TEST_SUITE_P(Options, SearchPaths,
                         ::testing::Values(Options{false, false, false},
                                           Options{false, true, false}, Options{true, false, false},
                                           Options{true, true, false}, Options{false, true, true},
                                           Options{true, true, true}));

TEST(Searcher, QueriesThatMatchNothingCompleteAtOnce) {
  FileIndex index;
  test::Fill(index, test::Files({u"a"}), true);
  ResultSet results;
  results.Replace({0});
  Searcher searcher(false, true);
  searcher.SetNameIndex(&index.nameIndex);
  for (const char16_t* text : {u"*", u"   "}) {
    bool called = false;
    searcher.StartSearch(ParseQuery(text), &results, nullptr, [&](uint64_t n) {
      called = true;
      EXPECT_EQ(n, 0u);
    });
    EXPECT_TRUE(called);  // on this thread, before StartSearch returned
    EXPECT_EQ(results.Count(), 0u);
    EXPECT_FALSE(searcher.running.load());
  }
  Searcher unset(false, true);
  bool called = false;
  unset.StartSearch(ParseQuery(u"a"), &results, nullptr, [&](uint64_t) { called = true; });
  EXPECT_TRUE(called);
}

TEST(Searcher, ProgressiveScanReportsEveryThousand) {
  std::vector<test::Item> items;
  for (int i = 0; i < 6000; ++i) items.push_back({i % 12 < 5 ? u"hit" : u"miss"});
  FileIndex index;
  test::Fill(index, items, false);
  ResultSet results;
  Searcher searcher(false, true);
  searcher.SetNameIndex(&index.nameIndex);
  Completion c;
  searcher.StartSearch(ParseQuery(u"hi"), &results, c.OnProgress(), c.OnDone());
  EXPECT_EQ(c.Wait(), 2500u);
  EXPECT_EQ(c.progress, (std::vector<uint64_t>{1000, 2000, 2500}));
}

TEST(Searcher, SuffixOnTheParallelPathReportsOnceThenDone) {
  FileIndex index;
  test::Fill(index, test::Files({u"report", u"xport", u"ports"}), false);
  ResultSet results;
  Searcher searcher(true, false);
  searcher.SetNameIndex(&index.nameIndex);
  Completion c;
  searcher.StartSearch(ParseQuery(u"*port"), &results, c.OnProgress(), c.OnDone());
  EXPECT_EQ(c.Wait(), 2u);
  EXPECT_EQ(c.progress, std::vector<uint64_t>{2});
}

// A failure mid-search (a progress report that throws stands for memory
// running out) is reported as such, not as a count of what was delivered.
TEST(Searcher, AFailedSearchReportsFailure) {
  FileIndex index;
  test::Fill(index, test::Files({u"report", u"xport"}), false);
  ResultSet results;
  Searcher searcher(true, false);
  searcher.SetNameIndex(&index.nameIndex);
  Completion c;
  searcher.StartSearch(
      ParseQuery(u"*port"), &results, [](uint64_t) { throw std::bad_alloc(); }, c.OnDone());
  EXPECT_EQ(c.Wait(), kSearchFailed);
  EXPECT_FALSE(searcher.running.load());
}

// A search whose result set is taken over by someone else (the window's list
// of every entry) delivers nothing, but still ends: `running` falls.
TEST(Searcher, RunningFallsWhenASearchOvertakenByAClearEnds) {
  FileIndex index;
  test::Fill(index, test::RandomItems(2000, 3), false);
  ResultSet results;
  Searcher searcher(false, true);
  searcher.SetNameIndex(&index.nameIndex);
  std::atomic<int> reports{0};
  {
    const EntryWriteView hold(index.entries);  // the worker waits before its scan
    searcher.StartSearch(ParseQuery(u"a"), &results, nullptr, [&](uint64_t) { ++reports; });
    EXPECT_TRUE(searcher.running.load());
    results.Clear();
  }
  test::PollUntil([&] { return !searcher.running.load(); }, "the overtaken search to end");
  EXPECT_EQ(reports.load(), 0);
}

TEST(Searcher, DetachedIndexFindsNothingOnEveryPath) {
  FileIndex index;
  test::Fill(index, test::Files({u"abc"}), false);
  {
    const EntryWriteView hold(index.entries);
    ClearNameIndex(index.nameIndex, hold);
  }
  for (bool parallel : {false, true}) {
    for (const char16_t* text : {u"abc", u"*bc", u"a*"}) {
      ResultSet results;
      Searcher searcher(parallel, true);
      searcher.SetNameIndex(&index.nameIndex);
      Completion c;
      searcher.StartSearch(ParseQuery(text), &results, c.OnProgress(), c.OnDone());
      EXPECT_EQ(c.Wait(), 0u);
    }
  }
}

// Many searches superseding each other while another thread appends entries
// and rebuilds the name index: no race, and no search reports or delivers
// once a newer one has started.
TEST(Searcher, SupersededSearchesDeliverNothing) {
  for (Options o : {Options{false, true, false}, Options{true, true, false},
                    Options{true, false, false}, Options{false, true, true}}) {
    FileIndex index;
    test::Fill(index, test::RandomItems(4000, 9), o.ngrams);
    ResultSet results;
    std::atomic<bool> stopWriter{false};
    std::thread writer([&]() noexcept {
      uint32_t round = 0;
      while (!stopWriter.load()) {
        {
          const EntryWriteView hold(index.entries);
          EntryStore& store = hold.store();
          for (int k = 0; k < 50; ++k) {
            test::AppendEntry(store,
                              test::MakeEntry({u"abc new"}, static_cast<uint32_t>(store.size())));
          }
        }
        if (++round % 8 == 0) RebuildNameIndex(index, o.ngrams);
      }
    });

    std::atomic<int> startedAndReturned{-1};
    std::atomic<int> lateReports{0};
    std::atomic<int> lastDone{-1};
    {
      Searcher searcher(o.parallel, o.progressive);
      searcher.hardwareThreads = 2;
      searcher.SetNameIndex(&index.nameIndex);
      const char16_t* texts[] = {u"a", u"ab", u"*c", u"abc", u"b*", u"*.b", u"c"};
      for (int k = 0; k < 60; ++k) {
        auto report = [&, k](uint64_t) {
          if (k < startedAndReturned.load()) lateReports.fetch_add(1);
        };
        auto done = [report, &lastDone, k](uint64_t n) {
          report(n);
          lastDone.store(k);
        };
        searcher.StartSearch(ParseQuery(texts[k % 7]), &results, report, done);
        startedAndReturned.store(k);
      }
      stopWriter.store(true);
      writer.join();
      // The last search, over entries that no longer change.
      Completion c;
      const SearchQuery q = ParseQuery(u"abc");
      searcher.StartSearch(q, &results, c.OnProgress(), c.OnDone());
      startedAndReturned.store(1000);
      const uint64_t count = c.Wait();
      std::vector<uint32_t> got = results.Snapshot();
      EXPECT_EQ(count, got.size());
      std::sort(got.begin(), got.end());
      // Entries appended since the last rebuild are found too.
      EXPECT_EQ(got, Expected(index, q));
    }
    EXPECT_EQ(lateReports.load(), 0);
  }
}

// The Searcher going away while its workers still scan: they stop, are
// joined, and report nothing afterwards.
TEST(Searcher, DestructionStopsAndJoinsRunningWorkers) {
  FileIndex index;
  test::Fill(index, test::RandomItems(60000, 1), false);
  std::atomic<bool> destroyed{false};
  std::atomic<int> afterDestruction{0};
  {
    auto results = std::make_unique<ResultSet>();
    Searcher searcher(false, true);
    searcher.SetNameIndex(&index.nameIndex);
    for (int k = 0; k < 5; ++k) {
      searcher.StartSearch(ParseQuery(u"a"), results.get(), nullptr, [&](uint64_t) {
        if (destroyed.load()) afterDestruction.fetch_add(1);
      });
    }
    searcher.StopAll();
    destroyed.store(true);
    EXPECT_FALSE(searcher.running.load());
  }
  EXPECT_EQ(afterDestruction.load(), 0);
}

}  // namespace
}  // namespace zw

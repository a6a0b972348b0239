// Applying journal changes to a large index: a mix of creates, renames and
// deletes through ApplyChange, and a folder rename that rewrites the paths of
// everything below it. Where a search thread runs meanwhile, it starts a
// search every `pause` milliseconds after the last one ended (0: back to
// back) and reports how many completed and the slowest of them. The name
// index has n-grams, as the window builds it by default, unless said.
//
// Also what the window thread feels: the longest it waits for the name index
// lock to read a cell during a burst of changes or a rebuild, and the time
// from a journal record to the entry found by each kind of query.
//
//   zw_live_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/utf.h"
#include "engine/file_index.h"
#include "index/build_paths.h"
#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "platform/usn_journal.h"
#include "platform/usn_journal_scripted.h"
#include "search/name_index.h"
#include "search/result_set.h"
#include "support/built_paths.h"

namespace zw {
namespace {

constexpr uint32_t kEntries = 1'000'000;
constexpr uint32_t kFolders = 1000;
constexpr uint64_t kFirstFolder = 100;
constexpr uint64_t kFirstFile = kFirstFolder + kFolders;

std::u16string Num(uint64_t n) {
  return FromUtf8(std::to_string(n));
}

// 1,000 folders under the root of C, the rest of the million as files in them.
const std::vector<FileEntry>& BaseEntries() {
  static const std::vector<FileEntry> base = [] {
    std::vector<FileEntry> v;
    v.reserve(kEntries);
    for (uint32_t i = 0; i < kEntries; ++i) {
      FileEntry e;
      e.id = i;
      e.drive = u'C';
      if (i < kFolders) {
        e.recordNumber = kFirstFolder + i;
        e.parentRecordNumber = 5;
        e.isFolder = true;
        e.name = u"folder_" + Num(i);
        e.path = u"C:\\" + e.name;
      } else {
        const uint32_t folder = i % kFolders;
        e.recordNumber = kFirstFolder + i;
        e.parentRecordNumber = kFirstFolder + folder;
        e.name = u"document_" + Num(i) + u".txt";
        e.path = v[folder].path + u"\\" + e.name;
      }
      SetDerivedNameFields(e);
      v.push_back(std::move(e));
    }
    return v;
  }();
  return base;
}

struct Fixture {
  std::unique_ptr<FileIndex> index = std::make_unique<FileIndex>();
  UsnMonitor monitor{platform::UsnJournalFactory{}};

  explicit Fixture(bool ngrams = true) {
    std::vector<FileEntry> values = BaseEntries();
    EntryWriteView(index->entries).store().AppendValues(values);
    RebuildNameIndex(*index, ngrams);
  }
  void Ready() { StartLiveUpdate(*index, monitor); }  // no drives: only the id map
};

// Runs searches on `threads` threads until told to stop; how many finished,
// and the slowest, is reported.
class SearchLoad {
 public:
  SearchLoad(FileIndex& index, int pauseMs, int threads = 1) {
    slowestMs_.resize(size_t(threads));
    for (int t = 0; t < threads; ++t) {
      threads_.emplace_back([this, &index, pauseMs, &slowest = slowestMs_[size_t(t)]] {
        const SearchQuery q = ParseQuery(u"document_12");
        while (!stop_.load()) {
          const auto start = std::chrono::steady_clock::now();
          benchmark::DoNotOptimize(RunQuery(index.nameIndex, q).size());
          const std::chrono::duration<double, std::milli> took =
              std::chrono::steady_clock::now() - start;
          slowest = std::max(slowest, took.count());
          done_.fetch_add(1);
          if (pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
          } else {
            std::this_thread::yield();
          }
        }
      });
    }
  }
  ~SearchLoad() { Stop(); }
  void Stop() {
    stop_ = true;
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }
  uint64_t Done() const { return done_.load(); }
  double SlowestMs() const {  // after Stop
    return slowestMs_.empty() ? 0 : *std::max_element(slowestMs_.begin(), slowestMs_.end());
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> done_{0};
  std::vector<double> slowestMs_;  // one per thread, sized before they start
  std::vector<std::thread> threads_;
};

// Reads a cell now and then, as the window does while it paints, and keeps
// the longest wait for the lock.
class CellReader {
 public:
  explicit CellReader(const FileIndex& index)
      : thread_([this, &index] {
          uint32_t n = 0;
          std::u16string cell;
          while (!stop_.load()) {
            const auto start = std::chrono::steady_clock::now();
            {
              const EntryReadView hold(index.entries);
              const std::chrono::duration<double, std::milli> waited =
                  std::chrono::steady_clock::now() - start;
              longestMs_ = std::max(longestMs_, waited.count());
              if (const auto e = LookupEntry(hold, n)) e->PathInto(cell);
            }
            benchmark::DoNotOptimize(cell.data());
            n = (n + 7919) % kEntries;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
        }) {}
  ~CellReader() { Stop(); }
  double Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return longestMs_;
  }

 private:
  std::atomic<bool> stop_{false};
  double longestMs_ = 0;  // written by the thread, read after the join
  std::thread thread_;
};

std::vector<UsnChange> ChangeMix(uint32_t count) {
  std::vector<UsnChange> changes;
  changes.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t file = kFirstFile + 7 * uint64_t(i) % (kEntries - kFolders);
    const uint64_t folder = kFirstFolder + i % kFolders;
    switch (i % 3) {
      case 0:
        changes.push_back({UsnChangeKind::Created, u'C', 2'000'000 + i, folder,
                           u"new_" + Num(i) + u".dat", false});
        break;
      case 1:
        changes.push_back(
            {UsnChangeKind::Renamed, u'C', file, folder, u"renamed_" + Num(i), false});
        break;
      default:
        changes.push_back({UsnChangeKind::Deleted, u'C', file + 3, folder, u"", false});
        break;
    }
  }
  return changes;
}

// A whole rebuild of the name index (as after each drive of a run, or when
// live changes grow large) while the window reads cells.
void BM_RebuildCellStall(benchmark::State& state) {
  auto f = std::make_unique<Fixture>();
  double longest = 0;
  for (auto _ : state) {
    CellReader reader(*f->index);
    RebuildNameIndex(*f->index, true);
    longest = std::max(longest, reader.Stop());
  }
  state.counters["longest_cell_wait_ms"] = longest;
}
BENCHMARK(BM_RebuildCellStall)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// From a create record written to the journal to the new entry found by one
// kind of query (0 prefix, 1 suffix, 2 contains, 3 extension), the window's
// way: the monitor thread polls and applies the change, the changed callback
// fires, and one search runs. Records are written at varying points of the
// monitor's 100 ms pause; the mean and the worst are reported.
void BM_RecordToFound(benchmark::State& state) {
  auto f = std::make_unique<Fixture>();
  std::mutex mutex;
  std::condition_variable changed;
  uint64_t changes = 0;
  f->index->changedCallback = [&] {
    std::lock_guard hold(mutex);
    ++changes;
    changed.notify_all();
  };
  auto journal = std::make_shared<platform::ScriptedJournal>(0x77, 0);
  f->monitor.SetDeviceFactory(
      [journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
  // As a run leaves them: the live update follows the run's drives.
  f->index->drives = f->index->Run(EntryWriter(f->index->entries)).drives = {u'C'};
  f->Ready();
  if (!journal->WaitForReads(1)) state.SkipWithError("the monitor never read its journal");
  const int kind = int(state.range(0));
  uint64_t n = 0;
  double worst = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds((n * 37) % 100));
    const std::u16string stem = u"zqx" + Num(++n);
    const std::u16string text = kind == 0   ? stem + u"*"
                                : kind == 1 ? u"*" + stem + u".pdf"
                                : kind == 2 ? stem.substr(1)
                                            : u"*.pdf";
    const SearchQuery q = ParseQuery(text);
    uint64_t seen = 0;
    {
      std::lock_guard hold(mutex);
      seen = changes;
    }
    const auto start = std::chrono::steady_clock::now();
    journal->Append(platform::MakeUsnRecordV2(
        5'000'000 + n, kFirstFolder, platform::kUsnReasonFileCreate | platform::kUsnReasonClose,
        0x20, stem + u".pdf"));
    {
      std::unique_lock hold(mutex);
      changed.wait(hold, [&] { return changes > seen; });
    }
    const std::vector<uint32_t> hits = RunQuery(f->index->nameIndex, q);
    bool found = false;
    {
      const EntryReadView hold(f->index->entries);
      for (uint32_t e : hits) found = found || hold.entries()[e].name() == stem + u".pdf";
    }
    if (!found) state.SkipWithError("the new entry was not found");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    worst = std::max(worst, took.count() * 1000);
  }
  state.counters["worst_ms"] = worst;
  StopLiveUpdate(f->monitor);
}
BENCHMARK(BM_RecordToFound)
    ->DenseRange(0, 3)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One query of each kind (0 prefix, 1 suffix, 2 contains, 3 extension) with
// no changes since the build (arg 0) or with 60,000 (arg 1, near the most
// the name index holds before it folds them in): what the delta costs.
void BM_QueryWithChanges(benchmark::State& state) {
  static std::unique_ptr<Fixture> f;
  static bool changed = false;
  if (!f) {
    f = std::make_unique<Fixture>();
    f->Ready();
  }
  if (state.range(1) == 1 && !changed) {
    for (const UsnChange& c : ChangeMix(60'000)) ApplyChange(*f->index, f->monitor, c);
    changed = true;
  }
  const char16_t* texts[] = {u"document_12*", u"*_12345.txt", u"ment_1234", u"*.dat"};
  const SearchQuery q = ParseQuery(texts[state.range(0)]);
  size_t results = 0;
  for (auto _ : state) results = RunQuery(f->index->nameIndex, q).size();
  state.counters["results"] = double(results);
  state.counters["delta"] =
      double(NameIndexDelta(f->index->nameIndex, EntryReadView(f->index->entries)));
}
BENCHMARK(BM_QueryWithChanges)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);

// The window's sort by name after 1,000 changes (the rank arrays existed
// before them): the changed and new entries are placed among the others.
// For comparison, arg 1 drops the rank arrays instead, as every change used to.
void BM_SortByNameAfter1kChanges(benchmark::State& state) {
  auto f = std::make_unique<Fixture>();
  f->Ready();
  const std::vector<UsnChange> changes = ChangeMix(1'000 * uint32_t(state.max_iterations));
  ResultSet results;
  const SortSpec byName{0, false, true};
  results.Replace(RunQuery(f->index->nameIndex, ParseQuery(u"document_1")));
  SortResults(results, byName, f->index->nameIndex);
  size_t next = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (size_t k = 0; k < 1'000; ++k) ApplyChange(*f->index, f->monitor, changes[next++]);
    if (state.range(0) == 1) {
      const EntryWriteView hold(f->index->entries);
      NoteEntriesChanged(f->index->nameIndex, hold);
    }
    state.ResumeTiming();
    SortResults(results, byName, f->index->nameIndex);
  }
  state.counters["results"] = double(results.Count());
}
BENCHMARK(BM_SortByNameAfter1kChanges)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// `count` changes of the mix, with the window reading cells meanwhile (the
// longest it waited for the lock is reported) and, for a pause of 0 or more,
// a search thread.
void ApplyMix(benchmark::State& state, uint32_t count, int searchPause) {
  uint64_t searches = 0;
  double slowest = 0;
  double longestWait = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto f = std::make_unique<Fixture>();
    f->Ready();
    const std::vector<UsnChange> changes = ChangeMix(count);
    auto load = searchPause >= 0 ? std::make_unique<SearchLoad>(*f->index, searchPause) : nullptr;
    CellReader reader(*f->index);
    state.ResumeTiming();
    for (const UsnChange& c : changes) ApplyChange(*f->index, f->monitor, c);
    state.PauseTiming();
    longestWait = std::max(longestWait, reader.Stop());
    if (load) {
      load->Stop();
      searches += load->Done();
      slowest = std::max(slowest, load->SlowestMs());
    }
    load.reset();
    f.reset();
    state.ResumeTiming();
  }
  if (searchPause >= 0) {
    state.counters["searches_meanwhile"] =
        benchmark::Counter(double(searches), benchmark::Counter::kAvgIterations);
    state.counters["slowest_search_ms"] = slowest;
  }
  state.counters["longest_cell_wait_ms"] = longestWait;
  state.SetItemsProcessed(int64_t(state.iterations()) * count);
}

// 100,000 changes cross the change limit, so one rebuild runs part-way.
void BM_ApplyChangeMix100k(benchmark::State& state) {
  ApplyMix(state, 100'000, int(state.range(0)));
}
// Argument: -1 alone; otherwise the search thread's pause in milliseconds. A
// search every 20 ms is a fast typist's pace and more. Back to back (0) is not
// measured here: every change would wait out a whole search.
BENCHMARK(BM_ApplyChangeMix100k)
    ->Arg(-1)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// A burst of 10,000: below the change limit, every change reaches the name
// index in place.
void BM_ChangeBurst10k(benchmark::State& state) {
  ApplyMix(state, 10'000, -1);
}
BENCHMARK(BM_ChangeBurst10k)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_FolderRenameRewrites10k(benchmark::State& state) {
  auto f = std::make_unique<Fixture>(state.range(2) != 0);
  // One folder holding 10,000 of the files (moved there before timing).
  f->Ready();
  for (uint32_t i = 0; i < 10'000; ++i) {
    ApplyChange(*f->index, f->monitor,
                {UsnChangeKind::Renamed, u'C', kFirstFile + 1 + i * 90, kFirstFolder,
                 u"moved_" + Num(i) + u".txt", false});
  }
  auto load = std::make_unique<SearchLoad>(*f->index, int(state.range(0)), int(state.range(1)));
  uint64_t n = 0;
  for (auto _ : state) {
    ApplyChange(*f->index, f->monitor,
                {UsnChangeKind::Renamed, u'C', kFirstFolder, 5, u"renamed_" + Num(++n), true});
  }
  load->Stop();
  state.counters["searches_meanwhile"] = double(load->Done());
  state.counters["slowest_search_ms"] = load->SlowestMs();
  load.reset();
  const std::u16string moved = EntryReadView(f->index->entries).entries()[kFolders + 1].path();
  if (moved.rfind(u"C:\\renamed_" + Num(n) + u"\\", 0) != 0) {
    state.SkipWithError("descendant path not rewritten");
  }
}
// Arguments: the search threads' pause, their number, and n-grams (1) or
// not. Back to back (0) included, since one rename waits out at most the
// searches in progress; two threads overlap their holds, which a reader-first
// lock never breaks. Without n-grams each search scans every name, a piece
// at a time.
BENCHMARK(BM_FolderRenameRewrites10k)
    ->Args({20, 1, 1})
    ->Args({0, 1, 1})
    ->Args({0, 2, 1})
    ->Args({0, 2, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zw

BENCHMARK_MAIN();

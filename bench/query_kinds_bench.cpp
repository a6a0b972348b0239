// The queries that read names from their ends or hold one or two code units,
// and the first sorted search after a run, over a million generated names.
// `--benchmark_filter=Query` for the queries alone (the index is built once).
#include <benchmark/benchmark.h>

#include <shared_mutex>
#include <string>
#include <vector>

#include "base/utf.h"
#include "engine/file_index.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/type_filter.h"
#include "window_timing_data.h"

namespace {

using namespace zw;

FileIndex& Index() {
  static FileIndex* index = [] {
    auto* idx = new FileIndex;
    std::vector<FileEntry> values = timing::MillionEntries();
    EntryWriteView(idx->entries).store().AppendValues(values);
    RebuildNameIndex(*idx, true);
    return idx;
  }();
  return *index;
}

size_t Count(const std::u16string& text) {
  return RunQuery(Index().nameIndex, ParseQuery(text)).size();
}

// The code unit whose names come closest to 600,000: the one-character text
// of the first-search figure.
const std::u16string& Wide() {
  static const std::u16string wide = [] {
    std::u16string best;
    size_t bestGap = ~size_t{0};
    for (char16_t c = u'a'; c <= u'z'; ++c) {
      const size_t n = Count(std::u16string(1, c));
      const size_t gap = n > 600000 ? n - 600000 : 600000 - n;
      if (gap < bestGap) {
        bestGap = gap;
        best = std::u16string(1, c);
      }
    }
    return best;
  }();
  return wide;
}

void RunOne(benchmark::State& state, const std::u16string& text) {
  const NameIndex& ni = Index().nameIndex;
  const SearchQuery q = ParseQuery(text);
  size_t results = 0;
  for (auto _ : state) {
    std::vector<uint32_t> r = RunQuery(ni, q);
    results = r.size();
    benchmark::DoNotOptimize(r.data());
  }
  state.counters["results"] = static_cast<double>(results);
  state.SetLabel(ToUtf8(text));
}

#define ZW_QUERY(name, text)                  \
  void BM_Query_##name(benchmark::State& s) { \
    RunOne(s, text);                          \
  }                                           \
  BENCHMARK(BM_Query_##name)->Unit(benchmark::kMicrosecond)->Repetitions(5)

ZW_QUERY(SuffixLog, u"*log");
ZW_QUERY(SuffixWord, u"*report");
ZW_QUERY(SuffixExtension, u"*port.pdf");
ZW_QUERY(SuffixHangul, u"*보고서");
ZW_QUERY(Contains2, u"보고");
ZW_QUERY(Contains2Ascii, u"xq");
ZW_QUERY(Contains1, u"서");
ZW_QUERY(Contains1Rare, u"q");

// A run's name index build, then the first keystroke: one code unit, type
// filter, sort by name with folders first, as the window does.
void BM_FirstSearchAfterRun(benchmark::State& state) {
  FileIndex& index = Index();
  const std::u16string& text = Wide();
  TypeFilterState filter;
  ResultSet results;
  double rebuildMs = 0;
  size_t bytesAfterRun = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const auto start = timing::Clock::now();
    RebuildNameIndex(index, true);
    rebuildMs = timing::MsSince(start);
    {
      const EntryReadView hold(index.entries);
      bytesAfterRun = NameIndexBytes(index.nameIndex, hold);
    }
    state.ResumeTiming();
    results.Clear();
    results.Replace(RunQuery(index.nameIndex, ParseQuery(text)));
    FilterResults(results, index.entries, filter);
    SortResults(results, SortSpec{0, false, true}, index.nameIndex);
  }
  const EntryReadView hold(index.entries);
  const double n = static_cast<double>(hold.entries().size());
  state.counters["results"] = static_cast<double>(results.Count());
  state.counters["rebuild_ms"] = rebuildMs;
  state.counters["index_bytes_per_entry_after_run"] = static_cast<double>(bytesAfterRun) / n;
  state.counters["index_bytes_per_entry_after_sort"] =
      static_cast<double>(NameIndexBytes(index.nameIndex, hold)) / n;
  state.SetLabel(ToUtf8(text));
}
BENCHMARK(BM_FirstSearchAfterRun)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// The same for the other sort columns, on the sorted set of one keystroke.
void FirstSort(benchmark::State& state, uint32_t column) {
  FileIndex& index = Index();
  TypeFilterState filter;
  ResultSet results;
  for (auto _ : state) {
    state.PauseTiming();
    RebuildNameIndex(index, true);
    results.Clear();
    results.Replace(RunQuery(index.nameIndex, ParseQuery(Wide())));
    FilterResults(results, index.entries, filter);
    state.ResumeTiming();
    SortResults(results, SortSpec{column, false, true}, index.nameIndex);
  }
  state.counters["results"] = static_cast<double>(results.Count());
}
void BM_FirstSortAfterRun_Path(benchmark::State& s) {
  FirstSort(s, 1);
}
void BM_FirstSortAfterRun_Size(benchmark::State& s) {
  FirstSort(s, 2);
}
void BM_FirstSortAfterRun_Date(benchmark::State& s) {
  FirstSort(s, 3);
}
BENCHMARK(BM_FirstSortAfterRun_Path)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_FirstSortAfterRun_Size)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_FirstSortAfterRun_Date)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();

// Search over a million generated names: the name index rebuild and its
// memory, one-pass queries of every kind, and a whole keystroke from text to
// filtered, sorted results. `--dump=DIR` also writes the names, the paths and
// the chosen queries for bench/search_peers.sh (grep -F, plocate).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/utf.h"
#include "engine/file_index.h"
#include "index/build_paths.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/string_order.h"
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

struct Queries {
  std::u16string prefix, prefixExt, ext, contains3, contains2, contains1, wide1;
};

size_t Count(const char16_t* text) {
  return RunQuery(Index().nameIndex, ParseQuery(text)).size();
}
size_t Count(const std::u16string& text) {
  return Count(text.c_str());
}

// Picked from the data so that each kind is realistic: a contains query of at
// least three code units with at most 1,000 results, and the most common code
// unit for the "most entries match" keystroke.
const Queries& Chosen() {
  static const Queries q = [] {
    Queries q;
    q.prefix = u"report*";
    q.prefixExt = u"report*.pdf";
    q.ext = u"*.pdf";
    q.contains2 = u"보고";
    q.contains1 = u"서";
    const FileIndex& index = Index();
    // A copy: Count searches, which takes the lock itself.
    const EntryStore entries = EntryReadView(index.entries).entries();
    for (size_t k = 0; k < entries.size() && q.contains3.empty(); k += 997) {
      const std::u16string n = entries[k].lowerName().str();
      for (size_t len = 3; len <= 6 && len <= n.size(); ++len) {
        std::u16string candidate = n.substr(0, len);
        if (candidate.find(u'*') != std::u16string::npos) break;
        const size_t c = Count(candidate);
        if (c >= 50 && c <= 1000) {
          q.contains3 = candidate;
          break;
        }
      }
    }
    uint32_t best = 0;
    const EntryReadView hold(index.entries);
    const PostingTable& unigrams = index.nameIndex.Tables(hold).unigramLists;
    for (size_t k = 0; k < unigrams.keys.size(); ++k) {
      if (unigrams.counts[k] > best) {
        best = unigrams.counts[k];
        q.wide1 = std::u16string(1, static_cast<char16_t>(unigrams.keys[k]));
      }
    }
    return q;
  }();
  return q;
}

void BM_RebuildNameIndex(benchmark::State& state) {
  FileIndex& index = Index();
  const bool ngrams = state.range(0) != 0;
  for (auto _ : state) RebuildNameIndex(index, ngrams);
  {
    const EntryReadView hold(index.entries);
    const double n = static_cast<double>(hold.entries().size());
    state.counters["entries"] = n;
    state.counters["bytes_per_entry"] =
        static_cast<double>(NameIndexBytes(index.nameIndex, hold)) / n;
  }
  if (!ngrams) RebuildNameIndex(index, true);  // as the query benchmarks expect it
}
BENCHMARK(BM_RebuildNameIndex)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->MeasureProcessCPUTime();

// The three string orders a rebuild computes, one by one.
void BM_OrderBy(benchmark::State& state) {
  const EntryReadView hold(Index().entries);
  for (auto _ : state) {
    if (state.range(0) == 2) {
      benchmark::DoNotOptimize(PathRanks(hold.entries()).data());
    } else {
      auto field = state.range(0) == 0 ? &EntryRef::lowerName : &EntryRef::name;
      const EntryStore& entries = hold.entries();
      const std::vector<uint32_t> order =
          OrderByText(entries.size(), [&](uint32_t i) { return (entries[i].*field)(); });
      benchmark::DoNotOptimize(order.data());
    }
  }
}
BENCHMARK(BM_OrderBy)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

// The two n-gram tables a rebuild computes, one by one.
void BM_NgramTable(benchmark::State& state) {
  const EntryReadView hold(Index().entries);
  const auto& entries = hold.entries();
  const int64_t order = state.range(0);
  for (auto _ : state) {
    PostingTable table;
    const bool built = BuildNgramTable(table, entries, static_cast<int>(order));
    if (!built) state.SkipWithError("table beyond 32-bit offsets");
    state.counters["keys"] = static_cast<double>(table.keys.size());
    state.counters["bytes"] = static_cast<double>(table.Bytes());
  }
}
BENCHMARK(BM_NgramTable)
    ->Arg(1)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

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

void BM_Query_Prefix(benchmark::State& s) {
  RunOne(s, Chosen().prefix);
}
void BM_Query_PrefixExtension(benchmark::State& s) {
  RunOne(s, Chosen().prefixExt);
}
void BM_Query_Extension(benchmark::State& s) {
  RunOne(s, Chosen().ext);
}
void BM_Query_Contains3(benchmark::State& s) {
  RunOne(s, Chosen().contains3);
}
void BM_Query_Contains2(benchmark::State& s) {
  RunOne(s, Chosen().contains2);
}
void BM_Query_Contains1(benchmark::State& s) {
  RunOne(s, Chosen().contains1);
}
BENCHMARK(BM_Query_Prefix)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Query_PrefixExtension)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Query_Extension)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Query_Contains3)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Query_Contains2)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(BM_Query_Contains1)->Unit(benchmark::kMicrosecond)->Repetitions(5);

// A keystroke that matches most entries: parse, query, filter, sort.
void Keystroke(benchmark::State& state, uint32_t column) {
  const FileIndex& index = Index();
  const std::u16string& text = Chosen().wide1;
  TypeFilterState filter;
  ResultSet results;
  for (auto _ : state) {
    results.Clear();
    results.Replace(RunQuery(index.nameIndex, ParseQuery(text)));
    FilterResults(results, index.entries, filter);
    SortResults(results, SortSpec{column, false, true}, index.nameIndex);
  }
  state.counters["results"] = static_cast<double>(results.Count());
  state.SetLabel(ToUtf8(text));
}
void BM_Keystroke_ByName(benchmark::State& s) {
  Keystroke(s, 0);
}
void BM_Keystroke_ByPath(benchmark::State& s) {
  Keystroke(s, 1);
}
BENCHMARK(BM_Keystroke_ByName)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_Keystroke_ByPath)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The lists the peers search: lower-case names (grep) and lower-case paths
// under /D (plocate), plus the queries as "name<TAB>pattern<TAB>our count".
void Dump(const std::string& dir) {
  const FileIndex& index = Index();
  std::ofstream names(dir + "/names.txt"), paths(dir + "/paths.txt"), queries(dir + "/queries.txt");
  const EntryReadView hold(index.entries);
  for (const EntryRef e : hold.entries()) {
    names << ToUtf8(e.lowerName().str()) << '\n';
    std::u16string p = FoldAscii(e.path().substr(2));
    std::replace(p.begin(), p.end(), u'\\', u'/');
    paths << "/d" << ToUtf8(p) << '\n';
  }
  const Queries& q = Chosen();
  auto line = [&](const char* kind, const std::u16string& text) {
    queries << kind << '\t' << ToUtf8(text) << '\t' << Count(text) << '\n';
  };
  line("Prefix", q.prefix);
  line("PrefixExtension", q.prefixExt);
  line("Extension", q.ext);
  line("Contains3", q.contains3);
  line("Contains2", q.contains2);
  line("Contains1", q.contains1);
  line("Wide1", q.wide1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dump;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--dump=", 0) == 0) {
      dump = a.substr(7);
    } else {
      args.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (!dump.empty()) {
    Dump(dump);
    return 0;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Path building over a realistic 1,000,000-entry volume held in memory: the
// part of indexing that follows the MFT scan.
#include <benchmark/benchmark.h>

#include <time.h>

#include <vector>

#include "base/utf.h"
#include "index/build_paths.h"
#include "index/scanned_drive.h"
#include "name_model.h"
#include "view/shown_text.h"

namespace {

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Entries as the scan delivers them: record numbers from 16 up in node
// order, with one in twenty swapped with a neighbour further on, so that
// some children come before their folders as on a volume whose records
// were reused.
std::vector<zw::FileEntry> ScannedEntries(uint32_t count) {
  const std::vector<zw::gen::Node> nodes = zw::gen::MakeTree(1, count);
  std::vector<uint64_t> recordOf(nodes.size(), 0);
  std::vector<zw::FileEntry> entries;
  entries.reserve(nodes.size());
  uint64_t record = 16;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!zw::gen::IsListed(nodes[i])) continue;
    recordOf[i] = record++;
  }
  for (size_t i = 0; i < nodes.size(); ++i) {
    const zw::gen::Node& n = nodes[i];
    if (!zw::gen::IsListed(n)) continue;
    zw::FileEntry e;
    e.recordNumber = recordOf[i];
    e.parentRecordNumber = n.parent == zw::gen::kRoot ? 5 : recordOf[n.parent];
    e.name = n.name;
    e.isFolder = n.isFolder;
    e.size = n.isFolder ? 0 : (n.size == 0 ? 1 : n.size);  // no file-system lookups
    entries.push_back(std::move(e));
  }
  for (size_t i = 0; i + 7 < entries.size(); i += 20) std::swap(entries[i], entries[i + 7]);
  return entries;
}

void BM_BuildPaths(benchmark::State& state) {
  const std::vector<zw::FileEntry> scanned = ScannedEntries(uint32_t(state.range(0)));
  // Timed by hand, in CPU time of this thread: the copy that each round
  // starts from is not part of it, and the machine is shared.
  for (auto _ : state) {
    std::vector<zw::FileEntry> entries = scanned;
    const double start = ThreadCpuSeconds();
    zw::BuildPaths(u'D', entries);
    zw::DropMetadataEntries(entries, u'D');
    const double stop = ThreadCpuSeconds();
    benchmark::DoNotOptimize(entries.data());
    state.SetIterationTime(stop - start);
  }
  state.counters["entries"] = double(scanned.size());
}
BENCHMARK(BM_BuildPaths)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The lines of `list`: every path as UTF-8, as it is (0) or as shown (1).
void BM_PathLines(benchmark::State& state) {
  std::vector<zw::FileEntry> entries = ScannedEntries(1000000);
  zw::BuildPaths(u'D', entries);
  const bool shown = state.range(0) != 0;
  std::string out;
  std::u16string path;
  std::u16string scratch;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    out.clear();
    for (const zw::FileEntry& e : entries) {
      path = e.path;  // as the listing builds each path into one buffer
      zw::AppendUtf8(out, shown ? zw::view::Shown(path, scratch) : path);
      out += '\n';
    }
    const double stop = ThreadCpuSeconds();
    benchmark::DoNotOptimize(out.data());
    state.SetIterationTime(stop - start);
  }
  state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_PathLines)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();

// What a user of the window waits for on a real volume image, through the
// same calls the window makes: a whole indexing run, the first sorted search
// after it, selective searches of every kind, and a folder rename arriving
// through the change journal. Only the run, the searcher, the result set and
// the live update are used, never an entry's fields, so the figures stay
// comparable whatever the entries look like inside.
//
//   ZW_BENCH_IMAGE=IMG zw_image_bench --benchmark_repetitions=5
//     --benchmark_report_aggregates_only=true   (one command line)
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "base/utf.h"
#include "cli/heap_tunables.h"
#include "engine/file_index.h"
#include "engine/run_indexing.h"
#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "platform/usn_journal.h"
#include "platform/usn_journal_scripted.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "settings/settings.h"
#include "view/list_changes.h"

namespace zw {
namespace {

using Clock = std::chrono::steady_clock;
constexpr char16_t kDrive = u'D';

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}
double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Resident bytes of this process now, after handing freed memory back, so
// that what a run keeps is told apart from what it used on the way; 0 where
// the system cannot tell.
uint64_t ResidentBytes() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long long size = 0, resident = 0;
  const bool ok = std::fscanf(f, "%llu %llu", &size, &resident) == 2;
  std::fclose(f);
  return ok ? resident * uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

// Binds D: to the image once; settings come from an empty store of our own,
// so the defaults apply and the user's own settings are never touched.
bool ImageBound() {
  static const bool bound = [] {
    const char* image = std::getenv("ZW_BENCH_IMAGE");
    if (image == nullptr || !std::filesystem::is_regular_file(image)) return false;
    const auto settings = std::filesystem::temp_directory_path() / "zw-image-bench-settings";
    std::filesystem::remove_all(settings);
    std::filesystem::create_directories(settings);
    platform::SetRegistryDirectory(settings.string());
    platform::BindDrive({kDrive, image, 0, {}});
    return true;
  }();
  return bound;
}

// The journal every run notes its position in, so that live update can
// start from there as the window's does.
std::shared_ptr<platform::ScriptedJournal>& Journal() {
  static auto journal = std::make_shared<platform::ScriptedJournal>();
  return journal;
}
platform::UsnJournalFactory JournalFactory() {
  return [](char16_t) { return platform::ScriptedJournal::Open(Journal()); };
}

// An indexing run as the window starts one: name index as the settings say
// (n-grams by default), journal position noted.
std::unique_ptr<FileIndex> IndexImage() {
  auto index = std::make_unique<FileIndex>();
  IndexRunOptions options;
  options.journalFactory = JournalFactory();
  static_cast<void>(StartIndexRun(*index, {kDrive}, {}, std::move(options)));  // one drive: starts
  JoinIndexThread(*index);
  return index;
}

// One keystroke as the window handles it: search on the worker, then the
// type filter and the sort by name with folders first. Returns the results.
size_t Keystroke(FileIndex& index, Searcher& searcher, ResultSet& results,
                 const SearchQuery& query) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  results.Clear();
  searcher.SetNameIndex(&index.nameIndex);
  searcher.StartSearch(query, &results, nullptr, [&](uint64_t) {
    std::lock_guard hold(m);
    done = true;
    cv.notify_all();
  });
  {
    std::unique_lock hold(m);
    cv.wait(hold, [&] { return done; });
  }
  FilterResults(results, index.entries, TypeFilterState{});
  SortResults(results, SortSpec{0, false, true}, index.nameIndex);
  return results.Count();
}

size_t Keystroke(FileIndex& index, Searcher& searcher, ResultSet& results,
                 const std::u16string& text) {
  const bool initials = ReadFlag(kInitialConsonantSearch, kDefaultInitialConsonantSearch);
  return Keystroke(index, searcher, results, ParseQuery(text, initials));
}

Searcher WindowSearcher() {
  return Searcher(ReadFlag(kParallelSearch, kDefaultParallelSearch),
                  ReadFlag(kProgressiveSearch, kDefaultProgressiveSearch));
}

// A run kept for the searches and the rename, made on first use.
FileIndex& SharedRun() {
  static std::unique_ptr<FileIndex> index = IndexImage();
  return *index;
}

// Of `candidates`, the text whose result count is nearest `target` (and
// within [low, high)); empty when none is.
std::u16string Choose(const std::vector<std::u16string>& candidates, size_t low, size_t high,
                      size_t target, size_t* count) {
  FileIndex& index = SharedRun();
  Searcher searcher = WindowSearcher();
  ResultSet results;
  std::u16string best;
  size_t bestCount = 0;
  for (const std::u16string& text : candidates) {
    const size_t c = Keystroke(index, searcher, results, text);
    if (c < low || c >= high) continue;
    const auto gap = [target](size_t n) { return n > target ? n - target : target - n; };
    if (best.empty() || gap(c) < gap(bestCount)) {
      best = text;
      bestCount = c;
    }
  }
  *count = bestCount;
  return best;
}

// Also what the run keeps resident (entries and name index together) per
// entry, against the process before its first run.
void BM_WholeRun(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  static const uint64_t before = ResidentBytes();
  std::unique_ptr<FileIndex> index;
  for (auto _ : state) {
    state.PauseTiming();
    index.reset();  // freeing the last run is not part of this one
    state.ResumeTiming();
    index = IndexImage();
  }
  const double entries = double(view::EntryCount(*index));
  state.counters["entries"] = entries;
  state.counters["resident_bytes_per_entry"] = double(ResidentBytes() - before) / entries;
}
BENCHMARK(BM_WholeRun)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The run's two n-gram tables (1: unigrams, 3: trigrams), each built alone
// from the run's entries: the largest pieces of the whole run.
void BM_NgramTable(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  const EntryReadView hold(SharedRun().entries);
  for (auto _ : state) {
    PostingTable table;
    if (!BuildNgramTable(table, hold.entries(), int(state.range(0))))
      state.SkipWithError("table beyond 32-bit offsets");
    benchmark::DoNotOptimize(table.data.data());
  }
}
BENCHMARK(BM_NgramTable)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3);

// The one-character text that finds about 60% of the entries (600,000 of a
// million).
const std::u16string& WideText(size_t* count) {
  static size_t found = 0;
  static const std::u16string text = [] {
    const size_t entries = size_t(view::EntryCount(SharedRun()));
    return Choose({u"e", u"a", u"o", u"i", u"s", u"t", u"r", u"n", u"d", u"p", u"g", u"x", u"0",
                   u"1", u"2", u".", u"_"},
                  entries * 3 / 10, entries + 1, entries * 6 / 10, &found);
  }();
  *count = found;
  return text;
}

// Arguments: the text (0: the one nearest 60% of the entries, 1: ".", which
// nearly every name holds), and the search (0: the first on a fresh run,
// 1: the same again).
void BM_FirstSortedSearch(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  size_t expected = 0;
  const std::u16string text = state.range(0) == 0 ? WideText(&expected) : u".";
  if (text.empty()) return state.SkipWithError("no one-character text finds 30% of the entries");
  std::unique_ptr<FileIndex> index = IndexImage();
  Searcher searcher = WindowSearcher();
  ResultSet results;
  if (state.range(1) != 0) Keystroke(*index, searcher, results, text);
  size_t found = 0;
  for (auto _ : state) found = Keystroke(*index, searcher, results, text);
  state.SetLabel(ToUtf8(text));
  state.counters["results"] = double(found);
  searcher.StopAll();
}
BENCHMARK(BM_FirstSortedSearch)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Per kind, candidates from the generator's vocabulary; the one with the
// most results under 10,000 is measured. The later ones of a kind find that
// few only at ten million entries.
struct Kind {
  const char* name;
  std::vector<std::u16string> candidates;
};
const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"prefix",
       {u"report*", u"meeting*", u"budget*", u"invoice*", u"보고서*", u"notes*",
        // fewer at ten million
        u"project 20*", u"travel (9*", u"letter (1*", u"계약서 1*"}},
      {"contains",
       {u"eeting", u"nvoic", u"udge", u"보고서", u"ontrac", u"ummar", u"계약서 2", u"project 3",
        u"travel (9", u"letter (1"}},
      {"contains-2", {u"보고", u"회의", u"견적", u"v2", u"q3", u"ai", u"링크", u"ps", u"_f"}},
      {"contains-1", {u"ß", u"ñ", u"ü", u"é", u"ï", u"写", u"😀", u"ö"}},
      {"suffix", {u"*port.pdf", u"*ft.docx", u"*9.txt", u"*2.log", u"*s.jpg", u"*) .txt"}},
      {"extension",
       {u"*.gz", u"*.lnk", u"*.hpp", u"*.rs", u"*.java", u"*.go", u"*.hwp", u"*.heic", u"*.bin",
        u"*.new"}},
      {"prefix-extension",
       {u"report*.pdf", u"report*.docx", u"draft*.docx", u"notes*.txt", u"data*.csv",
        u"backup*.zip", u"사진*.jpg", u"img*.jpg", u"dsc*.jpg"}},
      // Leading consonants of the generator's Hangul words.
      {"initials-2",
       {u"ㅂㄱ", u"ㅎㅇ", u"ㄱㅈ", u"ㅅㅈ", u"ㅇㅅ", u"ㄴㅁ", u"ㅈㄹ", u"ㄹㅋ", u"ㄴㅎ", u"ㅍㄷ",
        u"ㅅㅋ"}},
      {"initials-3",
       {u"ㅂㄱㅅ", u"ㅎㅇㄹ", u"ㄱㅈㅅ", u"ㅇㅅㅈ", u"ㅇㄹㅅ", u"ㅈㅈㄷ", u"ㄴㅈㅅ", u"ㅈㅊㅁ",
        u"ㄱㅈㅊ"}},
  };
  return kinds;
}

void BM_SelectiveSearch(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  const Kind& kind = Kinds()[size_t(state.range(0))];
  size_t expected = 0;
  const std::u16string text = Choose(kind.candidates, 100, 10'000, 10'000, &expected);
  if (text.empty()) return state.SkipWithError("no candidate finds 100 to 9,999 entries");
  FileIndex& index = SharedRun();
  Searcher searcher = WindowSearcher();
  ResultSet results;
  size_t found = 0;
  for (auto _ : state) found = Keystroke(index, searcher, results, text);
  state.SetLabel(std::string(kind.name) + " " + ToUtf8(text));
  state.counters["results"] = double(found);
  searcher.StopAll();
}
BENCHMARK(BM_SelectiveSearch)
    ->DenseRange(0, 8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Hangul over the shared run, through the searcher with the sort (even
// arguments) or the name index's answer alone (odd). Arguments 0-1: the one
// letter of the 19 that finds the most; 2-3: ㅂㄱ; 4-5: ㅂㄱㅅ; 6-7: 보고서
// read composed (stored jamo found too); 8-9: the same text read as stored,
// as before names were composed. Counters: what the Hangul tables hold per
// entry, and the share of names with Hangul.
void BM_HangulSearch(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  FileIndex& index = SharedRun();
  Searcher searcher = WindowSearcher();
  ResultSet results;
  static const std::u16string letter = [&] {
    size_t count = 0;
    std::vector<std::u16string> letters;
    for (char16_t c : std::u16string_view(u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ"))
      letters.emplace_back(1, c);
    return Choose(letters, 0, SIZE_MAX, SIZE_MAX, &count);
  }();
  const auto which = state.range(0) / 2;
  const bool alone = state.range(0) % 2 != 0;
  const std::u16string text = which == 0   ? letter
                              : which == 1 ? u"ㅂㄱ"
                              : which == 2 ? u"ㅂㄱㅅ"
                                           : u"보고서";
  SearchQuery query = ParseQuery(text, true);
  if (which == 4) query.composed = false;
  size_t found = 0;
  for (auto _ : state) {
    found = alone ? RunQuery(index.nameIndex, query).size()
                  : Keystroke(index, searcher, results, query);
  }
  state.SetLabel(ToUtf8(text) + (which == 4 ? " as stored" : "") +
                 (alone ? " index alone" : " searched and sorted"));
  state.counters["results"] = double(found);
  {
    const EntryReadView hold(index.entries);
    const NameTables& t = index.nameIndex.Tables(hold);
    const double entries = double(hold.entries().size());
    state.counters["hangul_bytes_per_entry"] =
        double(t.jamoBits.capacity() * sizeof(uint64_t) + t.initialsLists.Bytes() +
               (t.jamoEntries.capacity() + t.jamoEnds.capacity()) * sizeof(uint32_t) +
               t.jamoNames.capacity() * sizeof(char16_t) + t.jamoTrigrams.Bytes()) /
        entries;
    size_t hangul = 0;
    for (EntryRef e : hold.entries()) {
      const NameText name = e.name();
      for (size_t i = 0; !name.narrow() && i < name.size(); ++i) {
        if ((name[i] >= 0xAC00 && name[i] <= 0xD7A3) || (name[i] >= 0x1100 && name[i] <= 0x11FF)) {
          ++hangul;
          break;
        }
      }
    }
    state.counters["hangul_share"] = double(hangul) / entries;
  }
  searcher.StopAll();
}
BENCHMARK(BM_HangulSearch)
    ->DenseRange(0, 9)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Record numbers far above any the image uses, for the files the journal
// creates.
constexpr uint64_t kFirstNewRecord = 40'000'000;
constexpr int kSubfolders = 100;
constexpr int kFilesPerSubfolder = 99;  // 10,000 descendants with the subfolders

uint64_t Ref(uint64_t record) {
  return (uint64_t(1) << 48) | record;
}

// Live update on the shared run, fed by the scripted journal; the handler
// times each change it applies (the journal's poll pause is not counted).
struct LiveRun {
  UsnMonitor monitor{JournalFactory()};
  std::mutex mutex;
  std::condition_variable cv;
  uint64_t applied = 0;
  double lastWall = 0, lastCpu = 0;

  LiveRun() {
    FileIndex& index = SharedRun();
    StartLiveUpdate(index, monitor);
    monitor.SetChangeHandler([this, &index](const UsnChange& change) {
      const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      const auto start = Clock::now();
      ApplyChange(index, monitor, change);
      const double wall = Seconds(Clock::now() - start);
      std::lock_guard hold(mutex);
      lastWall = wall;
      lastCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
      ++applied;
      cv.notify_all();
    });
  }
  ~LiveRun() { StopLiveUpdate(monitor); }
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;

  void Write(uint64_t record, uint64_t parent, uint32_t reason, bool folder,
             const std::u16string& name) {
    Journal()->Append(
        platform::MakeUsnRecordV2(Ref(record), Ref(parent), reason | platform::kUsnReasonClose,
                                  folder ? platform::kFileAttributeDirectory : 0x20, name));
  }
  void WaitApplied(uint64_t count) {
    std::unique_lock hold(mutex);
    cv.wait(hold, [&] { return applied >= count; });
  }
};

void BM_FolderRename10k(benchmark::State& state) {
  if (!ImageBound()) return state.SkipWithError("set ZW_BENCH_IMAGE to an NTFS image");
  static LiveRun* live = [] {
    auto* l = new LiveRun;
    // A folder under the root with 100 subfolders of 99 files each.
    uint64_t record = kFirstNewRecord;
    const uint64_t top = record++;
    l->Write(top, 5, platform::kUsnReasonFileCreate, true, u"rename_bench");
    for (int s = 0; s < kSubfolders; ++s) {
      const uint64_t sub = record++;
      l->Write(sub, top, platform::kUsnReasonFileCreate, true,
               u"sub_" + FromUtf8(std::to_string(s)));
      for (int f = 0; f < kFilesPerSubfolder; ++f)
        l->Write(record++, sub, platform::kUsnReasonFileCreate, false,
                 u"file_" + FromUtf8(std::to_string(s * 100 + f)) + u".txt");
    }
    l->WaitApplied(record - kFirstNewRecord);
    return l;
  }();
  static uint64_t renames = 0;
  double cpu = 0;
  for (auto _ : state) {
    uint64_t target = 0;
    {
      std::lock_guard hold(live->mutex);
      target = live->applied + 1;
    }
    live->Write(kFirstNewRecord, 5, platform::kUsnReasonRenameNewName, true,
                u"renamed_" + FromUtf8(std::to_string(++renames)));
    live->WaitApplied(target);
    std::lock_guard hold(live->mutex);
    state.SetIterationTime(live->lastWall);
    cpu += live->lastCpu;
  }
  state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3, benchmark::Counter::kAvgIterations);
  // The rename must have reached the name index.
  Searcher searcher = WindowSearcher();
  ResultSet results;
  const std::u16string last = u"renamed_" + FromUtf8(std::to_string(renames));
  if (Keystroke(SharedRun(), searcher, results, last) != 1)
    state.SkipWithError("the renamed folder is not found by its new name");
  searcher.StopAll();
}
BENCHMARK(BM_FolderRename10k)->Unit(benchmark::kMillisecond)->Iterations(20)->UseManualTime();

}  // namespace
}  // namespace zw

// Run with the heap the command line sets itself up with: what a run keeps
// resident, and its page faults, depend on it.
int main(int argc, char** argv) {
  zw::cli::RestartWithHugePageHeap(argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The window's work without the window: the same shared calls the window
// makes for a keystroke (parse, search on a worker, filter, sort) and for a
// burst of journal changes (following the list, reading the visible cells),
// over a million entries. The native counterpart of the window timings
// (bench/window_timing_win32.cpp); prints medians in milliseconds.
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "base/utf.h"
#include "engine/file_index.h"
#include "live/live_update.h"
#include "live/usn_monitor.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "view/cell_text.h"
#include "view/list_changes.h"
#include "window_timing_data.h"

using namespace zw;
using timing::Clock;
using timing::MsSince;

namespace {

struct Keystroke {
  double ms = 0;
  double window = 0;  // the window's part: filter and sort
  uint64_t results = 0;
};

// From the text to the sorted list the window would show.
Keystroke Type(FileIndex& index, Searcher& searcher, ResultSet& results,
               const std::u16string& text) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  const auto start = Clock::now();
  const SearchQuery query = ParseQuery(text);
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
  const auto shown = Clock::now();
  FilterResults(results, index.entries, TypeFilterState{});
  SortResults(results, SortSpec{}, index.nameIndex);
  return {MsSince(start), MsSince(shown), results.Count()};
}

void Keystrokes(FileIndex& index, const char* label, const std::u16string& text) {
  Searcher searcher(false, true);
  ResultSet results;
  std::vector<double> times, windows;
  uint64_t count = 0;
  for (int rep = 0; rep < 9; ++rep) {
    const Keystroke k = Type(index, searcher, results, text);
    times.push_back(k.ms);
    windows.push_back(k.window);
    count = k.results;
  }
  std::printf(
      "keystroke %-10s \"%s\": median %.1f ms, of which %.1f ms filter and sort (%llu results)\n",
      label, ToUtf8(text).c_str(), timing::Median(times), timing::Median(windows),
      (unsigned long long)count);
}

// The longest the window's thread would wait while the journal applies a
// burst: each index change followed in the full list (new rows, and a slice
// of the rows looked over for deleted entries), and 40 visible cells read
// every 16 ms.
void Burst(FileIndex& index) {
  auto journal = std::make_shared<platform::ScriptedJournal>();
  UsnMonitor monitor([journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
  std::atomic<bool> changed{false};
  index.changedCallback = [&] { changed = true; };
  ResultSet results;
  view::BuildFullList(index, results, results.Clear());
  uint64_t known = results.Count();
  view::RowSweep sweep;
  StartLiveUpdate(index, monitor);
  const auto opened = Clock::now();
  while (journal->ReadCount() == 0 && MsSince(opened) < 30000)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  timing::AppendBurst(*journal, known);
  double worstFollow = 0, worstCells = 0;
  char16_t text[view::kCellTextCapacity];
  const auto start = Clock::now();
  while (monitor.Stats().changes.load() < uint64_t(timing::kBurst) && MsSince(start) < 600000) {
    if (changed.exchange(false)) {
      const auto t = Clock::now();
      known = view::AppendNewEntries(results, index, TypeFilterState{}).entryCount;
      sweep.Restart(results.Count());
      worstFollow = std::max(worstFollow, MsSince(t));
    }
    if (sweep.Pending()) {  // the window's sweep timer
      const auto t = Clock::now();
      sweep.Step(results, index, TypeFilterState{});
      worstFollow = std::max(worstFollow, MsSince(t));
    }
    const auto t = Clock::now();
    for (size_t row = 0; row < 40; ++row)
      for (uint32_t column = 0; column < 4; ++column)
        view::CellText(index, results.At(row), column, text, view::kCellTextCapacity);
    worstCells = std::max(worstCells, MsSince(t));
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  const double total = MsSince(start);
  StopLiveUpdate(monitor);
  index.changedCallback = nullptr;
  std::printf(
      "burst of %d changes in %.0f ms: longest list follow %.1f ms, longest 40 rows %.1f ms\n",
      timing::kBurst, total, worstFollow, worstCells);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  auto holder = std::make_unique<FileIndex>();
  FileIndex& index = *holder;
  {
    const EntryWriteView hold(index.entries);
    std::vector<FileEntry> values = timing::MillionEntries();
    hold.store().AppendValues(values);
    index.drives = index.Run(hold).drives = {u'D'};
  }
  RebuildNameIndex(index, true);
  // A copy: the count searches, which takes the lock itself.
  const EntryStore entries = EntryReadView(index.entries).entries();
  const timing::Texts texts = timing::ChooseTexts(entries, [&](const std::u16string& t) {
    return RunQuery(index.nameIndex, ParseQuery(t)).size();
  });
  std::printf("%zu entries\n", entries.size());
  {
    std::vector<double> clears;
    ResultSet results;
    for (int rep = 0; rep < 5; ++rep) {
      const auto t = Clock::now();
      results.Clear();
      results.Append(AllPassing(index.entries, TypeFilterState{}));
      SortResults(results, SortSpec{}, index.nameIndex);
      clears.push_back(MsSince(t));
    }
    std::printf("search box emptied: median %.1f ms to list every entry (%zu)\n",
                timing::Median(clears), results.Count());
  }
  Keystrokes(index, "wide", texts.wide);
  Keystrokes(index, "selective", texts.selective);
  Burst(index);
  return 0;
}

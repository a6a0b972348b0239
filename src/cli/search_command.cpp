// search TEXT...: the window's search pipeline on the command line. Each text
// is parsed, searched by the Searcher on its worker, filtered by type and
// sorted exactly as the window does when the search is done, then printed.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "index/file_index.h"
#include "platform/utf.h"
#include "search/name_index.h"
#include "search/query.h"
#include "search/result_set.h"
#include "search/searcher.h"
#include "search/type_filter.h"
#include "settings/settings.h"
#include "volumes/drive_info.h"

namespace zw::cli {

namespace {

constexpr const char* kUsage =
    "zanderwyn [options] search TEXT... [--type 0..8] [--sort name|path|size|date] [--desc] "
    "[--no-folders-first] [--long] [--count] [--fast-search 0|1] [--parallel 0|1] "
    "[--progressive 0|1]";

struct SearchOptions {
  std::vector<std::string> texts;
  TypeFilterState filter;
  SortSpec sort{kDefaultSortColumn, kDefaultSortDescending != 0, kDefaultFoldersFirst != 0};
  bool longFormat = false;
  bool countOnly = false;
  bool fastSearch = kDefaultFastSearch != 0;
  bool parallel = kDefaultParallelSearch != 0;
  bool progressive = kDefaultProgressiveSearch != 0;
};

bool Fail(const std::string& message) {
  PrintError("search: " + message + " (usage: " + kUsage + ")");
  return false;
}

bool ParseFlag(const std::string& name, const std::string& value, bool& out) {
  if (value == "0" || value == "1") {
    out = value == "1";
    return true;
  }
  return Fail(name + " takes 0 or 1, not '" + value + "'");
}

bool ParseArgs(const CommandArgs& args, SearchOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return Fail(a + " needs a value");
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--long" || a == "-l") {
      o.longFormat = true;
    } else if (a == "--count") {
      o.countOnly = true;
    } else if (a == "--desc") {
      o.sort.sortDescending = true;
    } else if (a == "--no-folders-first") {
      o.sort.foldersFirst = false;
    } else if (a == "--type") {
      if (!value(v)) return false;
      if (v.size() != 1 || v[0] < '0' || v[0] > '8') {
        return Fail("--type takes a number from 0 to 8, not '" + v + "'");
      }
      o.filter.category = static_cast<TypeCategory>(v[0] - '0');
    } else if (a == "--sort") {
      if (!value(v)) return false;
      const char* columns[] = {"name", "path", "size", "date"};
      bool known = false;
      for (uint32_t c = 0; c < 4; ++c) {
        if (v == columns[c]) {
          o.sort.sortColumn = c;
          known = true;
        }
      }
      if (!known) return Fail("--sort takes name, path, size or date, not '" + v + "'");
    } else if (a == "--fast-search" || a == "--parallel" || a == "--progressive") {
      if (!value(v)) return false;
      bool& target = a == "--fast-search" ? o.fastSearch
                     : a == "--parallel"  ? o.parallel
                                          : o.progressive;
      if (!ParseFlag(a, v, target)) return false;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return Fail("unknown option '" + a + "'");
    } else {
      o.texts.push_back(a);  // "-x" and "" are search texts too
    }
  }
  if (o.texts.empty()) return Fail("no search text given");
  return true;
}

// The four columns of the result list, or the full path alone.
void WriteRow(Output& out, const FileEntry& e, bool longFormat) {
  if (longFormat) {
    WriteEntryColumns(out, e, /*exactSize=*/false);
  } else {
    out.Write(e.path);
    out.Write('\n');
  }
}

// Waits for the done callback of one search.
struct Completion {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;

  SearchCallback OnDone() {
    return [this](uint64_t) {
      std::lock_guard hold(mutex);
      done = true;
      cv.notify_all();
    };
  }
  void Wait() {
    std::unique_lock hold(mutex);
    cv.wait(hold, [&] { return done; });
  }
};

uint64_t MicrosecondsSince(std::chrono::steady_clock::time_point t) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t)
          .count());
}

}  // namespace

int RunSearch(CliContext& context, const CommandArgs& args) {
  SearchOptions o;
  if (!ParseArgs(args, o)) return kExitBadInput;

  FileIndex index;
  const IndexingFigures figures = IndexDrives(context, index, /*nameIndex=*/false);
  if (context.stats) PrintIndexingStats(context, figures, index);

  // The name index the window would have after its indexing run, built once
  // with this command's own choice of n-grams.
  const auto rebuildStart = std::chrono::steady_clock::now();
  size_t indexBytes = 0;
  RebuildNameIndex(index, o.fastSearch);
  {
    std::shared_lock hold(index.nameIndex.lock);
    indexBytes = NameIndexBytes(index.nameIndex);
  }
  if (context.stats) {
    PrintStat("name-index", MicrosecondsSince(rebuildStart) / 1000, "ms");
    PrintStat("name-index-bytes", index.entries.empty() ? 0 : indexBytes / index.entries.size());
  }

  Searcher searcher(o.parallel, o.progressive);
  ResultSet results;
  Output& out = context.out;
  for (const std::string& text : o.texts) {
    if (out.Broken()) break;
    const auto start = std::chrono::steady_clock::now();
    const std::u16string text16 = FromUtf8(text);
    uint64_t queryMicros = 0;
    if (text16.empty()) {
      // No search: every entry that passes the filter, as the window lists it.
      results.Clear();
      std::vector<uint32_t> all = AllPassing(index, o.filter);
      results.Append(all);
      queryMicros = MicrosecondsSince(start);
    } else {
      Completion completion;
      searcher.SetNameIndex(&index.nameIndex);
      searcher.StartSearch(ParseQuery(text16), &results, nullptr, completion.OnDone());
      completion.Wait();
      queryMicros = MicrosecondsSince(start);
      FilterResults(results, index, o.filter);
    }
    SortResults(results, o.sort, index);
    const uint64_t sortMicros = MicrosecondsSince(start) - queryMicros;

    if (o.texts.size() > 1) {
      out.Write(std::string_view("# "));
      out.Write(std::string_view(text));
      out.Write('\n');
    }
    const std::vector<uint32_t> rows = results.Snapshot();
    if (o.countOnly) {
      out.WriteNumber(rows.size());
      out.Write('\n');
    } else {
      std::shared_lock hold(index.nameIndex.lock);
      for (uint32_t n : rows) {
        if (out.Broken()) break;
        if (const FileEntry* e = LookupEntry(index, n)) WriteRow(out, *e, o.longFormat);
      }
    }
    out.Flush();
    if (context.stats) {
      PrintStat("query", queryMicros, "us");
      PrintStat("sort", sortMicros, "us");
    }
  }
  searcher.StopAll();
  return kExitOk;
}

}  // namespace zw::cli
